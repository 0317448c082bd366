// dpSolve against the literal DP: the same objective, statistics, lookups and warnings, and the
// same layer left in the store, on well-formed and on damaged instances, whether the run
// finishes or is stopped by the capacity or the time limit.
#include "dp/dp.h"
#include "platform/platform.h"
#include "reference/literal_dp.h"
#include "support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <ostream>
#include <tuple>

namespace precdp {
namespace {

using testing::Job;

struct SolverRun {
  int32_t objective;
  uint32_t maxLayer;
  uint64_t total;
  uint64_t lookups;
  uint64_t warnings;
  // The layer left as curLayer: set words, cost and time of each state.
  std::vector<std::tuple<uint64_t, uint64_t, int32_t, uint16_t>> layer;
  bool operator==(const SolverRun&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SolverRun& run) {
  return out << "{obj " << run.objective << ", uas " << run.maxLayer << ", ts " << run.total
             << ", lookups " << run.lookups << ", warnings " << run.warnings << ", layer of "
             << run.layer.size() << "}";
}

// Runs one solver on the instance in the tables, from a reset store. With clockStep > 0 every
// clock reading advances by that many seconds, so the run stops after a known number of stages.
SolverRun solveWith(void (*solve)(), const uint64_t& lookupCounter, double limit = 1e9,
                    double clockStep = 0) {
  resetStore();
  useSteppedClock(static_cast<int64_t>(clockStep * clockTicksPerSecond));
  maxCPU = limit;
  startClock = clockTicks();
  const uint64_t waits = keyWaitCount();
  testing::captureOutput(solve);
  useSteppedClock(0);
  SolverRun run{resultSlot(), maxLayerSize, totalStates, lookupCounter, keyWaitCount() - waits, {}};
  for (uint32_t i = 0; i < layerSize[curLayer]; ++i)
    run.layer.emplace_back(stateSet[curLayer][0][i], stateSet[curLayer][1][i],
                           stateCost[curLayer][i], stateTime[curLayer][i]);
  return run;
}

// Both solvers on the loaded instance; returns the literal's run for further checks.
SolverRun expectSameRuns(const std::string& what, double limit = 1e9, double clockStep = 0) {
  const SolverRun fast = solveWith(dpSolve, lookupCount, limit, clockStep);
  const SolverRun literal =
      solveWith(reference::literalDpSolve, reference::literalLookupCount, limit, clockStep);
  EXPECT_EQ(fast, literal) << what;
  return literal;
}

// Restores the suite's store after a test that shrinks it.
struct StoreCapacity {
  explicit StoreCapacity(uint32_t capacity) { allocateStore(capacity); }
  ~StoreCapacity() { allocateStore(testing::testCapacity); }
};

TEST(DpLiteralEquality, RandomInstancesOfEveryDensity) {
  std::mt19937 random(6061);
  for (int round = 0; round < 240; ++round) {
    const int n = round % 17;
    const double arcChance = 0.15 * (round / 17 % 5);
    testing::loadRandomInstance(random, n, arcChance, round % 2 ? 100 : 5, round % 3 ? 10 : 1);
    expectSameRuns("round " + std::to_string(round));
  }
}

// Times up to 60,000 and weights up to 30,000: single placement costs need all 31 bits, and
// their sums wrap around 2^32 the same way in both.
TEST(DpLiteralEquality, LargeTimesAndWeights) {
  std::mt19937 random(6068);
  for (int round = 0; round < 60; ++round) {
    testing::loadRandomInstance(random, 1 + round % 12, 0.1 * (round % 4), 5000, 30000);
    expectSameRuns("round " + std::to_string(round));
  }
}

// Jobs on both sides of the word boundary: a chain of the others keeps the DP small.
TEST(DpLiteralEquality, JobsInBothWords) {
  std::mt19937 random(6062);
  for (int round = 0; round < 12; ++round) {
    const int n = 61 + round * 59 / 11; // 61 .. 120
    std::vector<Job> jobs(n);
    for (Job& job : jobs)
      job = {static_cast<uint16_t>(1 + random() % 30), static_cast<uint16_t>(random() % (8 * n)),
             static_cast<uint16_t>(random() % 8)};
    std::vector<int> free(n);
    std::iota(free.begin(), free.end(), 0);
    std::shuffle(free.begin(), free.end(), random);
    free.resize(6);
    free.push_back(59);
    free.push_back(60);
    std::vector<std::pair<int, int>> arcs;
    int previous = -1;
    for (int job = 0; job < n; ++job) {
      if (std::find(free.begin(), free.end(), job) != free.end()) continue;
      if (previous >= 0) arcs.emplace_back(previous, job);
      previous = job;
    }
    testing::loadInstance(jobs, arcs);
    const SolverRun run = expectSameRuns("n = " + std::to_string(n));
    EXPECT_GT(run.lookups, 0u);
  }
}

TEST(DpLiteralEquality, CapacityStopsAtAnyPoint) {
  std::mt19937 random(6063);
  for (uint32_t capacity : {2u, 3u, 17u, 60u, 400u, 1500u}) {
    StoreCapacity small(capacity);
    for (int round = 0; round < 12; ++round) {
      testing::loadRandomInstance(random, 9 + round % 6, 0.1 * (round % 4));
      const SolverRun run = expectSameRuns("capacity " + std::to_string(capacity));
      if (run.objective == -1) {
        EXPECT_EQ(run.layer.size(), capacity - 1);
      }
    }
  }
}

// Stopped by the time limit before stage k + 1, the two leave the same complete layer k.
TEST(DpLiteralEquality, EveryIntermediateLayer) {
  std::mt19937 random(6064);
  for (double arcChance : {0.0, 0.2, 0.5}) {
    testing::loadRandomInstance(random, 12, arcChance, 40, 9);
    for (int stages = 0; stages <= 12; ++stages) {
      const SolverRun run =
          expectSameRuns("after " + std::to_string(stages) + " stages", stages + 0.5, 1.0);
      EXPECT_EQ(run.objective, stages < 12 ? -1 : run.objective);
    }
  }
}

// Tables the pipeline should never hand over: both must still take the same transitions, drop
// the same missing children and warn as often.
TEST(DpLiteralEquality, DamagedTables) {
  std::mt19937 random(6065);
  for (int round = 0; round < 50; ++round) {
    testing::loadRandomInstance(random, 10, 0.3, 30, 9);
    const int a = static_cast<int>(random() % 10), b = static_cast<int>(random() % 10);
    switch (round % 5) {
    case 0: // an arc against the numbering (a missing child triggers the search warning)
      if (a != b) testing::captureOutput([&] { addPrec(std::max(a, b), std::min(a, b)); });
      break;
    case 1: // a predecessor without the mirror successor
      insertJob(pred[std::max(a, b)], std::min(a, b));
      break;
    case 2: // a successor without the mirror predecessor
      if (a != b) insertJob(succ[std::min(a, b)], std::max(a, b));
      break;
    case 3: // a job that precedes itself
      insertJob(pred[a], a);
      insertJob(succ[a], a);
      break;
    case 4: // a relation no longer transitively closed: the arcs implied through a middle job go
      for (int before = 0; before < 10; ++before)
        for (int after = 0; after < 10; ++after)
          if (contains(succ[before], a) && contains(succ[a], after)) {
            removeJob(succ[before], after);
            removeJob(pred[after], before);
          }
      break;
    }
    expectSameRuns("round " + std::to_string(round));
  }
}

// Processing times that sum beyond 16 bits: the times wrap the same way in both.
TEST(DpLiteralEquality, WrappedTimes) {
  std::mt19937 random(6066);
  for (int round = 0; round < 10; ++round) {
    std::vector<Job> jobs(6);
    for (Job& job : jobs)
      job = {static_cast<uint16_t>(9000 + random() % 20000),
             static_cast<uint16_t>(random() % 60000), static_cast<uint16_t>(1 + random() % 3)};
    testing::loadInstance(jobs, round % 2 ? std::vector<std::pair<int, int>>{{0, 3}, {1, 4}}
                                          : std::vector<std::pair<int, int>>{});
    expectSameRuns("round " + std::to_string(round));
  }
}

// The literal highest-job search stops on an unusual rule; it must still land on the highest bit
// for every position a job can take.
TEST(DpLiteralEquality, LiteralHighestBitSearch) {
  std::mt19937_64 random(6067);
  for (int bit = 0; bit < jobsPerWord; ++bit)
    for (int round = 0; round < 20; ++round) {
      const uint64_t below = bit == 0 ? 0 : random() & ((uint64_t{1} << bit) - 1);
      EXPECT_EQ(reference::literalHighestBit((uint64_t{1} << bit) | below), bit);
    }
}

} // namespace
} // namespace precdp
