#include "instance/instance.h"
#include "platform/platform.h"
#include "support.h"

#include "dp/dp.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace precdp {
namespace {

using testing::captureOutput;
using testing::countOf;

JobSet setOf(std::initializer_list<int> jobs) {
  JobSet set{};
  for (int job : jobs) insertJob(set, job);
  return set;
}

void loadEmptyJobs(int n) {
  testing::loadInstance(std::vector<testing::Job>(n, {1, 0, 1}));
}

TEST(JobSet, WordBoundaryJobsUseTheirOwnWordAndBit) {
  JobSet set{};
  insertJob(set, 59);
  EXPECT_EQ(set.word[0], uint64_t{1} << 59);
  EXPECT_EQ(set.word[1], 0u);
  insertJob(set, 60);
  insertJob(set, 119);
  EXPECT_EQ(set.word[1], (uint64_t{1} << 59) | 1u);
  EXPECT_TRUE(contains(set, 59) && contains(set, 60) && contains(set, 119));
  EXPECT_FALSE(contains(set, 0) || contains(set, 61) || contains(set, 118));
  // Bits 60..63 of either word are never set by any job.
  JobSet all{};
  for (int job = 0; job < maxJobs; ++job) insertJob(all, job);
  EXPECT_EQ(all.word[0] >> 60, 0u);
  EXPECT_EQ(all.word[1] >> 60, 0u);
  removeJob(all, 60);
  removeJob(all, 59);
  EXPECT_FALSE(contains(all, 60) || contains(all, 59));
  EXPECT_TRUE(contains(all, 61) && contains(all, 58));
}

TEST(JobSet, LayerOrderComparesTheHighWordFirst) {
  EXPECT_TRUE(setLess(setOf({0}), setOf({1})));
  EXPECT_TRUE(setLess(setOf({0, 1, 2, 59}), setOf({60})));
  EXPECT_FALSE(setLess(setOf({60}), setOf({0, 1, 59})));
  EXPECT_TRUE(setLess(setOf({60, 3}), setOf({60, 4})));
  EXPECT_FALSE(setLess(setOf({5}), setOf({5})));
  EXPECT_TRUE(meets(setOf({1, 119}), setOf({119})));
  EXPECT_FALSE(meets(setOf({1, 60}), setOf({0, 61})));
}

TEST(AddPrec, ClosureIsTheSameInAnyArcOrder) {
  const std::vector<std::vector<std::pair<int, int>>> orders = {
      {{2, 3}, {0, 1}, {1, 2}}, {{0, 1}, {1, 2}, {2, 3}}, {{1, 2}, {2, 3}, {0, 1}}};
  for (const auto& arcs : orders) {
    loadEmptyJobs(4);
    for (auto [i, j] : arcs) addPrec(static_cast<int16_t>(i), static_cast<int16_t>(j));
    EXPECT_EQ(pred[3], setOf({0, 1, 2}));
    EXPECT_EQ(pred[2], setOf({0, 1}));
    EXPECT_EQ(pred[1], setOf({0}));
    EXPECT_EQ(succ[0], setOf({1, 2, 3}));
    EXPECT_EQ(succ[1], setOf({2, 3}));
    EXPECT_TRUE(isEmpty(pred[0]) && isEmpty(succ[3]));
  }
}

TEST(AddPrec, ImpliedArcChangesNothingAndPrintsNothing) {
  for (ImpliedArc implied : {ImpliedArc::stop, ImpliedArc::recheck}) {
    loadEmptyJobs(3);
    addPrec(0, 1);
    addPrec(1, 2);
    const uint64_t waits = keyWaitCount();
    std::string out = captureOutput([&] { addPrec(0, 2, implied); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(keyWaitCount(), waits);
    EXPECT_EQ(pred[2], setOf({0, 1}));
    EXPECT_EQ(succ[0], setOf({1, 2}));
  }
}

TEST(AddPrec, ClosureAcrossTheWordBoundary) {
  loadEmptyJobs(120);
  addPrec(119, 60);
  addPrec(60, 59);
  addPrec(59, 0);
  EXPECT_EQ(pred[0], setOf({59, 60, 119}));
  EXPECT_EQ(succ[119], setOf({0, 59, 60}));
  EXPECT_EQ(pred[59], setOf({60, 119}));
}

TEST(AddPrec, CycleIsReportedPerOffendingPairAndStillAdded) {
  loadEmptyJobs(3);
  uint64_t waits = keyWaitCount();
  std::string out = captureOutput([] { addPrec(2, 2); });
  EXPECT_EQ(out, "Error! addPrec\n");
  EXPECT_EQ(keyWaitCount(), waits + 1);
  EXPECT_TRUE(contains(pred[2], 2) && contains(succ[2], 2));

  loadEmptyJobs(2);
  addPrec(0, 1);
  waits = keyWaitCount();
  out = captureOutput([] { addPrec(1, 0); });
  EXPECT_EQ(countOf(out, "Error! addPrec\n"), 3);
  EXPECT_EQ(keyWaitCount(), waits + 3);
  EXPECT_TRUE(contains(pred[0], 0) && contains(pred[1], 1));
  EXPECT_TRUE(contains(pred[0], 1) && contains(succ[0], 1));
}

TEST(ResetInstance, ClearsEveryTableThePreviousInstanceWrote) {
  loadEmptyJobs(40);
  for (int i = 0; i < 40; ++i) {
    if (i > 0) addPrec(static_cast<int16_t>(i - 1), static_cast<int16_t>(i));
    domPred[i] = domSucc[i] = setOf({i});
    earliestStart[i] = latestEnd[i] = 7;
  }
  for (int i = 0; i < maxJobs; ++i)
    for (int j = 0; j < 40; ++j) {
      pairEarliestStart[i][j] = pairLatestEnd[i][j] = 5;
      pairEarliestStart[j][i] = pairLatestEnd[j][i] = 5;
    }
  pairEarliestStart[40][41] = 9; // outside every row and column below 40: left alone
  resetInstance();
  EXPECT_EQ(totalP, 0);
  EXPECT_TRUE(isEmpty(allJobs));
  for (int i = 0; i < maxJobs; ++i) {
    EXPECT_TRUE(isEmpty(pred[i]) && isEmpty(succ[i]) && isEmpty(domPred[i]) && isEmpty(domSucc[i]));
    EXPECT_EQ(earliestStart[i] | latestEnd[i], 0);
    for (int j = 0; j < 40; ++j) {
      EXPECT_EQ(pairEarliestStart[i][j] | pairLatestEnd[i][j], 0);
      EXPECT_EQ(pairEarliestStart[j][i] | pairLatestEnd[j][i], 0);
    }
  }
  EXPECT_EQ(pairEarliestStart[40][41], 9);
  pairEarliestStart[40][41] = 0;
}

#ifndef __SANITIZE_ADDRESS__ // the sanitizer's own reservations do not fit a small address space
TEST(InitTables, StoreThatCannotBeObtainedIsReportedNotThrown) {
  // In a child process limited to 4 GiB of address space the 8.58 GB store cannot exist: the
  // call must come back with false and a message naming the memory needed.
  EXPECT_EXIT(
      {
        const std::string out = captureOutput([] {
          rlimit limit{uint64_t{4} << 30, uint64_t{4} << 30};
          setrlimit(RLIMIT_AS, &limit);
          if (initTables() || stateSet[0][0] != nullptr || layerCapacity != 0) std::_Exit(1);
        });
        std::_Exit(out.find("8580000000 bytes") != std::string::npos ? 7 : 2);
      },
      ::testing::ExitedWithCode(7), "");
}
#endif

} // namespace
} // namespace precdp
