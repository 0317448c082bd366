#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace precdp {
namespace {

using namespace testing;

void loadEmptyJobs(int n) {
  loadInstance(std::vector<Job>(n, {1, 0, 1}));
}

// The chain 119 -> 60 -> 59 -> 0 runs against the numbering and across the word boundary, so
// a job placed in the wrong word or bit shows as a wrong pair.
TEST(AddPrec, ClosureIsTheSameInAnyArcOrder) {
  const int chain[] = {119, 60, 59, 0};
  for (const std::vector<int>& order : {std::vector{2, 0, 1}, {0, 1, 2}, {1, 2, 0}}) {
    loadEmptyJobs(120);
    for (int k : order) addPrec(chain[k], chain[k + 1]); // arc k: chain[k] before chain[k + 1]
    int orderedPairs = 0;
    for (int j = 0; j < maxJobs; ++j)
      for (int k = 0; k < maxJobs; ++k) orderedPairs += contains(pred[j], k);
    EXPECT_EQ(orderedPairs, 6);
    for (int a = 0; a < 4; ++a)
      for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(contains(pred[chain[b]], chain[a]), a < b) << a << " " << b;
        EXPECT_EQ(contains(succ[chain[a]], chain[b]), a < b) << a << " " << b;
      }
  }
}

TEST(AddPrec, ImpliedArcChangesNothingAndACycleIsReportedPerPairAndAdded) {
  for (ImpliedArc implied : {ImpliedArc::stop, ImpliedArc::recheck}) {
    loadEmptyJobs(3);
    addPrec(0, 1);
    addPrec(1, 2);
    EXPECT_EQ(console([&] { addPrec(0, 2, implied); }), Console{});
    EXPECT_TRUE(pred[2] == setOf({0, 1}) && succ[0] == setOf({1, 2}));
  }
  loadEmptyJobs(3);
  EXPECT_EQ(console([] { addPrec(2, 2); }), (Console{"Error! addPrec\n", 1}));
  EXPECT_TRUE(contains(pred[2], 2) && contains(succ[2], 2));

  loadEmptyJobs(2);
  addPrec(0, 1);
  EXPECT_EQ(console([] { addPrec(1, 0); }),
            (Console{"Error! addPrec\nError! addPrec\nError! addPrec\n", 3}));
  EXPECT_TRUE(pred[0] == setOf({0, 1}) && pred[1] == setOf({0, 1}) && succ[0] == setOf({0, 1}));
}

TEST(ResetInstance, ClearsEveryTableThePreviousInstanceWrote) {
  loadEmptyJobs(40);
  for (int i = 0; i < 40; ++i) {
    if (i > 0) addPrec(i - 1, i);
    domPred[i] = domSucc[i] = setOf({i});
    earliestStart[i] = latestEnd[i] = 7;
    for (int j = 0; j < maxJobs; ++j)
      pairEarliestStart[i][j] = pairLatestEnd[i][j] = pairEarliestStart[j][i] =
          pairLatestEnd[j][i] = 5;
  }
  pairEarliestStart[40][41] = 9; // outside every row and column below 40: left alone
  totalStates = 99;
  resetInstance();
  EXPECT_TRUE(totalP == 0 && isEmpty(allJobs) && totalStates == 1);
  for (int i = 0; i < maxJobs; ++i) {
    EXPECT_TRUE(isEmpty(pred[i]) && isEmpty(succ[i]) && isEmpty(domPred[i]) && isEmpty(domSucc[i]));
    EXPECT_EQ(earliestStart[i] | latestEnd[i], 0);
    for (int j = 0; j < 40; ++j)
      EXPECT_EQ(pairEarliestStart[i][j] | pairLatestEnd[i][j] | pairEarliestStart[j][i] |
                    pairLatestEnd[j][i],
                0);
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
        const Console out = console([] {
          rlimit limit{uint64_t{4} << 30, uint64_t{4} << 30};
          setrlimit(RLIMIT_AS, &limit);
          if (initTables() || stateSet[0][0] != nullptr || layerCapacity != 0) std::_Exit(1);
        });
        std::_Exit(out.text.find("8580000000 bytes") != std::string::npos ? 7 : 2);
      },
      ::testing::ExitedWithCode(7), "");
}
#endif

} // namespace
} // namespace precdp
