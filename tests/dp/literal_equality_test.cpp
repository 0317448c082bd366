// dpSolve against the literal DP: the same objective, statistics, lookups, messages and key
// waits, and the same layer left in the store, on well-formed and on damaged instances, whether
// the run finishes or is stopped by the capacity or the time limit.
#include "dp/dp.h"
#include "platform/platform.h"
#include "reference/literal_dp.h"
#include "support.h"

#include <gtest/gtest.h>
#include <ostream>
#include <tuple>

namespace precdp {
namespace {

using namespace testing;

struct SolverRun {
  int32_t objective;
  uint32_t maxLayer;
  uint64_t total;
  uint64_t lookups;
  Console output;
  std::vector<std::tuple<uint64_t, uint64_t, int32_t, uint16_t>> layer; // words, cost, time
  bool operator==(const SolverRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SolverRun& run) {
  return out << "{obj " << run.objective << ", uas " << run.maxLayer << ", ts " << run.total
             << ", lookups " << run.lookups << ", key waits " << run.output.keyWaits
             << ", layer of " << run.layer.size() << "}";
}

// Runs one solver on the instance in the tables, from a reset store. With clockStep > 0 every
// clock reading advances by that many seconds, so the run stops after a known number of stages.
SolverRun solveWith(void (*solver)(), uint16_t (*timeAt)(int, uint32_t),
                    const uint64_t& lookupCounter, double limit, double clockStep) {
  resetStore();
  useSteppedClock(static_cast<int64_t>(clockStep * clockTicksPerSecond));
  maxCPU = limit;
  startClock = clockTicks();
  const Console output = console(solver);
  useSteppedClock(0);
  SolverRun run{resultSlot(), maxLayerSize, totalStates, lookupCounter, output, {}};
  for (uint32_t i = 0; i < layerSize[curLayer]; ++i) {
    const JobSet set = stateSetAt(curLayer, i);
    run.layer.emplace_back(set.word[0], set.word[1], stateCostAt(curLayer, i), timeAt(curLayer, i));
  }
  return run;
}

// Both solvers on the loaded instance, the fast one with its scalar pricing and, where the
// processor has it, by streams; returns the literal's run for further checks.
SolverRun expectSameRuns(const std::string& where, double limit = 1e9, double clockStep = 0) {
  static const bool streamsHere = pricingByStreams;
  const SolverRun literal = solveWith(reference::literalDpSolve, reference::literalTimeAt,
                                      reference::literalLookupCount, limit, clockStep);
  for (const bool streams : {false, streamsHere}) {
    pricingByStreams = streams;
    EXPECT_EQ(solveWith(dpSolve, stateTimeAt, lookupCount, limit, clockStep), literal)
        << where << (streams ? ", by streams" : "");
  }
  pricingByStreams = streamsHere;
  return literal;
}

// Small and large values: placement costs that need all 31 bits and sums that wrap around 2^32,
// and processing times whose sums pass 16 bits, so the times wrap; both must wrap alike. Every
// third instance is numbered at random and some hold a cycle, as the pipeline passes them on
// after its validation messages: both must drop the same missing children and warn as often.
// Some have tables no pass leaves, to hold both to the same steps on any relation.
TEST(DpLiteralEquality, RandomInstancesOfEveryDensityAndSize) {
  std::mt19937 random(6061);
  const RandomShape shapes[] = {{5, 1}, {100, 10}, {5000, 30000}, {30000, 3}};
  for (int round = 0; round < 320; ++round) {
    const int n = round % 17;
    RandomShape shape = shapes[round % 4];
    shape.shuffled = round % 3 == 0;
    loadRandomInstance(random, n, 0.15 * (round / 17 % 5), shape);
    if (n > 1 && round % 7 == 0)
      console([&] { addPrec(draw(random, 0, n - 1), draw(random, 0, n - 1)); });
    if (n > 1 && round % 5 == 1) succ[draw(random, 0, n - 2)] = {}; // no longer mirrors pred
    expectSameRuns("round " + std::to_string(round));
  }
}

// Jobs on both sides of the word boundary, in relations dense enough to keep the layers to a
// few hundred states.
TEST(DpLiteralEquality, JobsInBothWords) {
  std::mt19937 random(6062);
  for (int n : {61, 90, 120})
    for (double arcChance : {0.2, 0.3}) {
      loadRandomInstance(random, n, arcChance, {30, 7});
      EXPECT_GT(expectSameRuns("n " + std::to_string(n)).total, 1000u);
    }
}

TEST(DpLiteralEquality, StoppedRunsLeaveTheSameLayer) {
  std::mt19937 random(6063);
  for (uint32_t capacity : {2u, 3u, 17u, 60u, 400u, 1500u}) {
    StoreCapacity small(capacity);
    for (int round = 0; round < 12; ++round) {
      loadRandomInstance(random, 9 + round % 6, 0.1 * (round % 4));
      const SolverRun run = expectSameRuns("capacity " + std::to_string(capacity));
      EXPECT_TRUE(run.objective != -1 || run.layer.size() == capacity - 1);
    }
  }
  // Stopped by the time limit before stage k + 1, both leave the same complete layer k.
  for (double arcChance : {0.0, 0.2, 0.5}) {
    loadRandomInstance(random, 12, arcChance, {40, 9});
    for (int stages = 0; stages <= 12; ++stages) {
      const SolverRun run =
          expectSameRuns("after " + std::to_string(stages) + " stages", stages + 0.5, 1.0);
      EXPECT_TRUE(stages == 12 || run.objective == -1) << stages;
    }
  }
}

} // namespace
} // namespace precdp
