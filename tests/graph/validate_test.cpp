// Validation messages: one per offending pair, each with its key wait; nothing for a sound
// relation (the theorem and relabeling tests check that on random instances).
#include "graph/graph.h"
#include "support.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

const std::string cycle = "Error! cycle in precedence graph!\n";
const std::string order = "Error! not lexicographical-ordered precedence graph!\n";

// A predecessor with a higher number, also across the word boundary (60 before 59). Two jobs
// that precede each other: with the closure each is in its own and the other's pred and succ, so
// the pairs (0, 0), (0, 1), (1, 0), (1, 1) all give the cycle message, and none the other.
TEST(CheckPrecGraph, MessagesOfTheTwoJobCases) {
  struct Case {
    int n;
    Arcs arcs;
    Console expected;
  };
  const Case cases[] = {{2, {{0, 1}}, {}},
                        {2, {{1, 0}}, {order, 1}},
                        {61, {{60, 59}}, {order, 1}},
                        {2, {{0, 1}, {1, 0}}, {cycle + cycle + cycle + cycle, 4}},
                        {61, {{59, 60}, {60, 59}}, {cycle + cycle + cycle + cycle, 4}}};
  for (const Case& c : cases) {
    console([&] { loadInstance(std::vector<Job>(c.n, {1, 0, 1}), c.arcs); });
    EXPECT_EQ(console(checkPrecGraph), c.expected) << c.n << " jobs, " << c.arcs.size() << " arcs";
  }
}

} // namespace
} // namespace precdp
