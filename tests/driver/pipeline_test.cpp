#include "driver/driver.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "platform/platform.h"
#include "report/report.h"
#include "support.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>

namespace precdp {
namespace {

using namespace testing;

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream text(line);
  for (std::string field; std::getline(text, field, '\t');) fields.push_back(field);
  return fields;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// A class of the standard dataset with its report file started.
void startStandardClass(int theorem, double threshold) {
  datasettype = 2;
  objType = 2;
  nVal = 20;
  osVal = 0.8;
  precTheorem = theorem;
  osThreshold = threshold;
  captureOutput(startReport);
}

struct Row {
  bool ran = false;
  std::string console;         // everything printed
  std::vector<std::string> at; // fields of the console row
};

Row run(int16_t Ins, std::ofstream& reportStream, ClassSums& sums) {
  Row row;
  row.console = captureOutput([&] { row.ran = runInstance(Ins, reportStream, sums); });
  row.at = fieldsOf(linesOf(row.console).back());
  return row;
}

// The console shows a value rounded to `decimals`; the file the same value to 5 digits.
void expectSameValue(const std::string& console, const std::string& file, int decimals) {
  EXPECT_NEAR(std::stod(console), std::stod(file), 0.5 * std::pow(10.0, -decimals) + 1e-9)
      << console << " / " << file;
}

TEST(Pipeline, RowReachesTheConsoleTheFileAndTheSums) {
  ScratchDirectory scratch;
  const std::vector<FileJob> jobs = {{3, 4, 2}, {5, 6, 1},  {2, 3, 4}, {4, 9, 3},
                                     {1, 2, 5}, {6, 12, 1}, {2, 16, 2}};
  const Arcs arcs = {{0, 1}, {1, 2}, {4, 5}}; // closure: 4 of the 21 pairs
  for (int Ins = 1; Ins <= 3; ++Ins) writeStandardInstance(20, 0.8, Ins, jobs, arcs);

  startStandardClass(0, 0);
  std::ofstream reportStream;
  ClassSums sums;
  const Row plain = run(1, reportStream, sums);
  ASSERT_TRUE(plain.ran);
  ASSERT_EQ(plain.at.size(), 8u) << plain.console;
  const int64_t optimum = bruteForceOptimum(); // the tables still hold the instance as read
  EXPECT_EQ(plain.at[0], "1");
  EXPECT_EQ(plain.at[1], "0.19");
  EXPECT_EQ(plain.at[2], "0.19");
  EXPECT_EQ(plain.at[5], std::to_string(optimum));
  EXPECT_EQ(objVal, optimum);
  EXPECT_EQ(plain.at[6], std::to_string(maxLayerSize));
  EXPECT_EQ(plain.at[7], std::to_string(totalStates));
  EXPECT_DOUBLE_EQ(sums.OS1, 4.0 / 21);
  EXPECT_DOUBLE_EQ(sums.OS2, 4.0 / 21);

  // A theorem pass keeps an optimal sequence and can only order more pairs.
  precTheorem = 1;
  const Row kanet = run(2, reportStream, sums);
  precTheorem = 2;
  const Row emmons = run(3, reportStream, sums);
  for (const Row* row : {&kanet, &emmons}) {
    ASSERT_EQ(row->at.size(), 8u) << row->console;
    EXPECT_EQ(row->at[1], "0.19");
    EXPECT_GE(std::stod(row->at[2]), 0.19);
    EXPECT_EQ(row->at[5], std::to_string(optimum));
  }
  EXPECT_DOUBLE_EQ(sums.OS1, 3 * 4.0 / 21);
  EXPECT_GE(sums.OS2, sums.OS1);

  const std::vector<std::string> file = linesOf(readTextFile(reportPath));
  ASSERT_EQ(file.size(), 5u);
  EXPECT_EQ(file[2].rfind("1\t0.19048\t0.19048\t", 0), 0u) << file[2];
  int line = 2;
  for (const Row* row : {&plain, &kanet, &emmons}) {
    const std::vector<std::string> written = fieldsOf(file[line++]);
    ASSERT_EQ(written.size(), 8u);
    for (int field : {0, 5, 6, 7}) EXPECT_EQ(written[field], row->at[field]);
    for (int field : {1, 2, 3}) expectSameValue(row->at[field], written[field], 2);
    expectSameValue(row->at[4], written[4], 3);
  }
}

TEST(Pipeline, TimesAreSecondsRoundedDifferentlyOnTheTwoOutputs) {
  ScratchDirectory scratch;
  writeStandardInstance(20, 0.8, 1, threeJobs(), chainOf(1));
  startStandardClass(0, 0);
  std::ofstream reportStream;
  ClassSums sums;
  useSteppedClock(12345600000); // every reading 12.3456 s after the one before
  const Row row = run(1, reportStream, sums);
  useSteppedClock(0);
  ASSERT_EQ(row.at.size(), 8u) << row.console;
  EXPECT_EQ(row.at[3], "12.35");
  EXPECT_DOUBLE_EQ(sums.PPt, 12.3456);
  // The DP reads the clock once per stage, so CPU is a whole number of steps.
  const double steps = sums.CPU / 12.3456;
  EXPECT_GE(steps, 1.0);
  EXPECT_NEAR(steps, std::round(steps), 1e-9);
  const std::vector<std::string> written = fieldsOf(linesOf(readTextFile(reportPath))[2]);
  ASSERT_EQ(written.size(), 8u);
  EXPECT_EQ(written[3], "12.346");
  std::ostringstream cpu;
  cpu.precision(5);
  cpu << sums.CPU;
  EXPECT_EQ(written[4], cpu.str());
  char console[32];
  std::snprintf(console, sizeof console, "%4.3f", sums.CPU);
  EXPECT_EQ(row.at[4], console);
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
  const Arcs twoArcs = chainOf(2); // 3 of the 91 pairs
  writeStandardInstance(20, 0.8, 1, jobs, twoArcs);
  writeStandardInstance(20, 0.8, 2, jobs);        // order strength 0
  writeStandardInstance(20, 0.8, 3, jobs, chain); // order strength 1
  writeStandardInstance(20, 0.8, 4, {{3, 1, 2}}); // one job: order strength NaN
  writeStandardInstance(20, 0.8, 5, jobs, twoArcs);

  startStandardClass(0, 0);
  StoreCapacity small(64); // far below the middle layers of 14 loosely ordered jobs
  std::ofstream reportStream;
  ClassSums sums;
  const Row failed = run(1, reportStream, sums);
  ASSERT_EQ(failed.at.size(), 8u) << failed.console;
  EXPECT_EQ(failed.at[5], "-1");
  EXPECT_NE(failed.at[7], "1"); // the DP ran until the store was full
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);

