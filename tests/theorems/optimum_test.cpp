// What users rely on: the optimum is the least cost over all sequences, and neither the
// numbering of the jobs nor a theorem pass with the relabeling changes it. The relabeling alone
// also keeps the order strength and the DP's state counts.
#include "dp/dp.h"
#include "graph/graph.h"
#include "support.h"
#include "theorems/theorems.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

TEST(Optimum, ExhaustiveSearchAndEveryPassAfterARandomNumberingAgree) {
  std::mt19937 random(99);
  const double arcChances[] = {0.0, 0.0, 0.1, 0.25, 0.5};
  for (int round = 0; round < 200; ++round) {
    const int n = draw(random, 1, 9);
    const uint32_t seed = random();
    const RandomShape shape{round % 2 ? 4 : 9, 3};
    std::mt19937 original(seed);
    loadRandomInstance(original, n, arcChances[round % 5], shape);
    const int64_t optimum = bruteForceOptimum();
    ASSERT_EQ(solve(), optimum) << "round " << round;
    const double strength = orderStrength();
    const uint32_t largestLayer = maxLayerSize;
    const uint64_t states = totalStates;
    for (int pass : {0, 1, 2}) {
      std::mt19937 renumbered(seed);
      loadRandomInstance(renumbered, n, arcChances[round % 5], {shape.maxP, 3, 0, true});
      computeTimeWindows();
      const std::string where = "round " + std::to_string(round) + " pass " + std::to_string(pass);
      EXPECT_EQ(console([&] {
                  if (pass > 0) precTheoremPass(pass == 1 ? Theorem::kanet : Theorem::emmons);
                  topoRelabel();
                  checkPrecGraph();
                }),
                Console{})
          << where;
      EXPECT_EQ(solve(), optimum) << where;
      if (pass == 0) {
        EXPECT_TRUE(n < 2 || orderStrength() == strength) << where;
        EXPECT_TRUE(maxLayerSize == largestLayer && totalStates == states) << where;
      }
      if (HasFailure()) return;
    }
  }
}

} // namespace
} // namespace precdp
