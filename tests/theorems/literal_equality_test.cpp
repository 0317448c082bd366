// The fast pass against the literal definition (pair windows rebuilt after every arc): same arcs
// in the same order, same window values at every arc, same tables and messages at the end.
#include "graph/graph.h"
#include "random_instance.h"
#include "reference/literal_theorems.h"
#include "theorems/theorems.h"

#include <cstring>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using testing::draw;

// Every table the pass may write.
struct Table {
  void* data;
  size_t bytes;
};
const Table passTables[] = {{pred, sizeof pred},
                            {succ, sizeof succ},
                            {domPred, sizeof domPred},
                            {domSucc, sizeof domSucc},
                            {earliestStart, sizeof earliestStart},
                            {latestEnd, sizeof latestEnd},
                            {pairEarliestStart, sizeof pairEarliestStart},
                            {pairLatestEnd, sizeof pairLatestEnd}};

std::vector<char> snapshot() {
  std::vector<char> bytes;
  for (const Table& table : passTables) {
    const size_t at = bytes.size();
    bytes.resize(at + table.bytes);
    std::memcpy(bytes.data() + at, table.data, table.bytes);
  }
  return bytes;
}

void restore(const std::vector<char>& bytes) {
  size_t at = 0;
  for (const Table& table : passTables) {
    std::memcpy(table.data, bytes.data() + at, table.bytes);
    at += table.bytes;
  }
}

std::vector<std::pair<int, int>> arcLog;
int windowMismatches = 0;

void recordArc(int a, int b) {
  arcLog.emplace_back(a, b);
}

// After each literal arc the rebuilt matrices must be what the fast pass computes from the sets.
void recordArcAndCompareWindows(int a, int b) {
  arcLog.emplace_back(a, b);
  for (int i = 0; i < jobCount; ++i)
    for (int j = 0; j < jobCount; ++j)
      if (pairEarliestStart[i][j] != pairEarliestStartOf(i, j) ||
          pairLatestEnd[i][j] != pairLatestEndOf(i, j))
        ++windowMismatches;
}

// A shuffled instance, sometimes with a cycle (let through by addPrec with its message), then
// due dates moved onto the window edges the rules compare against.
void loadNastyInstance(std::mt19937& random, int n, double arcChance) {
  testing::loadShuffledInstance(random, n, arcChance, draw(random, 0, 1) ? 5 : 60,
                                draw(random, 0, 2) == 0 ? 2 : 10, n);
  if (draw(random, 0, 9) == 0) {
    const int16_t a = static_cast<int16_t>(draw(random, 0, n - 1));
    const int16_t b = static_cast<int16_t>((a + draw(random, 1, n - 1)) % n);
    testing::captureOutput([&] { addPrec(a, b), addPrec(b, a); });
  }
  computeTimeWindows();
  for (int j = 0; j < n; ++j) {
    const int other = draw(random, 0, n - 1);
    const uint16_t edges[] = {latestEnd[other],
                              static_cast<uint16_t>(earliestStart[j] + p[j]),
                              static_cast<uint16_t>(std::max(0, latestEnd[other] - p[j])),
                              dueDate[other],
                              dueDate[j],
                              dueDate[j]};
    dueDate[j] = edges[draw(random, 0, 5)];
  }
}

// Runs both passes from the same start and compares everything they leave behind.
void expectPassesAgree(Theorem theorem, const std::string& where) {
  const std::vector<char> start = snapshot();
  preparePairSums();
  arcLog.clear();
  windowMismatches = 0;
  const std::string literalOutput = testing::captureOutput([&] {
    reference::literalPrecTheoremPass(theorem == Theorem::kanet ? reference::literalKanetPairRule
                                                                : reference::literalEmmonsPairRule,
                                      recordArcAndCompareWindows);
  });
  const std::vector<std::pair<int, int>> literalArcs = arcLog;
  const std::vector<char> literal = snapshot();
  EXPECT_EQ(windowMismatches, 0) << where;

  restore(start);
  arcLog.clear();
  theoremArcObserver = recordArc;
  const std::string fastOutput = testing::captureOutput([&] { precTheoremPass(theorem); });
  theoremArcObserver = nullptr;
  EXPECT_EQ(arcLog, literalArcs) << where;
  EXPECT_EQ(fastOutput, literalOutput) << where;
  EXPECT_TRUE(snapshot() == literal) << where << ": tables differ";
}

TEST(TheoremPassEquality, MatchesLiteralPassOnRandomInstances) {
  std::mt19937 random(20240604);
  const double arcChances[] = {0.0, 0.02, 0.05, 0.1, 0.2, 0.4};
  for (int round = 0; round < 150; ++round) {
    const int n = draw(random, 2, 40);
    const uint32_t seed = random();
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      std::mt19937 instanceRandom(seed);
      loadNastyInstance(instanceRandom, n, arcChances[round % 6]);
      expectPassesAgree(theorem, "round " + std::to_string(round) +
                                     (theorem == Theorem::kanet ? " kanet" : " emmons"));
      if (HasFailure()) return;
    }
  }
}

TEST(TheoremPassEquality, MatchesLiteralPassAcrossTheWordBoundary) {
  std::mt19937 random(61);
  for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
    loadNastyInstance(random, 62, 0.08);
    expectPassesAgree(theorem, theorem == Theorem::kanet ? "kanet" : "emmons");
  }
}

} // namespace
} // namespace precdp
