#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
  EXPECT_EQ(readTextFile(reportPath),
            "maxCPU=3601 - maxState=" + std::to_string(testCapacity) + " - prec:Emmons\n" + columns);
}

// Two processes (two theorems of one class, say) that start the class in the same second each
// get a file of their own and keep all their rows.
TEST(ReportFile, TwoProcessesStartingTheSameClassInOneSecondKeepTheirRows) {
  ScratchDirectory scratch;
  datasettype = 2;
  objType = 2;
  osVal = 0.8;
  nVal = 20;
  precTheorem = 1;
  const std::string header = "maxCPU=5401 - maxState=" + std::to_string(layerCapacity) +
                             " - prec:Kanet\n" + columns;
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::filesystem::remove_all("Reports");
    const std::string before = timeStamp();
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
      children[child] = fork();
      ASSERT_GE(children[child], 0);
      if (children[child] > 0) continue;
      std::freopen("/dev/null", "w", stdout);
      while (timeStamp() == before) {
      } // both start at the turn of the second
      startReport();
      std::ofstream stream;
      for (int row = 0; row < 3; ++row) {
        openReportForAppend(stream);
        stream << "row of " << child << '\n';
        closeReport(stream);
      }
      std::_Exit(0);
    }
    for (pid_t pid : children) {
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("Reports"))
      names.push_back("Reports/" + entry.path().filename().string());
    ASSERT_EQ(names.size(), 2u);
    std::sort(names.begin(), names.end()); // "-2.txt" before ".txt"
    const std::string stamp = names[0].substr(std::string("Reports/").size(), before.size());
    if (names[0] != reportFileName(stamp, 2)) continue; // the two started in different seconds
    EXPECT_EQ(names[1], reportFileName(stamp));
    std::string bothFiles;
    for (const std::string& name : names) {
      const std::string text = readTextFile(name);
      EXPECT_EQ(text.substr(0, header.size()), header);
      EXPECT_EQ(countOf(text, "row of 0\n") + countOf(text, "row of 1\n"), 3) << text;
      bothFiles += text;
    }
    EXPECT_EQ(countOf(bothFiles, "row of 0\n"), 3);
    EXPECT_EQ(countOf(bothFiles, "row of 1\n"), 3);
    return;
  }
  FAIL() << "the two processes never started in the same second";
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
