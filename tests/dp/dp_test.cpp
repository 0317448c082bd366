#include "dp/dp.h"
#include "platform/platform.h"
#include "support.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

void expectStatistics(uint64_t states, uint32_t largestLayer, const std::string& where) {
  EXPECT_EQ(totalStates, states) << where;
  EXPECT_EQ(maxLayerSize, largestLayer) << where;
}

// The exhaustive search checks the optimum and the literal DP every count; these counts are
// known in closed form.
TEST(DpSolve, StateCountsOfUnorderedAndChainInstances) {
  // Without precedence every subset is a state; the middle layer, C(n, n/2), is the largest.
  for (auto [n, middleLayer] : {std::pair{8, 70u}, std::pair{13, 1716u}}) {
    loadInstance(std::vector<Job>(n, {2, 5, 1}));
    solve();
    expectStatistics(uint64_t{1} << n, middleLayer, "n " + std::to_string(n));
  }
  // A chain across the word boundary has one state per layer and the cost of its one sequence.
  std::vector<Job> jobs;
  Arcs chain;
  int64_t time = 0, cost = 0;
  for (int i = 0; i < 70; ++i) {
    jobs.push_back({static_cast<uint16_t>(1 + i % 7), static_cast<uint16_t>(3 * i),
                    static_cast<uint16_t>(i % 4)});
    if (i > 0) chain.emplace_back(i - 1, i);
    time += jobs[i].p;
    cost += std::max<int64_t>(0, time - jobs[i].dueDate) * jobs[i].weight;
  }
  loadInstance(jobs, chain);
  EXPECT_EQ(solve(), cost);
  expectStatistics(71, 1, "chain");
}

TEST(DpSolve, FaultyRelationsNeverReadOutsideTheLayers) {
  // A cycle between 1 and 2: only job 0 can be last, then no job can; the empty layer is no
  // result, not a value read from it.
  loadInstance(std::vector<Job>(3, {1, 0, 1}));
  console([] { addPrec(1, 2), addPrec(2, 1); });
  EXPECT_EQ(solve(), -1);
  EXPECT_EQ(totalStates, 2u);

  // Jobs 3 -> 1 -> 0 against the numbering: at stage 3 the child {2} of {2, 3} is below the
  // layer's last set {3} but was never made, so its search fails. The transition is dropped
  // (the sanitizer build shows no access at index -1) and the DP still finishes.
  loadInstance(std::vector<Job>(4, {1, 0, 1}), {{1, 0}, {3, 0}, {3, 1}});
  int32_t objective = 0;
  EXPECT_EQ(console([&] { objective = solve(); }),
            (Console{"Wrning: expected state not found - arrBinarySearch\n", 1}));
  EXPECT_EQ(objective, 1 + 2 + 3 + 4); // identical jobs: every sequence costs the same
}

// The layer order reads a set as the number word[1]:word[0], so every set with a job above 59
// follows every set without one.
TEST(ArrBinarySearch, FindsFromLoInTheLayerOrderAndWarnsOtherwise) {
  resetStore();
  const JobSet layer[] = {setOf({0}),     setOf({1}),     setOf({0, 1, 2, 59}), setOf({60}),
                          setOf({3, 60}), setOf({4, 60}), setOf({119})};
  for (const JobSet& set : layer) appendState(0, set, 0, 0);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(arrBinarySearch(0, i / 2, layer[i]), i);
  const std::string warning = "Wrning: expected state not found - arrBinarySearch\n";
  EXPECT_EQ(console([] { EXPECT_EQ(arrBinarySearch(0, 0, setOf({2})), -1); }),
            (Console{warning, 1}));
  EXPECT_EQ(console([&] { EXPECT_EQ(arrBinarySearch(0, 4, layer[2]), -1); }),
            (Console{warning, 1}));
}

} // namespace
} // namespace precdp
