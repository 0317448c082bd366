#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using testing::captureOutput;
using testing::countOf;
using testing::fitsPattern;
using testing::readTextFile;
using testing::ScratchDirectory;

void setClass(int dataset, double os, int n, int theorem) {
  datasettype = static_cast<uint8_t>(dataset);
  objType = 2;
  osVal = os;
  nVal = static_cast<uint16_t>(n);
  precTheorem = theorem;
}

TEST(ReportFile, StartCreatesTheStampedFileWithItsHeaderAndEchoesTheClass) {
  ScratchDirectory scratch;
  setClass(2, 0.8, 20, 1);
  maxCPU = 0;
  const std::string before = timeStamp();
  const std::string console = captureOutput(startReport);
  const std::string after = timeStamp();

  EXPECT_EQ(maxCPU, 5401.0);
  EXPECT_EQ(console, "obj=2-data=2-os=0.8-n=20\nIns\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n");
  const std::string path = reportPath;
  ASSERT_TRUE(fitsPattern(path, "Reports/####.##.##-##.##.##-o=2-d=2-os=0.8-n=20.txt")) << path;
  const std::string stamp = path.substr(8, 19);
  EXPECT_LE(before, stamp); // the stamp is the class's start, in sortable form
  EXPECT_LE(stamp, after);
  EXPECT_EQ(readTextFile(path), "maxCPU=5401 - maxState=195000000 - prec:Kanet\n"
                                "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n");
  EXPECT_EQ(std::filesystem::directory_iterator("Reports")->path().string(), path);
}

TEST(ReportFile, NameTimeLimitAndLabelFollowTheClassAndTheTheorem) {
  ScratchDirectory scratch;
  setClass(1, 0.005, 40, 0);
  EXPECT_EQ(reportFileName("S"), "Reports/S-o=2-d=1-os=0.005-n=40.txt");
  captureOutput(startReport);
  EXPECT_EQ(maxCPU, 3601.0);
  EXPECT_NE(std::string(reportPath).find("-o=2-d=1-os=0.005-n=40.txt"), std::string::npos);
  EXPECT_EQ(readTextFile(reportPath).rfind("maxCPU=3601 - maxState=195000000 - prec:None\n", 0),
            0u);

  setClass(1, 0, 100, 2);
  EXPECT_EQ(reportFileName("S"), "Reports/S-o=2-d=1-os=0-n=100.txt");
  setClass(2, 0.2, 120, 2);
  EXPECT_EQ(reportFileName("S"), "Reports/S-o=2-d=2-os=0.2-n=120.txt");

  EXPECT_STREQ(theoremLabel(0), " - prec:None");
  EXPECT_STREQ(theoremLabel(1), " - prec:Kanet");
  EXPECT_STREQ(theoremLabel(2), " - prec:Emmons");
  EXPECT_STREQ(theoremLabel(7), " - prec:Emmons");
  EXPECT_STREQ(theoremLabel(-1), " - prec:Emmons");
}

TEST(ReportFile, AppendsLandAfterTheHeaderAndAStartEmptiesAnExistingFile) {
  ScratchDirectory scratch;
  setClass(2, 0.4, 60, 1);
  captureOutput(startReport);
  const std::string path = reportPath;
  std::ofstream stream;
  for (const char* line : {"first\n", "second\n"}) {
    openReportForAppend(stream);
    stream << line;
    const std::string console = captureOutput([&] { closeReport(stream); });
    EXPECT_EQ(console, "");
    EXPECT_FALSE(stream.is_open()); // bound to the file only around each write
  }
  EXPECT_EQ(readTextFile(path), "maxCPU=5401 - maxState=195000000 - prec:Kanet\n"
                                "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\nfirst\nsecond\n");

  // A file of the same name is started afresh, not appended to. The name holds the second, so
  // the stale file is planted under the name of the current second until the start hits it.
  precTheorem = 0;
  bool sameSecond = false;
  for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
    const std::string stamp = timeStamp();
    std::ofstream(reportFileName(stamp)) << "stale\n";
    captureOutput(startReport);
    sameSecond = timeStamp() == stamp && reportFileName(stamp) == reportPath;
  }
  ASSERT_TRUE(sameSecond);
  EXPECT_EQ(readTextFile(reportPath), "maxCPU=5401 - maxState=195000000 - prec:None\n"
                                      "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n");
}

TEST(ReportFile, AFileThatCannotBeWrittenIsReportedOncePerClass) {
  ScratchDirectory scratch;
  std::ofstream("Reports") << "a file where the directory should be\n";
  setClass(2, 0.8, 20, 1);
  const std::string first = captureOutput(startReport);
  EXPECT_EQ(first.rfind("obj=2-data=2-os=0.8-n=20\n", 0), 0u);
  EXPECT_EQ(countOf(first, "Wrning: report file " + std::string(reportPath)), 1);
  EXPECT_EQ(countOf(first, "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts\n"), 1);

  std::ofstream stream;
  const std::string rows = captureOutput([&] {
    for (int row = 0; row < 3; ++row) {
      openReportForAppend(stream);
      stream << "row\n";
      closeReport(stream);
    }
  });
  EXPECT_EQ(rows, "");

  osVal = 0.6;
  const std::string second = captureOutput(startReport);
  EXPECT_EQ(countOf(second, "Wrning: report file "), 1);
  EXPECT_NE(second.find("-os=0.6-n=20.txt"), std::string::npos);

  // Once the directory can be made again, the next class writes without a warning.
  std::filesystem::remove("Reports");
  osVal = 0.4;
  EXPECT_EQ(countOf(captureOutput(startReport), "Wrning"), 0);
  openReportForAppend(stream);
  stream << "row\n";
  EXPECT_EQ(captureOutput([&] { closeReport(stream); }), "");
  EXPECT_EQ(countOf(readTextFile(reportPath), "row\n"), 1);
}

} // namespace
} // namespace precdp
