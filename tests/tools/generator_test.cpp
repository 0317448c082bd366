#include "gen/generator.h"
#include "graph/graph.h"
#include "instance/instance.h"
#include "support.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace precdp {
namespace {

namespace fs = std::filesystem;
using namespace gen;

// The closure of a list of arcs, computed on its own: closed[a][b] when a must precede b.
std::vector<std::vector<bool>> closureOf(int n, const std::vector<std::pair<int, int>>& arcs) {
  std::vector<std::vector<bool>> closed(n, std::vector<bool>(n, false));
  for (auto [a, b] : arcs) closed[a][b] = true;
  for (int k = 0; k < n; ++k)
    for (int a = 0; a < n; ++a)
      if (closed[a][k])
        for (int b = 0; b < n; ++b)
          if (closed[k][b]) closed[a][b] = true;
  return closed;
}

int orderedPairsOf(const std::vector<std::vector<bool>>& closed) {
  int count = 0;
  for (const auto& row : closed)
    for (bool ordered : row) count += ordered;
  return count;
}

double classTolerance(int n) { // nearest pair count: half a pair of n(n-1)/2
  return 0.5 / (n * (n - 1) / 2) + 1e-12;
}

TEST(Generator, DueDateParametersFollowTheInstanceNumber) {
  // Five instances per (TF, RDD) pair; TF cycles every 25 instances, RDD steps every 25.
  const int expected[][3] = {{1, 1, 1},  {5, 1, 1},  {6, 2, 1},   {21, 5, 1},
                             {25, 5, 1}, {26, 1, 2}, {100, 5, 4}, {125, 5, 5}};
  for (const auto& [k, tf, rdd] : expected) {
    EXPECT_EQ(tardinessFactorFifths(k), tf) << k;
    EXPECT_EQ(dueDateRangeFifths(k), rdd) << k;
  }
  EXPECT_EQ(targetOrderedPairs(40, 0.005), 4); // 3.9 pairs
  EXPECT_EQ(targetOrderedPairs(20, 0.8), 152);
  EXPECT_EQ(targetOrderedPairs(1, 0.5), 0);
  EXPECT_EQ(targetOrderedPairs(120, 1.0), 7140);
}

TEST(Generator, RelationReachesTheTargetWithDirectArcsInTopologicalNumbering) {
  // Small relations often need the last pairs added one at a time; try many of them.
  for (int n : {2, 3, 4, 5, 7, 20, 50, 120})
    for (double os : {0.0, 0.005, 0.1, 0.4, 0.7, 0.8, 1.0})
      for (int k = 1; k <= (n < 10 ? 25 : 1); ++k) {
        const GeneratedInstance instance = generateInstance({}, Family::standard, n, os, k);
        const auto closed = closureOf(n, instance.arcs);
        ASSERT_EQ(orderedPairsOf(closed), targetOrderedPairs(n, os)) << n << " " << os << " " << k;
        EXPECT_EQ(instance.orderedPairs, targetOrderedPairs(n, os));
        EXPECT_TRUE(std::is_sorted(instance.arcs.begin(), instance.arcs.end()));
        for (auto [a, b] : instance.arcs) {
          ASSERT_LT(a, b) << "not numbered topologically";
          for (int c = 0; c < n; ++c)
            ASSERT_FALSE(closed[a][c] && closed[c][b]) << a << "->" << b << " implied via " << c;
        }
      }
}

TEST(Generator, RedundantAndShuffledVariantsKeepTheOrderStrength) {
  GeneratorSettings redundant;
  redundant.redundantArcs = true;
  const GeneratedInstance all = generateInstance(redundant, Family::standard, 40, 0.4, 3);
  EXPECT_EQ(static_cast<int>(all.arcs.size()), targetOrderedPairs(40, 0.4)); // every pair listed
  EXPECT_EQ(orderedPairsOf(closureOf(40, all.arcs)), targetOrderedPairs(40, 0.4));

  GeneratorSettings shuffled;
  shuffled.shuffledNumbering = true;
  const GeneratedInstance mixed = generateInstance(shuffled, Family::standard, 60, 0.6, 3);
  const auto closed = closureOf(60, mixed.arcs);
  EXPECT_EQ(orderedPairsOf(closed), targetOrderedPairs(60, 0.6));
  bool backwardArc = false;
  for (int a = 0; a < 60; ++a) {
    ASSERT_FALSE(closed[a][a]) << "cycle through " << a;
    for (int b = 0; b < a; ++b) backwardArc = backwardArc || closed[a][b];
  }
  EXPECT_TRUE(backwardArc);
}

TEST(Generator, JobDataStayInTheirRanges) {
  int64_t sumP = 0, jobs = 0, zeroDueDates = 0;
  for (int k = 1; k <= 125; k += 4) {
    const GeneratedInstance instance = generateInstance({}, Family::standard, 60, 0.2, k);
    ASSERT_EQ(static_cast<int>(instance.jobs.size()), 60);
    int total = 0;
    for (const GeneratedJob& job : instance.jobs) total += job.p;
    const double tf = 0.2 * tardinessFactorFifths(k), rdd = 0.2 * dueDateRangeFifths(k);
    for (const GeneratedJob& job : instance.jobs) {
      ASSERT_TRUE(job.p >= 1 && job.p <= 100);
      ASSERT_TRUE(job.earlinessWeight >= 1 && job.earlinessWeight <= 10);
      ASSERT_TRUE(job.tardinessWeight >= 1 && job.tardinessWeight <= 10);
      ASSERT_GE(job.dueDate, std::max(0.0, std::floor(total * (1 - tf - rdd / 2) - 1e-6))) << k;
      ASSERT_LE(job.dueDate, total * (1 - tf + rdd / 2) + 1e-6) << k;
      sumP += job.p;
      ++jobs;
      zeroDueDates += job.dueDate == 0;
    }
  }
  EXPECT_NEAR(double(sumP) / jobs, 50.5, 3.0);
  EXPECT_GT(zeroDueDates, 0); // TF 1 puts the whole range at or below 0, clipped
}

TEST(Generator, DataDependOnlyOnTheirOwnClassAndSeed) {
  auto same = [](const GeneratedInstance& a, const GeneratedInstance& b) {
    return standardFileText(a) == standardFileText(b);
  };
  const GeneratedInstance first = generateInstance({}, Family::standard, 40, 0.4, 7);
  EXPECT_TRUE(same(first, generateInstance({}, Family::standard, 40, 0.4, 7)));
  EXPECT_FALSE(same(first, generateInstance({}, Family::standard, 40, 0.4, 8)));
  EXPECT_FALSE(same(first, generateInstance({}, Family::standard, 40, 0.6, 7)));
  EXPECT_FALSE(same(first, generateInstance({.seed = 2}, Family::standard, 40, 0.4, 7)));

  // Every order strength of a Velmar size shares the job file, not the relation.
  const GeneratedInstance low = generateInstance({}, Family::velmar, 50, 0.005, 7);
  const GeneratedInstance high = generateInstance({}, Family::velmar, 50, 0.2, 7);
  EXPECT_EQ(velmarJobFileText(low), velmarJobFileText(high));
  EXPECT_NE(velmarPrecedenceFileText(low), velmarPrecedenceFileText(high));
  EXPECT_NE(velmarJobFileText(low),
            velmarJobFileText(generateInstance({}, Family::velmar, 50, 0.2, 8)));
}

TEST(Generator, LoadedInstanceHasTheClassOrderStrength) {
  for (double os : {0.2, 0.8}) {
    const GeneratedInstance instance = generateInstance({}, Family::standard, 120, os, 42);
    loadGeneratedInstance(instance);
    EXPECT_EQ(jobCount, 120);
    EXPECT_NEAR(orderStrength(), os, classTolerance(120));
    int total = 0;
    for (const GeneratedJob& job : instance.jobs) total += job.p;
    EXPECT_EQ(totalP, total);
    EXPECT_EQ(dueDate[119], instance.jobs[119].dueDate);
  }
}

TEST(GeneratorTree, FilesReadBackAsTheirClass) {
  testing::ScratchDirectory scratch;
  TreePlan plan;
  plan.nValues = {20, 40};
  plan.osValues = {0, 0.2};
  plan.count = 3;
  TreeSummary summary;
  std::string error;
  ASSERT_TRUE(writeTree(plan, summary, error)) << error;
  // Standard 2 n x 2 OS x 3; Velmar 2 x 3 job files and 2 x 3 precedence files (none for OS 0).
  EXPECT_EQ(summary.files, 12 + 6 + 6);
  EXPECT_FALSE(fs::exists(velmarPrecedencePath(2, 20, 0, 1)));
  for (int n : plan.nValues)
    for (double os : plan.osValues)
      for (int k = 1; k <= plan.count; ++k) {
        nVal = static_cast<uint16_t>(n);
        osVal = os;
        for (Family family : {Family::standard, Family::velmar}) {
          resetInstance();
          const bool read =
              family == Family::standard ? readStandardInstance(k) : readVelmarInstance(k);
          ASSERT_TRUE(read) << n << " " << os << " " << k;
          EXPECT_EQ(jobCount, n);
          EXPECT_NEAR(orderStrength(), os, classTolerance(n));
          const GeneratedInstance instance = generateInstance({}, family, n, os, k);
          for (int i = 0; i < n; ++i) {
            ASSERT_EQ(p[i], instance.jobs[i].p);
            ASSERT_EQ(dueDate[i], instance.jobs[i].dueDate);
            ASSERT_EQ(earlinessWeight[i], instance.jobs[i].earlinessWeight);
            ASSERT_EQ(tardinessWeight[i], instance.jobs[i].tardinessWeight);
          }
        }
      }
  for (auto [n, deviation] : summary.maxOsDeviation) EXPECT_LE(deviation, classTolerance(n));
}

// ---- The executable ---------------------------------------------------------------------------
int runGenerator(const std::string& arguments) {
  const std::string command =
      std::string("\"") + PRECDP_BUILD_DIR + "/precdp-gen\" " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> filesBelow(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root).string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(GeneratorProgram, DefaultTreeHoldsEveryClassAndContainsTheSmallRunsBytes) {
  testing::ScratchDirectory scratch;
  ASSERT_EQ(runGenerator(""), 0);
  const std::vector<std::string> tree = filesBelow(".");
  // Standard 6 n x 5 OS x 125; Velmar 3 n x 125 job files and 3 n x 6 OS x 125 precedence files.
  EXPECT_EQ(tree.size(), 3750u + 375u + 2250u);
  for (const std::string& path :
       {standardInstancePath(20, 0, 1), standardInstancePath(120, 0.8, 125),
        velmarJobPath(100, 125), velmarPrecedencePath(2, 40, 0.005, 1),
        velmarPrecedencePath(2, 100, 0.2, 125)})
    EXPECT_TRUE(fs::exists(path)) << path;

  ASSERT_EQ(runGenerator("--root small --family standard --n 20 --os 0.8 --count 3"), 0);
  ASSERT_EQ(runGenerator("--root velmar --family velmar --n 50 --os 0.02 --count 2 --seed 1"), 0);
  ASSERT_EQ(runGenerator("--root other --n 20 --os 0.8 --count 3 --seed 2"), 0);
  const std::vector<std::string> small = filesBelow("small");
  ASSERT_EQ(small.size(), 3u);
  for (const std::string& path : small) {
    EXPECT_EQ(testing::readTextFile("small/" + path), testing::readTextFile(path)) << path;
    EXPECT_NE(testing::readTextFile("other/" + path), testing::readTextFile(path)) << path;
  }
  const std::vector<std::string> velmar = filesBelow("velmar");
  ASSERT_EQ(velmar.size(), 4u); // two job files, two precedence files
  for (const std::string& path : velmar)
    EXPECT_EQ(testing::readTextFile("velmar/" + path), testing::readTextFile(path)) << path;
}

TEST(GeneratorProgram, RefusesOptionsOutsideTheirRange) {
  testing::ScratchDirectory scratch;
  for (const char* arguments :
       {"--family both", "--n 121", "--n 0", "--os 1.5", "--count 0", "--seed x", "--nn 3"})
    EXPECT_NE(runGenerator(arguments), 0) << arguments;
  EXPECT_TRUE(filesBelow(".").empty());
}

} // namespace
} // namespace precdp
