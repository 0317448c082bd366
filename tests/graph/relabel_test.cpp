// Topological relabeling: the merge of the theorem arcs and the renumbering of sets and values.
// That the results do not depend on the numbering is checked with the optimum.
#include "dp/dp.h"
#include "graph/graph.h"
#include "support.h"
#include "theorems/theorems.h"

#include <gtest/gtest.h>
#include <random>

namespace precdp {
namespace {

using namespace testing;

struct JobValues {
  uint16_t p, dueDate, earlinessWeight, tardinessWeight, earliestStart, latestEnd;
  bool operator==(const JobValues&) const = default;
};

JobValues valuesOf(int j) {
  return {p[j], dueDate[j], earlinessWeight[j], tardinessWeight[j], earliestStart[j], latestEnd[j]};
}

// Random instances up to 120 jobs (so jobs move between the two words), numbered at random, with
// theorem arcs to merge. Jobs are told apart by p = old number + 1: the new relation must be the
// old merged one renumbered, numbered topologically, and every value must move with its job.
TEST(TopoRelabel, RenumbersAcrossTheWordBoundary) {
  std::mt19937 random(42);
  for (int n : {2, 7, 61, 90, 120}) {
    for (double chance : {0.0, 0.03, 0.3}) {
      loadRandomInstance(random, n, chance, {1, 4, 4000, true});
      for (int j = 0; j < n; ++j) p[j] = static_cast<uint16_t>(j + 1);
      totalP = static_cast<uint16_t>(n * (n + 1) / 2);
      computeTimeWindows();
      for (int j = 0; j < n; ++j) earlinessWeight[j] = static_cast<uint16_t>(random() % 9);
      emmonsPrec();
      std::vector<JobSet> merged;
      std::vector<JobValues> old;
      for (int j = 0; j < n; ++j) {
        merged.push_back(unionOf(pred[j], domPred[j]));
        old.push_back(valuesOf(j));
      }
      const JobSet everyJob = allJobs;
      const uint16_t total = totalP;
      topoRelabel();
      const std::string where = "n " + std::to_string(n) + " chance " + std::to_string(chance);
      EXPECT_TRUE(allJobs == everyJob && totalP == total) << where;
      for (int x = 0; x < n; ++x) {
        ASSERT_EQ(valuesOf(x), old[p[x] - 1]) << where << " job " << x;
        for (int y = 0; y < n; ++y) {
          const bool before = contains(merged[p[y] - 1], p[x] - 1);
          ASSERT_EQ(contains(pred[y], x), before) << where << " " << x << " before " << y;
          ASSERT_EQ(contains(succ[x], y), before) << where << " " << x << " before " << y;
          ASSERT_TRUE(!before || x < y) << where << " " << x << " before " << y;
        }
      }
    }
  }
}

} // namespace
} // namespace precdp
