// The fast pass against the literal definition (pair windows rebuilt after every arc): same arcs
// in the same order, same window values at every arc, same tables and messages at the end.
#include "graph/graph.h"
#include "reference/literal_theorems.h"
#include "support.h"
#include "theorems/theorems.h"

#include <cstring>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// Every table the pass may write.
const std::pair<void*, size_t> passTables[] = {{pred, sizeof pred},
                                               {succ, sizeof succ},
                                               {domPred, sizeof domPred},
                                               {domSucc, sizeof domSucc},
                                               {earliestStart, sizeof earliestStart},
                                               {latestEnd, sizeof latestEnd},
                                               {pairEarliestStart, sizeof pairEarliestStart},
                                               {pairLatestEnd, sizeof pairLatestEnd}};

std::vector<char> snapshot() {
  std::vector<char> bytes;
  for (auto [data, size] : passTables)
    bytes.insert(bytes.end(), static_cast<char*>(data), static_cast<char*>(data) + size);
  return bytes;
}

void restore(const std::vector<char>& bytes) {
  const char* at = bytes.data();
  for (auto [data, size] : passTables) std::memcpy(data, at, size), at += size;
}

Arcs arcLog;
int windowMismatches = 0;

// After each literal arc the rebuilt matrices must be what the fast pass computes from the sets.
void recordArcAndCompareWindows(int a, int b) {
  arcLog.emplace_back(a, b);
  for (int i = 0; i < jobCount; ++i)
    for (int j = 0; j < jobCount; ++j)
      windowMismatches += pairEarliestStart[i][j] != pairEarliestStartOf(i, j) ||
                          pairLatestEnd[i][j] != pairLatestEndOf(i, j);
}

// A shuffled instance, sometimes with a cycle (let through by addPrec with its message), then
// due dates moved onto the window edges the rules compare against.
void loadNastyInstance(std::mt19937& random, int n, double arcChance) {
  loadRandomInstance(random, n, arcChance,
                     {draw(random, 0, 1) ? 5 : 60, draw(random, 0, 2) == 0 ? 2 : 10, n, true});
  if (draw(random, 0, 9) == 0) {
    const int16_t a = static_cast<int16_t>(draw(random, 0, n - 1));
    const int16_t b = static_cast<int16_t>((a + draw(random, 1, n - 1)) % n);
    console([&] { addPrec(a, b), addPrec(b, a); });
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
  const Console literalOutput = console([&] {
    reference::literalPrecTheoremPass(theorem == Theorem::kanet ? reference::literalKanetPairRule
                                                                : reference::literalEmmonsPairRule,
                                      recordArcAndCompareWindows);
  });
  const Arcs literalArcs = arcLog;
  const std::vector<char> literal = snapshot();
  EXPECT_EQ(windowMismatches, 0) << where;

  restore(start);
  arcLog.clear();
  theoremArcObserver = [](int a, int b) { arcLog.emplace_back(a, b); };
  EXPECT_EQ(console([&] { precTheoremPass(theorem); }), literalOutput) << where;
  theoremArcObserver = nullptr;
  EXPECT_EQ(arcLog, literalArcs) << where;
  EXPECT_TRUE(snapshot() == literal) << where << ": tables differ";
}

// n up to 40, and once 62 so that jobs sit on both sides of the word boundary.
TEST(TheoremPassEquality, MatchesLiteralPassOnRandomInstances) {
  std::mt19937 random(20240604);
  const double arcChances[] = {0.0, 0.02, 0.05, 0.1, 0.2, 0.4};
  for (int round = 0; round < 150; ++round) {
    const int n = round == 0 ? 62 : draw(random, 2, 40);
    const uint32_t seed = random();
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      std::mt19937 instanceRandom(seed);
      loadNastyInstance(instanceRandom, n, round == 0 ? 0.08 : arcChances[round % 6]);
      expectPassesAgree(theorem, "round " + std::to_string(round) +
                                     (theorem == Theorem::kanet ? " kanet" : " emmons"));
      if (HasFailure()) return;
    }
  }
}

} // namespace
} // namespace precdp
