#include "driver/driver.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "platform/platform.h"
#include "report/report.h"
#include "support.h"

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// Class n = 20, OS 0.8 of the standard dataset with its report file started.
void startStandardClass() {
  datasettype = 2;
  objType = 2;
  nVal = 20;
  osVal = 0.8;
  precTheorem = 0;
  osThreshold = 0;
  captureOutput(startReport);
}

// Runs instance Ins and returns the fields of its console row.
std::vector<std::string> runRow(int16_t Ins, std::ofstream& reportStream, ClassSums& sums) {
  const std::string console =
      captureOutput([&] { EXPECT_TRUE(runInstance(Ins, reportStream, sums)); });
  return split(split(console, '\n').back(), '\t');
}

std::vector<std::string> fileRow(int row) {
  return split(split(readTextFile(reportPath), '\n').at(2 + row), '\t');
}

TEST(Pipeline, TimesAreSecondsRoundedDifferentlyOnTheTwoOutputs) {
  ScratchDirectory scratch;
  writeStandardInstance(20, 0.8, 1, threeJobs(), chainOf(1));
  startStandardClass();
  std::ofstream reportStream;
  ClassSums sums;
  useSteppedClock(12345600000); // every reading 12.3456 s after the one before
  const std::vector<std::string> row = runRow(1, reportStream, sums);
  useSteppedClock(0);
  ASSERT_EQ(row.size(), 8u);
  EXPECT_EQ(row[3], "12.35");
  EXPECT_EQ(fileRow(0)[3], "12.346");
  EXPECT_DOUBLE_EQ(sums.PPt, 12.3456);
  // The DP reads the clock once per stage: CPU is a whole number of steps.
  const double steps = sums.CPU / 12.3456;
  EXPECT_GE(steps, 1.0);
  EXPECT_NEAR(steps, std::round(steps), 1e-9);
  char shown[32];
  std::snprintf(shown, sizeof shown, "%4.3f", sums.CPU);
  EXPECT_EQ(row[4], shown);
}

// Restores the suite's store after a test that shrinks it.
struct StoreCapacity {
  explicit StoreCapacity(uint32_t capacity) { allocateStore(capacity); }
  ~StoreCapacity() { allocateStore(testCapacity); }
};

TEST(Pipeline, ADpWithoutResultRaisesTheThresholdAndLaterWeakerInstancesAreSkipped) {
  ScratchDirectory scratch;
  std::vector<FileJob> jobs;
  Arcs chain;
  for (int job = 0; job < 14; ++job) {
    jobs.push_back({1 + job % 4, 3 * job, 1 + job % 3});
    if (job > 0) chain.emplace_back(job - 1, job);
  }
  writeStandardInstance(20, 0.8, 1, jobs, chainOf(2)); // 3 of the 91 pairs ordered
  writeStandardInstance(20, 0.8, 2, jobs);             // order strength 0
  writeStandardInstance(20, 0.8, 3, jobs, chain);      // order strength 1
  writeStandardInstance(20, 0.8, 4, {{3, 1, 2}});      // one job: order strength NaN
  writeStandardInstance(20, 0.8, 5, jobs, chainOf(2)); // the threshold exactly
  startStandardClass();
  StoreCapacity small(64); // far below the middle layers of 14 loosely ordered jobs
  std::ofstream reportStream;
  ClassSums sums;

  std::vector<std::string> row = runRow(1, reportStream, sums);
  EXPECT_EQ(row[5], "-1");
  EXPECT_NE(row[7], "1"); // the DP ran until a layer was full
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);
  for (const std::vector<std::string>& skipped : {runRow(2, reportStream, sums), fileRow(1)}) {
    EXPECT_EQ(skipped[5], "-1");
    EXPECT_EQ(skipped[6], "0");
    EXPECT_EQ(skipped[7], "1");
  }
  EXPECT_DOUBLE_EQ(sums.OS2, 3.0 / 91); // a skipped row still counts
  EXPECT_NE(runRow(3, reportStream, sums)[5], "-1");
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);
  row = runRow(4, reportStream, sums);
  EXPECT_EQ(row[5], "-1"); // NaN never reaches a threshold
  EXPECT_EQ(row[7], "1");
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);
  row = runRow(5, reportStream, sums);
  EXPECT_EQ(row[5], "-1");
  EXPECT_NE(row[7], "1");
}

TEST(Pipeline, AReaderFailureEndsTheInstanceWithoutARow) {
  ScratchDirectory scratch;
  startStandardClass();
  std::ofstream reportStream;
  ClassSums sums;
  for (int dataset : {2, 3}) { // 3 is never set by the plan: the dispatch refuses it
    datasettype = static_cast<uint8_t>(dataset);
    const uint64_t waits = keyWaitCount();
    bool ran = true;
    const std::string console = captureOutput([&] { ran = runInstance(7, reportStream, sums); });
    EXPECT_FALSE(ran);
    EXPECT_EQ(console, (dataset == 2 ? "Sample file Instances/1-prec-wet Ins/20-0.8/20-0.8-7.txt "
                                       "not found! \n"
                                     : "Error! insRead: unexpected datasettype!\n") +
                           std::string("ERROR! instance reader failure! -main\n"));
    EXPECT_EQ(keyWaitCount(), waits + 2);
  }
  EXPECT_EQ(sums.OS1, 0.0);
  EXPECT_EQ(split(readTextFile(reportPath), '\n').size(), 2u);
}

} // namespace
} // namespace precdp
