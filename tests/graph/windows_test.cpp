#include "graph/graph.h"
#include "instance/instance.h"
#include "support.h"

#include <bit>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace precdp {
namespace {

using testing::Job;

// Window sums straight from their definitions, over explicit job lists.
int sumOver(const JobSet& set, int n) {
  int sum = 0;
  for (int k = 0; k < n; ++k)
    if (contains(set, k)) sum += p[k];
  return sum;
}

void expectWindowsMatchDefinitions() {
  const int n = jobCount;
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(earliestStart[i], sumOver(pred[i], n)) << i;
    ASSERT_EQ(latestEnd[i], totalP - sumOver(succ[i], n)) << i;
    for (int j = 0; j < n; ++j) {
      ASSERT_EQ(pairEarliestStart[i][j], sumOver(unionOf(pred[i], pred[j]), n)) << i << "," << j;
      ASSERT_EQ(pairLatestEnd[i][j], totalP - sumOver(unionOf(succ[i], succ[j]), n))
          << i << "," << j;
    }
  }
}

std::vector<Job> jobsWithTimes(int n) {
  std::vector<Job> jobs;
  for (int i = 0; i < n; ++i) jobs.push_back({static_cast<uint16_t>(1 + i % 7), 0, 1});
  return jobs;
}

TEST(TimeWindows, WithoutArcsEveryWindowIsTheWholeSchedule) {
  testing::loadInstance(jobsWithTimes(30));
  computeTimeWindows();
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(earliestStart[i], 0);
    EXPECT_EQ(latestEnd[i], totalP);
    for (int j = 0; j < 30; ++j) {
      ASSERT_EQ(pairEarliestStart[i][j], 0);
      ASSERT_EQ(pairLatestEnd[i][j], totalP);
    }
  }
  EXPECT_EQ(orderStrength(), 0.0);
}

TEST(TimeWindows, ChainHeadsAndTailsArePrefixSums) {
  const int n = 12;
  std::vector<std::pair<int, int>> chain;
  for (int i = 0; i + 1 < n; ++i) chain.emplace_back(i, i + 1);
  testing::loadInstance(jobsWithTimes(n), chain);
  computeTimeWindows();
  int before = 0;
  for (int j = 0; j < n; ++j) {
    EXPECT_EQ(earliestStart[j], before) << j;
    before += p[j];
    EXPECT_EQ(latestEnd[j], before) << j;
  }
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      EXPECT_EQ(pairEarliestStart[i][j], earliestStart[j]);
      EXPECT_EQ(pairEarliestStart[j][i], earliestStart[j]);
      EXPECT_EQ(pairLatestEnd[i][j], latestEnd[i]);
      EXPECT_EQ(pairLatestEnd[j][i], latestEnd[i]);
    }
  EXPECT_EQ(orderStrength(), 1.0);
}

TEST(TimeWindows, JobsOnBothSidesOfTheWordBoundaryCountLikeAnyOther) {
  // 120 jobs; 58 -> 59 -> 60 -> 61 crosses the word boundary, 0 -> 119 spans both words.
  testing::loadInstance(jobsWithTimes(120), {{58, 59}, {59, 60}, {60, 61}, {0, 119}, {119, 60}});
  computeTimeWindows();
  EXPECT_EQ(earliestStart[61], p[58] + p[59] + p[60] + p[0] + p[119]);
  EXPECT_EQ(latestEnd[58], totalP - (p[59] + p[60] + p[61]));
  EXPECT_EQ(pairEarliestStart[59][119], p[58] + p[0]);
  EXPECT_EQ(pairLatestEnd[0][59], totalP - (p[119] + p[60] + p[61]));
  expectWindowsMatchDefinitions();
  // Ordered pairs: pred[59] = {58}, pred[60] = {0, 58, 59, 119}, pred[61] adds 60, pred[119] = {0}.
  EXPECT_DOUBLE_EQ(orderStrength(), 11.0 / (120 * 119 / 2));
}

TEST(TimeWindows, RandomRelationsMatchTheDefinitionsAndLeaveOtherEntriesAlone) {
  std::mt19937 random(11);
  for (int round = 0; round < 6; ++round) {
    const int n = 20 + 20 * round; // up to 120
    testing::loadRandomInstance(random, n, 0.05);
    // Entries outside the instance keep whatever the reset left; mark them to see.
    for (int i = 0; i < maxJobs; ++i)
      for (int j = 0; j < maxJobs; ++j)
        if (i >= n || j >= n) pairEarliestStart[i][j] = pairLatestEnd[i][j] = 4321;
    computeTimeWindows();
    expectWindowsMatchDefinitions();
    for (int i = 0; i < maxJobs; ++i)
      for (int j = 0; j < maxJobs; ++j) {
        if (i < n && j < n) continue;
        ASSERT_TRUE(pairEarliestStart[i][j] == 4321 && pairLatestEnd[i][j] == 4321);
      }
    int ordered = 0;
    for (int i = 0; i < n; ++i)
      ordered += static_cast<int>(std::popcount(pred[i].word[0]) + std::popcount(pred[i].word[1]));
    EXPECT_DOUBLE_EQ(orderStrength(), ordered / (n * (n - 1) / 2.0));
  }
}

TEST(TimeWindows, CycleCountsInTheHeadAlone) {
  std::vector<Job> jobs = {{2, 0, 1}, {3, 0, 1}, {5, 0, 1}};
  testing::captureOutput([&] { testing::loadInstance(jobs, {{0, 1}, {1, 0}}); });
  computeTimeWindows();
  // 0 and 1 are in both pred[0] and succ[0]: both count in the head, neither in the tail.
  EXPECT_EQ(earliestStart[0], 5);
  EXPECT_EQ(latestEnd[0], totalP);
  EXPECT_EQ(earliestStart[2], 0);
}

TEST(OrderStrength, FewerThanTwoJobsIsNotANumber) {
  testing::loadInstance({});
  computeTimeWindows();
  EXPECT_TRUE(std::isnan(orderStrength()));
  testing::loadInstance({{4, 0, 1}});
  pairEarliestStart[0][1] = pairLatestEnd[1][0] = 77;
  computeTimeWindows();
  EXPECT_EQ(earliestStart[0], 0);
  EXPECT_EQ(latestEnd[0], 4);
  EXPECT_EQ(pairLatestEnd[0][0], 4);
  EXPECT_EQ(pairEarliestStart[0][1], 77);
  EXPECT_EQ(pairLatestEnd[1][0], 77);
  EXPECT_TRUE(std::isnan(orderStrength()));
}

} // namespace
} // namespace precdp
