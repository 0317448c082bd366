#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

const std::string columns = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n";

void setClass(int dataset, double os, int n, int theorem) {
  datasettype = static_cast<uint8_t>(dataset);
  objType = 2;
  osVal = os;
  nVal = static_cast<uint16_t>(n);
  precTheorem = theorem;
}

TEST(ReportFile, StartSetsTheLimitEchoesTheClassAndCreatesTheStampedFile) {
  ScratchDirectory scratch;
  setClass(2, 0.8, 20, 1);
  const std::string before = timeStamp();
  EXPECT_EQ(captureOutput(startReport), "obj=2-data=2-os=0.8-n=20\n" + columns);
  const std::string after = timeStamp(), path = reportPath;
  EXPECT_EQ(maxCPU, 5401.0);
  ASSERT_TRUE(fitsPattern(path, "Reports/####.##.##-##.##.##-o=2-d=2-os=0.8-n=20.txt")) << path;
  EXPECT_LE(before, path.substr(8, 19)); // the class's start, in sortable form
  EXPECT_LE(path.substr(8, 19), after);
  EXPECT_EQ(readTextFile(path), "maxCPU=5401 - maxState=195000000 - prec:Kanet\n" + columns);

  setClass(1, 0.005, 40, 0);
  captureOutput(startReport);
  EXPECT_EQ(maxCPU, 3601.0);
  EXPECT_TRUE(std::string(reportPath).ends_with("-o=2-d=1-os=0.005-n=40.txt"));
  EXPECT_EQ(readTextFile(reportPath), "maxCPU=3601 - maxState=195000000 - prec:None\n" + columns);
  setClass(1, 0, 100, 2);
  EXPECT_EQ(reportFileName("S"), "Reports/S-o=2-d=1-os=0-n=100.txt");
  for (int theorem : {2, 3, -1}) EXPECT_STREQ(theoremLabel(theorem), " - prec:Emmons");

  // A file of the same name is started afresh. The name holds the second, so the stale file
  // is planted under the current second's name until the start hits it.
  bool sameSecond = false;
  for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
    const std::string stamp = timeStamp();
    std::ofstream(reportFileName(stamp)) << "stale\n";
    captureOutput(startReport);
    sameSecond = reportFileName(stamp) == reportPath;
  }
  ASSERT_TRUE(sameSecond);
  EXPECT_EQ(readTextFile(reportPath), "maxCPU=3601 - maxState=195000000 - prec:Emmons\n" + columns);
}

TEST(ReportFile, AFileThatCannotBeWrittenIsNamedOncePerClass) {
  ScratchDirectory scratch;
  std::ofstream("Reports") << "a file where the directory should be\n";
  setClass(2, 0.8, 20, 1);
  std::ofstream stream;
  const auto appendRows = [&] {
    for (int row = 0; row < 3; ++row) {
      openReportForAppend(stream);
      stream << "row\n";
      closeReport(stream);
    }
  };
  for (double os : {0.8, 0.6}) {
    osVal = os;
    const std::string console = captureOutput([&] {
      startReport();
      appendRows();
    });
    EXPECT_EQ(
        countOf(console, "Wrning: report file " + std::string(reportPath) + " cannot be written"),
        1)
        << console;
    EXPECT_EQ(countOf(console, columns), 1);
  }

  // Once the directory can be made, the next class writes every row without a word.
  std::filesystem::remove("Reports");
  osVal = 0.4;
  EXPECT_EQ(captureOutput([&] {
              startReport();
              appendRows();
            }).find("Wrning"),
            std::string::npos);
  EXPECT_EQ(countOf(readTextFile(reportPath), "row\n"), 3);
}

} // namespace
} // namespace precdp
