// Topological relabeling: the merge of the theorem arcs, the renumbering of sets and values, and
// the results that must not depend on the numbering.
#include "dp/dp.h"
#include "graph/graph.h"
#include "platform/platform.h"
#include "support.h"
#include "theorems/random_instance.h"
#include "theorems/theorems.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace precdp {
namespace {

using testing::Job;

JobSet setOf(std::initializer_list<int> jobs) {
  JobSet set{};
  for (int job : jobs) insertJob(set, job);
  return set;
}

struct JobValues {
  uint16_t p, dueDate, earlinessWeight, tardinessWeight, earliestStart, latestEnd;
  bool operator==(const JobValues&) const = default;
};

JobValues valuesOf(int j) {
  return {p[j], dueDate[j], earlinessWeight[j], tardinessWeight[j], earliestStart[j], latestEnd[j]};
}

// Three jobs with distinct values in every per-job table.
void loadThreeJobs(const std::vector<std::pair<int, int>>& arcs) {
  testing::loadInstance({{3, 10, 1}, {5, 20, 2}, {7, 30, 3}}, arcs);
  computeTimeWindows();
  for (int j = 0; j < 3; ++j) earlinessWeight[j] = static_cast<uint16_t>(40 + j);
}

// The two small examples: 2 before 1 before 0 (counts 2, 1, 0: jobs 0 and 2 exchange numbers,
// 1 keeps its own), and 1 before 2 before 0 (old jobs 1, 2, 0 receive numbers 0, 1, 2, a cycle
// of three applied by two exchanges). Either way the result is the chain 0, 1, 2.
TEST(TopoRelabel, SmallExamplesMoveSetsAndValues) {
  struct Example {
    std::vector<std::pair<int, int>> arcs;
    int oldNumberOf[3];
  };
  const Example examples[] = {{{{2, 1}, {1, 0}}, {2, 1, 0}}, {{{1, 2}, {2, 0}}, {1, 2, 0}}};
  for (const Example& example : examples) {
    loadThreeJobs(example.arcs);
    const JobValues old[3] = {valuesOf(0), valuesOf(1), valuesOf(2)};
    topoRelabel();
    EXPECT_TRUE(pred[0] == setOf({}) && pred[1] == setOf({0}) && pred[2] == setOf({0, 1}));
    EXPECT_TRUE(succ[0] == setOf({1, 2}) && succ[1] == setOf({2}) && succ[2] == setOf({}));
    for (int j = 0; j < 3; ++j) EXPECT_EQ(valuesOf(j), old[example.oldNumberOf[j]]) << j;
  }
}

// Jobs are told apart by their processing time p = old number + 1. Checks that the new relation
// is the old merged one renumbered, that every value moved with its job, and that the numbering
// is topological.
void expectRenumberedCopy(const std::vector<JobSet>& oldPred, const std::vector<JobValues>& old,
                          const std::string& where) {
  const int n = jobCount;
  std::vector<int> oldNumber(n);
  for (int x = 0; x < n; ++x) {
    oldNumber[x] = p[x] - 1;
    ASSERT_EQ(valuesOf(x), old[oldNumber[x]]) << where << " job " << x;
  }
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const bool before = contains(oldPred[oldNumber[y]], oldNumber[x]);
      ASSERT_EQ(contains(pred[y], x), before) << where << " " << x << " before " << y;
      ASSERT_EQ(contains(succ[x], y), before) << where << " " << x << " before " << y;
      ASSERT_TRUE(!before || x < y) << where << " " << x << " before " << y;
    }
  }
}

// Random instances up to 120 jobs (so jobs move between the two words), numbered at random,
// with theorem arcs from a pass to merge.
TEST(TopoRelabel, RenumbersAcrossTheWordBoundary) {
  std::mt19937 random(42);
  for (int n : {2, 7, 61, 90, 120}) {
    for (double chance : {0.0, 0.03, 0.3}) {
      testing::loadShuffledInstance(random, n, chance, 1, 4, 4000);
      totalP = 0;
      for (int j = 0; j < n; ++j) {
        p[j] = static_cast<uint16_t>(j + 1);
        totalP = static_cast<uint16_t>(totalP + p[j]);
      }
      computeTimeWindows();
      for (int j = 0; j < n; ++j) earlinessWeight[j] = static_cast<uint16_t>(random() % 9);
      emmonsPrec();
      std::vector<JobSet> merged(n);
      std::vector<JobValues> old(n);
      for (int j = 0; j < n; ++j) {
        merged[j] = unionOf(pred[j], domPred[j]);
        old[j] = valuesOf(j);
      }
      const JobSet everyJob = allJobs;
      const uint16_t total = totalP;
      topoRelabel();
      const std::string where = "n " + std::to_string(n) + " chance " + std::to_string(chance);
      expectRenumberedCopy(merged, old, where);
      EXPECT_TRUE(allJobs == everyJob) << where;
      EXPECT_EQ(totalP, total) << where;
      if (HasFatalFailure()) return;
    }
  }
}

// The order strength and the DP's objective and state counts do not depend on the numbering: an
// instance numbered at random and relabeled gives what its topological original gives.
TEST(TopoRelabel, ResultsDoNotDependOnTheNumbering) {
  std::mt19937 random(8);
  for (int round = 0; round < 30; ++round) {
    const int n = 6 + round % 9;
    std::vector<Job> jobs(n);
    int total = 0;
    for (Job& job : jobs) {
      job.p = static_cast<uint16_t>(1 + random() % 9);
      job.weight = static_cast<uint16_t>(random() % 4);
      total += job.p;
    }
    for (Job& job : jobs) job.dueDate = static_cast<uint16_t>(random() % (total + 1));
    std::vector<std::pair<int, int>> arcs;
    for (int a = 0; a < n; ++a)
      for (int b = a + 1; b < n; ++b)
        if (random() % 5 == 0) arcs.emplace_back(a, b);
    testing::loadInstance(jobs, arcs);
    const double strength = orderStrength();
    const int32_t objective = testing::solve();
    const uint32_t largestLayer = maxLayerSize;
    const uint64_t states = totalStates;

    std::vector<int> newNumber(n);
    std::iota(newNumber.begin(), newNumber.end(), 0);
    std::shuffle(newNumber.begin(), newNumber.end(), random);
    std::vector<Job> shuffledJobs(n);
    for (int j = 0; j < n; ++j) shuffledJobs[newNumber[j]] = jobs[j];
    for (auto& [from, to] : arcs) from = newNumber[from], to = newNumber[to];
    testing::loadInstance(shuffledJobs, arcs);
    computeTimeWindows();
    topoRelabel();
    EXPECT_EQ(testing::captureOutput(checkPrecGraph), "") << round;
    EXPECT_EQ(orderStrength(), strength) << round;
    EXPECT_EQ(testing::solve(), objective) << round;
    EXPECT_EQ(maxLayerSize, largestLayer) << round;
    EXPECT_EQ(totalStates, states) << round;
  }
}

} // namespace
} // namespace precdp
