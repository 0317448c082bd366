#include "driver/driver.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "report/report.h"
#include "support.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// Class n = 20, OS 0.8 of the standard dataset, its report file started.
struct StandardClass {
  ScratchDirectory scratch;
  std::ofstream reportStream;
  ClassSums sums;
  StandardClass() {
    datasettype = 2;
    nVal = 20;
    osVal = 0.8;
    precTheorem = osThreshold = 0;
    console(startReport);
  }
  // Runs instance Ins; the fields of its console row and of its file row.
  std::pair<std::vector<std::string>, std::vector<std::string>> run(int16_t Ins) {
    const std::string text =
        console([&] { EXPECT_TRUE(runInstance(Ins, reportStream, sums)); }).text;
    return {split(split(text, '\n').back(), '\t'),
            split(split(readTextFile(reportPath), '\n').back(), '\t')};
  }
};

TEST(Pipeline, TimesAreSecondsRoundedDifferentlyOnTheTwoOutputs) {
  StandardClass standard;
  writeStandardInstance(20, 0.8, 1, threeJobs(), chainOf(1));
  useSteppedClock(12345600000); // every reading 12.3456 s after the one before
  const auto [row, fileRow] = standard.run(1);
  useSteppedClock(0);
  ASSERT_TRUE(row.size() == 8 && fileRow.size() == 8);
  EXPECT_EQ(row[3], "12.35");
  EXPECT_EQ(fileRow[3], "12.346");
  EXPECT_TRUE(row[1] == "0.33" && fileRow[1] == "0.33333"); // one of three pairs ordered
  EXPECT_DOUBLE_EQ(standard.sums.PPt, 12.3456);
}

TEST(Pipeline, ADpWithoutResultRaisesTheThresholdAndLaterWeakerInstancesAreSkipped) {
  StandardClass standard;
  std::vector<Job> jobs;
  for (int job = 0; job < 14; ++job)
    jobs.push_back({uint16_t(1 + job % 4), uint16_t(3 * job), uint16_t(1 + job % 3)});
  writeStandardInstance(20, 0.8, 1, jobs, chainOf(2));  // 3 of the 91 pairs ordered
  writeStandardInstance(20, 0.8, 2, jobs);              // order strength 0
  writeStandardInstance(20, 0.8, 3, jobs, chainOf(13)); // order strength 1
  writeStandardInstance(20, 0.8, 4, {{3, 1, 2}});       // one job: order strength NaN
  writeStandardInstance(20, 0.8, 5, jobs, chainOf(2));  // the threshold exactly
  StoreCapacity small(64); // far below the middle layers of 14 loosely ordered jobs
  // Per instance: no result (obj -1), and whether the DP ran (ts above 1). The first raises the
  // threshold to its OS2; after that it stays, as no later DP with a lower OS2 runs.
  const std::tuple<int, bool, bool> expected[] = {
      {1, true, true}, {2, true, false}, {3, false, true}, {4, true, false}, {5, true, true}};
  for (auto [Ins, noResult, dpRan] : expected) {
    const auto [row, fileRow] = standard.run(static_cast<int16_t>(Ins));
    EXPECT_EQ(std::vector(row.begin() + 5, row.end()),
              std::vector(fileRow.begin() + 5, fileRow.end()));
    EXPECT_EQ(row[5] == "-1", noResult) << Ins;
    EXPECT_EQ(row[7] != "1", dpRan) << Ins;
    EXPECT_TRUE(dpRan || row[6] == "0") << Ins;
    EXPECT_DOUBLE_EQ(osThreshold, 3.0 / 91) << Ins;
    if (Ins == 2) { // a skipped row still counts
      EXPECT_DOUBLE_EQ(standard.sums.OS2, 3.0 / 91);
    }
  }
}

} // namespace
} // namespace precdp
