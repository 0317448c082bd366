// The fast pass against the literal definition (pair windows rebuilt after every arc): same arcs
// in the same order, same window values at every arc, same tables and messages at the end.
#include "graph/graph.h"
#include "reference/literal_theorems.h"
#include "support.h"
#include "theorems/theorems.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

namespace precdp {
namespace {

using testing::Job;

struct Tables {
  JobSet pred[maxJobs], succ[maxJobs], domPred[maxJobs], domSucc[maxJobs];
  uint16_t earliestStart[maxJobs], latestEnd[maxJobs];
  uint16_t pairEarliestStart[maxJobs][maxJobs], pairLatestEnd[maxJobs][maxJobs];
};

void save(Tables& t) {
  std::memcpy(t.pred, pred, sizeof pred);
  std::memcpy(t.succ, succ, sizeof succ);
  std::memcpy(t.domPred, domPred, sizeof domPred);
  std::memcpy(t.domSucc, domSucc, sizeof domSucc);
  std::memcpy(t.earliestStart, earliestStart, sizeof earliestStart);
  std::memcpy(t.latestEnd, latestEnd, sizeof latestEnd);
  std::memcpy(t.pairEarliestStart, pairEarliestStart, sizeof pairEarliestStart);
  std::memcpy(t.pairLatestEnd, pairLatestEnd, sizeof pairLatestEnd);
}

void restore(const Tables& t) {
  std::memcpy(pred, t.pred, sizeof pred);
  std::memcpy(succ, t.succ, sizeof succ);
  std::memcpy(domPred, t.domPred, sizeof domPred);
  std::memcpy(domSucc, t.domSucc, sizeof domSucc);
  std::memcpy(earliestStart, t.earliestStart, sizeof earliestStart);
  std::memcpy(latestEnd, t.latestEnd, sizeof latestEnd);
  std::memcpy(pairEarliestStart, t.pairEarliestStart, sizeof pairEarliestStart);
  std::memcpy(pairLatestEnd, t.pairLatestEnd, sizeof pairLatestEnd);
}

// Compares every entry the pass may write (rows and columns below jobCount).
void expectSameTables(const Tables& a, const Tables& b, const std::string& where) {
  const int n = jobCount;
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(where + " job " + std::to_string(i));
    ASSERT_TRUE(a.domPred[i] == b.domPred[i]);
    ASSERT_TRUE(a.domSucc[i] == b.domSucc[i]);
    ASSERT_TRUE(a.pred[i] == b.pred[i] && a.succ[i] == b.succ[i]);
    ASSERT_EQ(a.earliestStart[i], b.earliestStart[i]);
    ASSERT_EQ(a.latestEnd[i], b.latestEnd[i]);
    for (int j = 0; j < n; ++j) {
      ASSERT_EQ(a.pairEarliestStart[i][j], b.pairEarliestStart[i][j]) << "column " << j;
      ASSERT_EQ(a.pairLatestEnd[i][j], b.pairLatestEnd[i][j]) << "column " << j;
    }
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

// A random instance with hidden topological order (arcs go either way in job numbers),
// the given arc chance, and data chosen to produce ties, zero weights and due dates on window
// edges.
void loadNastyInstance(std::mt19937& random, int n, double arcChance) {
  auto draw = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const int maxP = draw(0, 1) ? 5 : 60;
  const int maxWeight = draw(0, 2) == 0 ? 2 : 10;
  std::vector<Job> jobs(n);
  int total = 0;
  for (Job& job : jobs) {
    job.p = static_cast<uint16_t>(draw(1, maxP));
    job.weight = static_cast<uint16_t>(draw(0, maxWeight));
    total += job.p;
  }
  for (Job& job : jobs) job.dueDate = static_cast<uint16_t>(draw(0, total + total / 8));
  std::vector<int> position(n);
  std::iota(position.begin(), position.end(), 0);
  std::shuffle(position.begin(), position.end(), random);
  std::bernoulli_distribution arc(arcChance);
  std::vector<std::pair<int, int>> arcs;
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b)
      if (arc(random)) arcs.emplace_back(position[a], position[b]);
  testing::loadInstance(jobs, arcs);
  computeTimeWindows();
  // Due dates on the edges the rules compare against.
  for (int j = 0; j < n; ++j) {
    const int other = draw(0, n - 1);
    switch (draw(0, 5)) {
    case 0:
      dueDate[j] = latestEnd[other];
      break;
    case 1:
      dueDate[j] = static_cast<uint16_t>(earliestStart[j] + p[j]);
      break;
    case 2:
      dueDate[j] = static_cast<uint16_t>(std::max(0, latestEnd[other] - p[j]));
      break;
    case 3:
      dueDate[j] = dueDate[other];
      break;
    default:
      break;
    }
  }
}

// Runs both passes from the same start and compares everything they leave behind.
void expectPassesAgree(Theorem theorem, const std::string& where) {
  Tables start, literal, fast;
  save(start);
  preparePairSums();
  arcLog.clear();
  windowMismatches = 0;
  const std::string literalOutput = testing::captureOutput([&] {
    reference::literalPrecTheoremPass(theorem == Theorem::kanet ? reference::literalKanetPairRule
                                                                : reference::literalEmmonsPairRule,
                                      recordArcAndCompareWindows);
  });
  const std::vector<std::pair<int, int>> literalArcs = arcLog;
  save(literal);
  EXPECT_EQ(windowMismatches, 0) << where;

  restore(start);
  arcLog.clear();
  theoremArcObserver = recordArc;
  const std::string fastOutput = testing::captureOutput([&] { precTheoremPass(theorem); });
  theoremArcObserver = nullptr;
  save(fast);
  EXPECT_EQ(arcLog, literalArcs) << where;
  EXPECT_EQ(fastOutput, literalOutput) << where;
  expectSameTables(fast, literal, where);
}

TEST(TheoremPassEquality, MatchesLiteralPassOnRandomInstances) {
  std::mt19937 random(20240604);
  const double arcChances[] = {0.0, 0.02, 0.05, 0.1, 0.2, 0.4};
  for (int round = 0; round < 200; ++round) {
    const int n = std::uniform_int_distribution<int>(2, 40)(random);
    const double chance = arcChances[round % 6];
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      std::mt19937 instanceRandom(random());
      loadNastyInstance(instanceRandom, n, chance);
      const std::string where = "round " + std::to_string(round) + " n " + std::to_string(n) +
                                (theorem == Theorem::kanet ? " kanet" : " emmons");
      expectPassesAgree(theorem, where);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(TheoremPassEquality, MatchesLiteralPassAcrossTheWordBoundary) {
  std::mt19937 random(61);
  for (int n : {61, 64}) {
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      loadNastyInstance(random, n, 0.08);
      expectPassesAgree(theorem, "n " + std::to_string(n));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// A cyclic instance (the reader lets it through with "Error! addPrec") goes through the same
// sweep, and both passes agree on it, messages included.
TEST(TheoremPassEquality, MatchesLiteralPassOnCyclicInstances) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    const int n = std::uniform_int_distribution<int>(3, 12)(random);
    loadNastyInstance(random, n, 0.15);
    const int a = std::uniform_int_distribution<int>(0, n - 1)(random);
    const int b = (a + 1 + std::uniform_int_distribution<int>(0, n - 2)(random)) % n;
    testing::captureOutput([&] {
      addPrec(static_cast<int16_t>(a), static_cast<int16_t>(b));
      addPrec(static_cast<int16_t>(b), static_cast<int16_t>(a));
    });
    computeTimeWindows();
    Tables start;
    save(start);
    for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
      restore(start);
      expectPassesAgree(theorem, "cyclic round " + std::to_string(round));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

} // namespace
} // namespace precdp