  const Row skipped = run(2, reportStream, sums);
  EXPECT_EQ(skipped.at[2], "0.00");
  EXPECT_EQ(skipped.at[5], "-1");
  EXPECT_EQ(skipped.at[6], "0");
  EXPECT_EQ(skipped.at[7], "1");
  EXPECT_DOUBLE_EQ(sums.OS2, 3.0 / 91); // a skipped row still counts

  const Row chained = run(3, reportStream, sums);
  EXPECT_NE(chained.at[5], "-1");
  EXPECT_EQ(chained.at[6], "1");
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);

  const Row single = run(4, reportStream, sums);
  EXPECT_EQ(single.at[5], "-1"); // NaN never reaches a threshold
  EXPECT_EQ(single.at[7], "1");
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);

  const Row again = run(5, reportStream, sums); // reaches the threshold exactly: runs, fails
  EXPECT_EQ(again.at[5], "-1");
  EXPECT_NE(again.at[7], "1");
  EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91);

  const std::vector<std::string> file = linesOf(readTextFile(reportPath));
  ASSERT_EQ(file.size(), 7u);
  const std::vector<std::string> skippedRow = fieldsOf(file[3]);
  EXPECT_EQ(skippedRow[5], "-1");
  EXPECT_EQ(skippedRow[6], "0");
  EXPECT_EQ(skippedRow[7], "1");
  EXPECT_NE(fieldsOf(file[5])[1].find("nan"), std::string::npos); // sign as the division left it
}

TEST(Pipeline, AReaderFailureEndsTheInstanceWithoutARow) {
  ScratchDirectory scratch;
  startStandardClass(1, 0);
  std::ofstream reportStream;
  ClassSums sums;
  uint64_t waits = keyWaitCount();
  bool ran = true;
  std::string console = captureOutput([&] { ran = runInstance(7, reportStream, sums); });
  EXPECT_FALSE(ran);
  EXPECT_EQ(console, "Sample file Instances/1-prec-wet Ins/20-0.8/20-0.8-7.txt not found! \n"
                     "ERROR! instance reader failure! -main\n");
  EXPECT_EQ(keyWaitCount(), waits + 2);
  EXPECT_EQ(sums.OS1, 0.0);
  EXPECT_EQ(linesOf(readTextFile(reportPath)).size(), 2u);

  datasettype = 3; // never set by the plan: the dispatch refuses it
  waits = keyWaitCount();
  console = captureOutput([&] { ran = runInstance(1, reportStream, sums); });
  EXPECT_FALSE(ran);
  EXPECT_EQ(console, "Error! insRead: unexpected datasettype!\n"
                     "ERROR! instance reader failure! -main\n");
  EXPECT_EQ(keyWaitCount(), waits + 2);

  datasettype = 1; // the Velmar reader names its own job file
  nVal = 40;
  console = captureOutput([&] { ran = runInstance(3, reportStream, sums); });
  EXPECT_FALSE(ran);
  EXPECT_EQ(console.rfind("Sample file Instances/Data-Velmar/wet040/wet040_003.dat", 0), 0u);
}

} // namespace
} // namespace precdp
