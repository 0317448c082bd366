// The pair rules: each Kanet condition at its boundary, the zero-weight and NaN behaviour, exact
// integer forms, and both rules against their literal transcriptions on random tables.
#include "reference/literal_theorems.h"
#include "support.h"
#include "theorems/theorems.h"

#include <gtest/gtest.h>
#include <random>

namespace precdp {
namespace {

struct Case {
  const char* name;
  KanetPair pair; // pi, pj, wi, wj, di, dj, rj, Li, B, A
  bool accepted;
};

// Each condition accepting with equality, some refused once their bound is missed by one unit
// (all other conditions failing), worked out by hand. The random comparison below covers the
// other near misses.
const Case kanetBoundaryCases[] = {
    {"K1 equal due dates", {1, 2, 3, 2, 7, 7, 500, 0, 900, 0}, true},
    {"K2 equality", {1, 2, 4, 2, 15, 10, 0, 100, 17, 0}, true},
    {"K3 equality", {1, 2, 4, 2, 12, 10, 18, 100, 1, 0}, true},
    {"K4 F equality", {1, 3, 1, 2, 10, 15, 0, 20, 0, 11}, true},
    {"K4 F2 equality", {1, 3, 1, 2, 10, 16, 0, 20, 0, 15}, true},
    {"K5 equality", {6, 8, 1, 2, 16, 5, 10, 20, 0, 8}, true},
    {"K5 second part missed", {7, 8, 1, 2, 16, 5, 10, 20, 0, 8}, false},
    {"K6 equality", {5, 4, 2, 1, 8, 6, 0, 14, 1, 0}, true},
    // G = -11/3 + 20/3 is 3 exactly but 3.0000000000000004 as two divisions: d_j = 3 fails.
    {"K6 two divisions", {3, 2, 4, 3, 5, 3, 0, 5, 6, 0}, false},
    {"K6 two divisions, one more", {3, 2, 4, 3, 5, 4, 0, 5, 6, 0}, true},
    {"K7 equality", {5, 4, 2, 1, 10, 9, 6, 18, 1, 0}, true},
    {"K7 first part missed", {5, 4, 2, 1, 11, 9, 6, 18, 1, 0}, false},
    {"K8 H equality", {5, 4, 1, 2, 10, 18, 0, 20, 0, 0}, true},
    {"K8 F equality", {5, 4, 1, 2, 18, 19, 0, 20, 0, 0}, true},
    {"K9 equality", {5, 4, 1, 2, 100, 20, 0, 20, 0, 0}, true},
    // d_i * w_i = 3.6e9 leaves the signed 32-bit range; wrapped, F would turn negative and K4
    // would accept.
    {"K4 product beyond 32 bits", {1, 5, 60000, 60001, 60000, 59000, 0, 60000, 0, 5}, false},
    // Zero weights: 0/0 is NaN and fails K2, K3, K6, K7; with w_j zero alone K2 reduces to
    // T >= d_i (T = 20 here) and K6 to NaN.
    {"both weights zero", {1, 2, 0, 0, 15, 10, 0, 100, 17, 0}, false},
    {"w_j zero, K2 equality", {1, 2, 2, 0, 20, 10, 0, 100, 17, 0}, true},
    {"w_i zero, K4 and K8 as K9", {1, 3, 0, 2, 10, 19, 0, 20, 0, 11}, false},
};

// E1 takes r_j + p_j when it exceeds d_j; E2 compares d_j with L_i - p_j signed (L_i < p_j
// below); E3 accepts d_j = L_i exactly.
const Case emmonsCases[] = {
    {"E1 completion of j", {3, 4, 2, 1, 12, 5, 8, 30, 0, 0}, true},
    {"E2 equality", {5, 4, 2, 1, 0, 6, 0, 10, 0, 0}, true},
    {"E2 missed", {5, 4, 2, 1, 0, 5, 0, 10, 0, 0}, false},
    {"E2 negative bound", {5, 4, 2, 1, 0, 1, 0, 2, 0, 0}, true},
    {"E3 equality", {3, 4, 1, 2, 13, 30, 8, 30, 0, 0}, true},
};

// Loads the pair into jobs 0 (i) and 1 (j) of the tables, for the table-reading rules.
void loadPair(const KanetPair& pair) {
  testing::loadInstance({{pair.pi, pair.di, pair.wi}, {pair.pj, pair.dj, pair.wj}});
  earliestStart[1] = pair.rj;
  latestEnd[0] = pair.Li;
  pairEarliestStart[0][1] = pair.pairStart;
  pairLatestEnd[0][1] = pair.pairEnd;
}

TEST(PairRules, EachConditionAtItsBoundary) {
  for (const Case& c : kanetBoundaryCases) {
    EXPECT_EQ(kanetRule(c.pair), c.accepted) << c.name;
    loadPair(c.pair);
    EXPECT_EQ(kanetPairRule(0, 1), c.accepted) << c.name << " (tables)";
    EXPECT_EQ(reference::literalKanetPairRule(0, 1), c.accepted) << c.name << " (literal)";
  }
  for (const Case& c : emmonsCases) {
    loadPair(c.pair);
    EXPECT_EQ(emmonsPairRule(0, 1), c.accepted) << c.name;
    EXPECT_EQ(reference::literalEmmonsPairRule(0, 1), c.accepted) << c.name << " (literal)";
  }
}

// Both table-reading rules against independent literal transcriptions, on tables filled with
// values of every size (ties, zeros, 16-bit extremes).
TEST(PairRules, AgreeWithLiteralTranscription) {
  std::mt19937 random(17);
  const int ranges[] = {3, 12, 200, 65535};
  for (int round = 0; round < 40000; ++round) {
    const auto value = [&] { return static_cast<uint16_t>(random() % (ranges[round % 4] + 1)); };
    const KanetPair pair{value(), value(), value(), value(), value(),
                         value(), value(), value(), value(), value()};
    loadPair(pair);
    pairEarliestStart[1][0] = pair.pairStart; // the (j, i) direction reads the same cells
    pairLatestEnd[1][0] = pair.pairEnd;
    earliestStart[0] = pair.Li; // and the other job's head and tail
    latestEnd[1] = pair.rj;
    for (auto [i, j] : {std::pair{0, 1}, std::pair{1, 0}}) {
      EXPECT_EQ(kanetPairRule(i, j), reference::literalKanetPairRule(i, j)) << round;
      EXPECT_EQ(emmonsPairRule(i, j), reference::literalEmmonsPairRule(i, j)) << round;
    }
  }
}

} // namespace
} // namespace precdp
