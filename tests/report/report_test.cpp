#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

const std::string columns = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n";

// The end-to-end runs check the standard dataset's file; here the Velmar limit, the stamp taken
// at the start, and a file of the same name that must survive the start.
TEST(ReportFile, StartSetsTheLimitAndKeepsAFileOfTheSameName) {
  ScratchDirectory scratch;
  datasettype = 1;
  objType = 2;
  osVal = 0.005;
  nVal = 40;
  precTheorem = 2;
  // The name holds the second, so the older file is planted under the current second's name
  // until the start hits it.
  bool sameSecond = false;
  for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
    const std::string stamp = timeStamp();
    writeTextFile(reportFileName(stamp), "older\n");
    EXPECT_EQ(console(startReport).text, "obj=2-data=1-os=0.005-n=40\n" + columns);
    sameSecond = reportFileName(stamp, 2) == reportPath;
    if (sameSecond) {
      EXPECT_EQ(readTextFile(reportFileName(stamp)), "older\n");
    }
  }
  ASSERT_TRUE(sameSecond);
  EXPECT_TRUE(fitsPattern(reportPath, "Reports/####.##.##-##.##.##-o=2-d=1-os=0.005-n=40-2.txt"));
  EXPECT_EQ(maxCPU, 3601.0);
  EXPECT_EQ(readTextFile(reportPath), "maxCPU=3601 - maxState=" + std::to_string(testCapacity) +
                                          " - prec:Emmons\n" + columns);
}

} // namespace
} // namespace precdp
