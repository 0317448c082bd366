// Validation messages: one per offending pair, each with its key wait; nothing for a sound
// relation.
#include "graph/graph.h"
#include "platform/platform.h"
#include "support.h"

#include <gtest/gtest.h>
#include <random>

namespace precdp {
namespace {

using testing::Job;

const std::string cycleMessage = "Error! cycle in precedence graph!\n";
const std::string orderMessage = "Error! not lexicographical-ordered precedence graph!\n";

// Runs the check and returns its output; the key waits must match the messages one for one.
std::string check() {
  const uint64_t keyWaits = keyWaitCount();
  const std::string output = testing::captureOutput(checkPrecGraph);
  EXPECT_EQ(keyWaitCount() - keyWaits, uint64_t(testing::countOf(output, "Error!")));
  return output;
}

TEST(CheckPrecGraph, SoundRelationPrintsNothing) {
  testing::loadInstance({});
  EXPECT_EQ(check(), "");
  std::mt19937 random(4);
  std::vector<std::pair<int, int>> arcs;
  for (int a = 0; a < 120; ++a)
    for (int b = a + 1; b < 120; ++b)
      if (random() % 20 == 0) arcs.emplace_back(a, b);
  testing::loadInstance(std::vector<Job>(120, {1, 0, 1}), arcs);
  EXPECT_EQ(check(), "");
}

TEST(CheckPrecGraph, PredecessorWithHigherNumber) {
  testing::loadInstance({{1, 0, 1}, {1, 0, 1}}, {{1, 0}});
  EXPECT_EQ(check(), orderMessage);
  // Across the word boundary: 60 before 59.
  testing::loadInstance(std::vector<Job>(61, {1, 0, 1}), {{60, 59}});
  EXPECT_EQ(check(), orderMessage);
}

// Two jobs that precede each other: with the closure each is in its own and the other's pred
// and succ, so the pairs (0, 0), (0, 1), (1, 0), (1, 1) all give the cycle message, and none the
// numbering message.
TEST(CheckPrecGraph, TwoJobCycle) {
  for (int first : {0, 59}) {
    testing::loadInstance(std::vector<Job>(first + 2, {1, 0, 1}));
    const int16_t a = static_cast<int16_t>(first), b = static_cast<int16_t>(first + 1);
    testing::captureOutput([&] {
      addPrec(a, b);
      addPrec(b, a);
    });
    EXPECT_EQ(check(), cycleMessage + cycleMessage + cycleMessage + cycleMessage) << first;
  }
}

} // namespace
} // namespace precdp
