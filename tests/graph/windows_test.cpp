#include "graph/graph.h"
#include "instance/instance.h"
#include "support.h"

#include <bit>
#include <gtest/gtest.h>
#include <random>

namespace precdp {
namespace {

using namespace testing;

int sumOver(const JobSet& set) {
  int sum = 0;
  forEachJob(set, [&](int k) { sum += p[k]; });
  return sum;
}

// Runs computeTimeWindows and checks every window against its definition, and the order
// strength against a count of the ordered pairs.
void expectWindowsMatchDefinitions(const std::string& where) {
  const int n = jobCount;
  computeTimeWindows();
  int ordered = 0;
  for (int i = 0; i < n; ++i) {
    ordered += std::popcount(pred[i].word[0]) + std::popcount(pred[i].word[1]);
    ASSERT_EQ(earliestStart[i], sumOver(pred[i])) << where << " job " << i;
    ASSERT_EQ(latestEnd[i], totalP - sumOver(succ[i])) << where << " job " << i;
    for (int j = 0; j < n; ++j) {
      ASSERT_EQ(pairEarliestStart[i][j], sumOver(unionOf(pred[i], pred[j]))) << where;
      ASSERT_EQ(pairLatestEnd[i][j], totalP - sumOver(unionOf(succ[i], succ[j]))) << where;
    }
  }
  EXPECT_DOUBLE_EQ(orderStrength(), ordered / (n * (n - 1) / 2.0)) << where;
}

std::vector<Job> jobsWithTimes(int n) {
  std::vector<Job> jobs;
  for (int i = 0; i < n; ++i) jobs.push_back({static_cast<uint16_t>(1 + i % 7), 0, 1});
  return jobs;
}

TEST(TimeWindows, MatchTheirDefinitions) {
  // 58 -> 59 -> 60 -> 61 crosses the word boundary, 0 -> 119 spans both words.
  loadInstance(jobsWithTimes(120), {{58, 59}, {59, 60}, {60, 61}, {0, 119}, {119, 60}});
  expectWindowsMatchDefinitions("word boundary");
  std::mt19937 random(11);
  loadRandomInstance(random, 100, 0.05);
  expectWindowsMatchDefinitions("random");
}

} // namespace
} // namespace precdp
