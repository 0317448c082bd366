#include "dp/dp.h"
#include "gen/generator.h"
#include "graph/graph.h"
#include "support.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// Runs `solver` with no effective time limit on a fresh store; returns the result slot.
template <typename Solver>
int32_t run(Solver solver) {
  resetStore();
  maxCPU = 1e9;
  startClock = clockTicks();
  solver();
  return resultSlot();
}

// The run's sequence is a feasible one of cost `optimum`.
void expectOptimalSequence(const std::optional<std::vector<uint16_t>>& sequence, int64_t optimum,
                           const std::string& where) {
  ASSERT_TRUE(sequence) << where;
  ASSERT_EQ(sequence->size(), size_t(jobCount)) << where;
  EXPECT_TRUE(sequenceFeasible(sequence->data())) << where;
  EXPECT_EQ(sequenceCost(sequence->data()), optimum) << where;
}

// Generated instances of both families as the program runs them with each theorem, numbered at
// random where a pass renumbers them. Neither the pass nor the relabeling may change the
// exhaustive optimum, and the relabeled relation passes the validation without a word. The
// exact DP's traced sequence is optimal. The bounded run gives that optimum with the heuristic's
// UB, with UB = optimum (proven by an
// emptied layer) and with UBs above it (the DP's result or a closed front's); it never keeps
// more states than the exact DP. The heuristic's sequence is feasible and priced right, and so
// is the bounded run's whenever its UB's sequence is known or the UB is above the optimum.
TEST(DpSolveBounded, MatchesTheExactDpAndTheExhaustiveSearch) {
  TraceStore trace(4096);
  for (const gen::Family family : {gen::Family::standard, gen::Family::velmar})
    for (int theorem = 0; theorem <= 2; ++theorem)
      for (int instanceNo = 1; instanceNo <= 60; ++instanceNo) {
        const int n = 1 + instanceNo % 8;
        const std::string where = "family " + std::to_string(int(family)) + " theorem " +
                                  std::to_string(theorem) + " instance " +
                                  std::to_string(instanceNo);
        const gen::GeneratorSettings numbering{.shuffledNumbering = theorem > 0};
        gen::loadGeneratedInstance(
            gen::generateInstance(numbering, family, n, 0.2 * (instanceNo % 4), instanceNo));
        const int64_t optimum = bruteForceOptimum();
        EXPECT_EQ(console([&] { strengthen(theorem), checkPrecGraph(); }), Console{}) << where;
        const int64_t heuristicCost = buildHeuristicSchedule();
        ASSERT_TRUE(sequenceFeasible(heuristicSequence)) << where;
        ASSERT_EQ(sequenceCost(heuristicSequence), heuristicCost) << where;
        ASSERT_EQ(run(dpSolve), optimum) << where;
        expectOptimalSequence(tracedSequence(), optimum, where + " exact");
        const uint64_t exactStates = totalStates;
        ASSERT_EQ(run(dpSolveBounded), optimum) << where;
        EXPECT_LE(totalStates, exactStates) << where;
        expectOptimalSequence(boundedSequence(), optimum, where);
        ASSERT_EQ(run([&] { dpSolveBelow(optimum); }), optimum) << where;
        EXPECT_EQ(layerSize[curLayer], 0u) << where;
        EXPECT_FALSE(boundedSequence()) << where; // no sequence of that cost was given
        for (const int64_t above : {1, 100}) {
          ASSERT_EQ(run([&] { dpSolveBelow(optimum + above); }), optimum) << where;
          expectOptimalSequence(boundedSequence(), optimum,
                                where + " above " + std::to_string(above));
        }
        // Last the exact DP on a store of just its entries: the middle stages find no room for
        // their packed words beside them and record in place.
        allocateTrace((exactStates - 1) * traceBytesPerState);
        ASSERT_EQ(run(dpSolve), optimum) << where;
        expectOptimalSequence(tracedSequence(), optimum, where + " exact, in place");
        allocateTrace(4096 * traceBytesPerState);
      }
}

// Instances whose bound without multipliers keeps too many states: on the suite's store the
// exact DP fits its probe, and the run is the exact DP's; on a store too small for the exact DP
// (instance 33) the bounded attempts go on from where the probe left the statistics and the store.
TEST(DpSolveBounded, IsTheExactDpWhereTheExactLayersStaySmall) {
  TraceStore trace(1u << 20);
  for (const int instanceNo : {21, 33}) {
    const std::string where = "instance " + std::to_string(instanceNo);
    gen::loadGeneratedInstance(gen::generateInstance(gen::GeneratorSettings{},
                                                     gen::Family::standard, 40, 0.2, instanceNo));
    strengthen(1);
    const int32_t optimum = run(dpSolve);
    const uint32_t exactUas = maxLayerSize;
    const uint64_t exactTs = totalStates;
    ASSERT_LT(exactUas, exactProbeCapacity - 1) << where;
    ASSERT_EQ(run(dpSolveBounded), optimum) << where;
    EXPECT_EQ(maxLayerSize, exactUas) << where;
    EXPECT_EQ(totalStates, exactTs) << where;
    EXPECT_EQ(layerCapacity, testCapacity) << where;
    expectOptimalSequence(boundedSequence(), optimum, where);
    constexpr uint32_t smallStore = 12000;
    if (exactUas < smallStore) continue;
    StoreCapacity small(smallStore);
    ASSERT_EQ(run(dpSolveBounded), optimum) << where;
    EXPECT_EQ(layerCapacity, smallStore) << where;
    EXPECT_LT(maxLayerSize, smallStore) << where;
    EXPECT_LT(totalStates, exactTs) << where;
    expectOptimalSequence(boundedSequence(), optimum, where + " on the small store");
  }
}

TEST(FrontBounds, NeverExceedTheOptimumOfTheJobsTheyBound) {
  std::mt19937 random(1812);
  for (int round = 0; round < 400; ++round) {
    loadRandomInstance(random, 2 + round % 7, 0.15 * (round % 5), {20, 10, 0, round % 2 == 1});
    // Multipliers fitted towards a target above, at or below the set's optimum: valid for any.
    beginPathFit(draw(random, 0, 2000));
    fitPathBound(draw(random, 0, 200));
    JobSet set{};
    for (int j = 0; j < jobCount; ++j)
      if (draw(random, 0, 3) > 0) insertJob(set, j);
    const JobSet drawn = set; // a front: its jobs' predecessors join it (pred is closed)
    forEachJob(drawn, [&](int j) { set = unionOf(set, pred[j]); });
    const int64_t optimum = bruteForceOptimum(set);
    const std::string where = "round " + std::to_string(round);
    uint32_t frontEnd = 0;
    forEachJob(set, [&](int j) { frontEnd += p[j]; });
    ASSERT_LE(pathBound(set, frontEnd), optimum) << where;
  }
}

} // namespace
} // namespace precdp
