#include "driver/driver.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "platform/platform.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace precdp {
namespace {

using namespace testing;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string fieldOf(const std::string& row, int field) {
  std::istringstream text(row);
  std::string value;
  for (int at = 0; at <= field; ++at) std::getline(text, value, '\t');
  return value;
}

// Report files by their name without the time stamp ("-o=2-d=2-os=0.8-n=20.txt").
std::map<std::string, std::string> reportFiles() {
  std::map<std::string, std::string> files;
  if (!std::filesystem::is_directory("Reports")) return files;
  for (const auto& entry : std::filesystem::directory_iterator("Reports")) {
    const std::string name = entry.path().filename().string();
    files[name.substr(name.find("-o="))] = readTextFile(entry.path().string());
  }
  return files;
}

std::string classKey(int dataset, double os, int n) {
  return "-o=2-d=" + std::to_string(dataset) + "-os=" + osField(os) + "-n=" + std::to_string(n);
}

struct PlanRun {
  bool completed = false;
  std::string console;
};

PlanRun runPlanOn(MenuChoice choice, int theorem, double threshold) {
  objType = 2;
  precTheorem = theorem;
  osThreshold = threshold;
  std::ofstream reportStream;
  PlanRun run;
  run.console = captureOutput([&] { run.completed = runPlan(choice, reportStream); });
  return run;
}

TEST(Plan, ContinueFromTheLastStandardInstanceAveragesOverTheWholeClass) {
  ScratchDirectory scratch;
  writeStandardInstance(120, 0, 125, threeJobs(), chainOf(1)); // order strength 1/3
  const uint64_t waits = keyWaitCount();
  useSteppedClock(1500000000); // 1.5 s between readings: PPt is exactly 1.5
  const PlanRun run = runPlanOn(MenuChoice{true, 2, 5, 0, 125}, 0, 0);
  useSteppedClock(0);
  EXPECT_FALSE(run.completed); // dataset 1 has no files
  EXPECT_EQ(keyWaitCount(), waits + 2);

  const std::vector<std::string> console = linesOf(run.console);
  ASSERT_GE(console.size(), 14u) << run.console;
  EXPECT_EQ(console[0], "obj=2-data=2-os=0-n=120");
  EXPECT_EQ(fieldOf(console[2], 0), "125");
  EXPECT_EQ(fieldOf(console[2], 3), "1.50");
  const std::map<std::string, std::string> files = reportFiles();
  ASSERT_EQ(files.size(), 2u);
  const std::vector<std::string> lines = linesOf(files.at(classKey(2, 0, 120) + ".txt"));
  ASSERT_EQ(lines.size(), 10u);
  const double CPU = std::stod(fieldOf(lines[2], 4));
  EXPECT_GT(CPU, 0.0);
  std::ostringstream averages;
  averages.precision(5);
  averages << "OS1_ave=" << (1.0 / 3) / 125 << "\nOS2_ave=" << (1.0 / 3) / 125
           << "\nPP_ave=" << 1.5 / 125 << "\nCPU_ave=" << CPU / 125 << "\nPP=" << 1.5
           << "\nCPU=" << CPU << "\n";
  EXPECT_EQ(files.at(classKey(2, 0, 120) + ".txt")
                .substr(files.at(classKey(2, 0, 120) + ".txt").find("\n\n") + 2),
            averages.str());
  EXPECT_EQ(lines[4], "OS1_ave=0.0026667");

  char expected[256];
  std::snprintf(expected, sizeof expected,
                "OS1_ave=0.00\nOS2_ave=0.00\nPP_ave=0.01\nCPU_ave=%4.2f\nPP=1.50\nCPU=%4.2f\n\n"
                "obj=2-data=1-os=0.2-n=40\n",
                CPU / 125, CPU);
  EXPECT_NE(run.console.find(expected), std::string::npos) << run.console;
  EXPECT_NE(run.console.find("Sample file Instances/Data-Velmar/wet040/wet040_001.dat not found! \n"
                             "ERROR! instance reader failure! -main\n"),
            std::string::npos);
  EXPECT_EQ(linesOf(files.at(classKey(1, 0.2, 40) + ".txt")).size(), 2u);
}

TEST(Plan, ContinueWithVelmarSkipsTheStandardDatasetAndItsThreshold) {
  ScratchDirectory scratch;
  writeVelmarInstance(40, 0, 124, threeJobs()); // order strength 0: only a job file
  writeVelmarInstance(40, 0, 125, threeJobs());
  const PlanRun run = runPlanOn(MenuChoice{true, 1, 0, 0, 125}, 1, 1.0);
  EXPECT_FALSE(run.completed); // n = 50 has no files
  const std::vector<std::string> console = linesOf(run.console);
  ASSERT_GE(console.size(), 3u);
  EXPECT_EQ(console[0], "obj=2-data=1-os=0-n=40");
  EXPECT_EQ(fieldOf(console[2], 0), "125");
  EXPECT_NE(fieldOf(console[2], 5), "-1"); // threshold 1 would have skipped it
  EXPECT_EQ(console[10], "obj=2-data=1-os=0.2-n=50");

  const std::map<std::string, std::string> files = reportFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(linesOf(files.at(classKey(1, 0, 40) + ".txt")).size(), 10u);
  EXPECT_EQ(files.count(classKey(1, 0.2, 50) + ".txt"), 1u);
}

TEST(Plan, AClassIsValidOnlyWithAnOrderStrengthOfItsDataset) {
  datasettype = 2;
  for (double os : {0.0, 0.2, 0.4, 0.6, 0.8}) {
    osVal = os;
    EXPECT_TRUE(validClass()) << os;
  }
  for (double os : {0.005, 0.1, 0.8000000001, 1.0, -0.2}) {
    osVal = os;
    EXPECT_FALSE(validClass()) << os;
  }
  datasettype = 1;
  for (double os : {0.0, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2}) {
    osVal = os;
    EXPECT_TRUE(validClass()) << os;
  }
  osVal = 0.4;
  EXPECT_FALSE(validClass());
  datasettype = 3;
  osVal = 0.0;
  EXPECT_FALSE(validClass());
  datasettype = 2;
}

} // namespace
} // namespace precdp
