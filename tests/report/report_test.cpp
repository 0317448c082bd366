#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

const std::string columns = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n";

// The end-to-end runs check the standard dataset's file; here the Velmar limit, the stamp taken
// at the start, and a file of the same name started afresh.
TEST(ReportFile, StartSetsTheLimitAndStartsTheStampedFileAfresh) {
  ScratchDirectory scratch;
  datasettype = 1;
  objType = 2;
  osVal = 0.005;
  nVal = 40;
  precTheorem = 2;
  // The name holds the second, so the stale file is planted under the current second's name
  // until the start hits it.
  bool sameSecond = false;
  for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
    const std::string stamp = timeStamp();
    writeTextFile(reportFileName(stamp), "stale\n");
    EXPECT_EQ(console(startReport).text, "obj=2-data=1-os=0.005-n=40\n" + columns);
    sameSecond = reportFileName(stamp) == reportPath;
  }
  ASSERT_TRUE(sameSecond);
  EXPECT_TRUE(fitsPattern(reportPath, "Reports/####.##.##-##.##.##-o=2-d=1-os=0.005-n=40.txt"));
  EXPECT_EQ(maxCPU, 3601.0);
  EXPECT_EQ(readTextFile(reportPath),
            "maxCPU=3601 - maxState=" + std::to_string(testCapacity) + " - prec:Emmons\n" + columns);
}

TEST(ReportFile, AFileThatCannotBeWrittenIsNamedOncePerClass) {
  ScratchDirectory scratch;
  writeTextFile("Reports", "a file where the directory should be\n");
  datasettype = 2;
  nVal = 20;
  std::ofstream stream;
  const auto startClassOfThreeRows = [&](double os) {
    osVal = os;
    return console([&] {
             startReport();
             for (int row = 0; row < 3; ++row) {
               openReportForAppend(stream);
               stream << "row\n";
               closeReport(stream);
             }
           })
        .text;
  };
  for (double os : {0.8, 0.6}) {
    const std::string text = startClassOfThreeRows(os);
    EXPECT_EQ(
        countOf(text, "Wrning: report file " + std::string(reportPath) + " cannot be written"), 1)
        << text;
  }
  // Once the directory can be made, the next class writes every row without a word.
  std::filesystem::remove("Reports");
  EXPECT_EQ(countOf(startClassOfThreeRows(0.4), "Wrning"), 0);
  EXPECT_EQ(countOf(readTextFile(reportPath), "row\n"), 3);
}

} // namespace
} // namespace precdp
