// What users rely on: a theorem pass followed by the relabeling never changes the optimum, and
// leaves a relation without cycles, numbered topologically.
#include "graph/graph.h"
#include "support.h"
#include "theorems/theorems.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

TEST(TheoremPassOptimum, PassAndRelabelingKeepTheOptimum) {
  std::mt19937 random(99);
  const double arcChances[] = {0.0, 0.0, 0.1, 0.25, 0.5};
  for (int round = 0; round < 200; ++round) {
    const int n = draw(random, 2, 9);
    const uint32_t seed = random();
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      std::mt19937 instanceRandom(seed);
      loadRandomInstance(instanceRandom, n, arcChances[round % 5], {4, 3, 0, true});
      const int64_t optimum = bruteForceOptimum();
      computeTimeWindows();
      const std::string where =
          "round " + std::to_string(round) + (theorem == Theorem::kanet ? " kanet" : " emmons");
      EXPECT_EQ(console([&] {
                  precTheoremPass(theorem);
                  topoRelabel();
                  checkPrecGraph();
                }),
                Console{})
          << where;
      EXPECT_EQ(solve(), optimum) << where;
      if (HasFailure()) return;
    }
  }
}

} // namespace
} // namespace precdp
