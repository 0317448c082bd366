// The sweep, the closure test and the arc insertion on small hand-made instances.
#include "graph/graph.h"
#include "support.h"
#include "theorems/theorems.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

void loadWithWindows(const std::vector<Job>& jobs, const Arcs& arcs = {}) {
  loadInstance(jobs, arcs);
  computeTimeWindows();
  preparePairSums();
}

// Equal jobs satisfy either rule both ways; i-before-j is tried first with i the higher number,
// so each arc runs from the higher number to the lower, and the closure orders all three.
TEST(TheoremPass, EqualJobsAreOrderedFromHigherToLowerNumber) {
  for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
    loadWithWindows({{3, 4, 2}, {3, 4, 2}, {3, 4, 2}});
    precTheoremPass(theorem);
    EXPECT_EQ(domPred[0], setOf({1, 2}));
    EXPECT_EQ(domPred[1], setOf({2}));
    EXPECT_EQ(domSucc[2], setOf({0, 1}));
    EXPECT_EQ(earliestStart[0], 6);
    EXPECT_EQ(latestEnd[2], 3);
    EXPECT_EQ(pairEarliestStart[0][1], 6); // the matrices include the theorem arcs
    EXPECT_EQ(pairLatestEnd[1][2], 3);     // only 2 follows neither
    EXPECT_EQ(pairLatestEnd[1][0], 6);
  }
}

// Jobs: 0 before 1 in the instance. Emmons accepts (1, 2) by E1 but refuses (0, 2): w_0 < w_2
// and d_2 < L_0. The closure (1, 2) tests (0, 2) too, and an arc 0-before-2 from a theorem does
// not exempt it; the same arc in the instance does.
TEST(TheoremPass, ClosureTestExemptsOnlyInstanceArcs) {
  const std::vector<Job> jobs = {{5, 0, 1}, {1, 0, 5}, {2, 1, 3}, {1, 0, 9}};
  loadWithWindows({jobs[0], jobs[1], jobs[2]}, {{0, 1}});
  ASSERT_TRUE(emmonsPairRule(1, 2));
  ASSERT_FALSE(emmonsPairRule(0, 2));
  EXPECT_FALSE(domPairClosure(1, 2, Theorem::emmons));
  DomAddPrec(0, 2);
  ASSERT_TRUE(contains(domPred[2], 0));
  EXPECT_FALSE(domPairClosure(1, 2, Theorem::emmons));

  loadWithWindows({jobs[0], jobs[1], jobs[2]}, {{0, 1}, {0, 2}});
  EXPECT_TRUE(domPairClosure(1, 2, Theorem::emmons));
  // Successors of the second job are tested too: 2 before 3 in the instance, (1, 3) refused.
  loadWithWindows(jobs, {{0, 1}, {0, 2}, {2, 3}});
  ASSERT_FALSE(emmonsPairRule(1, 3));
  EXPECT_FALSE(domPairClosure(1, 2, Theorem::emmons));
}

// Inserting the reverse of a theorem arc closes a cycle: one message and key wait per offending
// pair, (0, 0), (1, 0) and (1, 1), and the arcs are added all the same.
TEST(DomAddPrec, ReportsEachPairThatClosesACycle) {
  loadWithWindows({{2, 0, 1}, {3, 0, 1}});
  EXPECT_EQ(console([] { DomAddPrec(0, 1), DomAddPrec(1, 0); }),
            (Console{"Error! DomAddPrec\nError! DomAddPrec\nError! DomAddPrec\n", 3}));
  EXPECT_TRUE(domPred[0] == setOf({0, 1}) && domPred[1] == setOf({0, 1}));
  EXPECT_EQ(domSucc[0], setOf({0, 1}));
  EXPECT_TRUE(earliestStart[0] == 5 && earliestStart[1] == 5);
  EXPECT_TRUE(latestEnd[0] == 0 && latestEnd[1] == 0);
}

} // namespace
} // namespace precdp
