// What users rely on: a theorem pass followed by the relabeling never changes the optimum, and
// leaves a relation that is closed, acyclic and numbered topologically.
#include "dp/dp.h"
#include "graph/graph.h"
#include "platform/platform.h"
#include "support.h"
#include "theorems/theorems.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace precdp {
namespace {

using testing::Job;

// Small instances with many ties: p 1..4, weights 0..3, due dates 0..totalP, a hidden
// topological order, arcs with the given chance.
void loadTieInstance(std::mt19937& random, int n, double arcChance) {
  auto draw = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  std::vector<Job> jobs(n);
  int total = 0;
  for (Job& job : jobs) {
    job.p = static_cast<uint16_t>(draw(1, 4));
    job.weight = static_cast<uint16_t>(draw(0, 3));
    total += job.p;
  }
  for (Job& job : jobs) job.dueDate = static_cast<uint16_t>(draw(0, total));
  std::vector<int> position(n);
  std::iota(position.begin(), position.end(), 0);
  std::shuffle(position.begin(), position.end(), random);
  std::bernoulli_distribution arc(arcChance);
  std::vector<std::pair<int, int>> arcs;
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b)
      if (arc(random)) arcs.emplace_back(position[a], position[b]);
  testing::loadInstance(jobs, arcs);
}

// Closed, mirrored, acyclic; heads and tails are the sums of p over the merged sets.
void expectSoundRelation(const std::string& where) {
  const int n = jobCount;
  for (int l = 0; l < n; ++l) {
    uint32_t head = 0, after = 0;
    for (int k = 0; k < n; ++k) {
      ASSERT_EQ(contains(pred[l], k), contains(succ[k], l)) << where;
      ASSERT_FALSE(contains(pred[l], k) && contains(succ[l], k)) << where;
      if (contains(pred[l], k)) {
        head += p[k];
        for (int m = 0; m < n; ++m)
          ASSERT_TRUE(!contains(pred[k], m) || contains(pred[l], m)) << where;
      }
      if (contains(succ[l], k)) after += p[k];
    }
    ASSERT_EQ(earliestStart[l], head) << where << " job " << l;
    ASSERT_EQ(latestEnd[l], totalP - after) << where << " job " << l;
  }
}

TEST(TheoremPassOptimum, PassAndRelabelingKeepTheOptimum) {
  std::mt19937 random(99);
  const double arcChances[] = {0.0, 0.0, 0.1, 0.25, 0.5};
  for (int round = 0; round < 300; ++round) {
    const int n = std::uniform_int_distribution<int>(2, 9)(random);
    const double chance = arcChances[round % 5];
    const uint32_t seed = random();
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      std::mt19937 instanceRandom(seed);
      loadTieInstance(instanceRandom, n, chance);
      const int64_t optimum = testing::bruteForceOptimum();
      computeTimeWindows();
      const uint64_t keyWaits = keyWaitCount();
      const std::string output = testing::captureOutput([&] {
        precTheoremPass(theorem);
        topoRelabel();
        checkPrecGraph();
      });
      const std::string where = "round " + std::to_string(round) + " n " + std::to_string(n) +
                                (theorem == Theorem::kanet ? " kanet" : " emmons");
      EXPECT_EQ(output, "") << where;
      EXPECT_EQ(keyWaitCount(), keyWaits) << where;
      expectSoundRelation(where);
      EXPECT_EQ(testing::solve(), optimum) << where;
      if (::testing::Test::HasFailure()) return;
    }
  }
}

} // namespace
} // namespace precdp
