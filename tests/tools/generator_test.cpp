#include "gen/generator.h"
#include "graph/graph.h"
#include "instance/instance.h"
#include "support.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace precdp {
namespace {

namespace fs = std::filesystem;
using namespace gen;
using testing::Console;
using testing::console;

// Pairs ordered by the relation in the tables.
int orderedPairs() {
  int count = 0;
  for (int j = 0; j < jobCount; ++j)
    count += std::popcount(pred[j].word[0]) + std::popcount(pred[j].word[1]);
  return count;
}

double classTolerance(int n) { // nearest pair count: half a pair of n(n-1)/2
  return 0.5 / (n * (n - 1) / 2) + 1e-12;
}

TEST(Generator, ParametersFollowTheInstanceNumberAndTheClass) {
  // Five instances per (TF, RDD) pair; TF cycles every 25 instances, RDD steps every 25.
  const int fifths[][3] = {{5, 1, 1}, {6, 2, 1}, {25, 5, 1}, {26, 1, 2}, {125, 5, 5}};
  for (const auto& [k, tf, rdd] : fifths)
    EXPECT_TRUE(tardinessFactorFifths(k) == tf && dueDateRangeFifths(k) == rdd) << k;
  EXPECT_EQ(targetOrderedPairs(40, 0.005), 4); // 3.9 pairs
  EXPECT_EQ(targetOrderedPairs(20, 0.8), 152);
  EXPECT_EQ(targetOrderedPairs(120, 1.0), 7140);
}

TEST(Generator, RelationReachesTheTargetWithDirectArcsInTopologicalNumbering) {
  // Small relations often need the last pairs added one at a time; try many of them.
  for (int n : {2, 3, 4, 5, 7, 20, 50, 120})
    for (double os : {0.0, 0.005, 0.1, 0.4, 0.7, 0.8, 1.0})
      for (int k = 1; k <= (n < 10 ? 25 : 1); ++k) {
        const GeneratedInstance instance = generateInstance({}, Family::standard, n, os, k);
        loadGeneratedInstance(instance);
        ASSERT_EQ(orderedPairs(), targetOrderedPairs(n, os)) << n << " " << os << " " << k;
        EXPECT_EQ(instance.orderedPairs, targetOrderedPairs(n, os));
        EXPECT_TRUE(std::is_sorted(instance.arcs.begin(), instance.arcs.end()));
        for (auto [a, b] : instance.arcs) {
          ASSERT_LT(a, b) << "not numbered topologically";
          ASSERT_FALSE(meets(succ[a], pred[b])) << a << "->" << b << " is implied";
        }
      }
  // A shuffled numbering keeps the relation acyclic.
  EXPECT_EQ(console([] {
              loadGeneratedInstance(
                  generateInstance({.shuffledNumbering = true}, Family::standard, 60, 0.6, 3));
            }),
            Console{}); // addPrec reports every cycle
  EXPECT_EQ(orderedPairs(), targetOrderedPairs(60, 0.6));
  bool backwardArc = false;
  for (int a = 0; a < 60; ++a)
    for (int b = 0; b < a; ++b) backwardArc = backwardArc || contains(succ[a], b);
  EXPECT_TRUE(backwardArc);
}

TEST(Generator, JobDataStayInTheirRanges) {
  int64_t sumP = 0, zeroDueDates = 0;
  for (int k = 1; k <= 125; k += 4) {
    const GeneratedInstance instance = generateInstance({}, Family::standard, 60, 0.2, k);
    ASSERT_EQ(instance.jobs.size(), 60u);
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
      zeroDueDates += job.dueDate == 0;
    }
  }
  EXPECT_NEAR(double(sumP) / (32 * 60), 50.5, 3.0);
  EXPECT_GT(zeroDueDates, 0); // TF 1 puts the whole range at or below 0, clipped
}

// The files read back as their class, with the generated data (Velmar job data therefore alike
// for every order strength); loading the generated instance directly gives the same tables.
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
  for (auto [n, deviation] : summary.maxOsDeviation) EXPECT_LE(deviation, classTolerance(n));
  for (int n : plan.nValues)
    for (double os : plan.osValues)
      for (int k = 1; k <= plan.count; ++k)
        for (Family family : {Family::standard, Family::velmar}) {
          nVal = static_cast<uint16_t>(n);
          osVal = os;
          resetInstance();
          ASSERT_TRUE(family == Family::standard ? readStandardInstance(k) : readVelmarInstance(k))
              << n << " " << os << " " << k;
          EXPECT_EQ(jobCount, n);
          EXPECT_NEAR(orderStrength(), os, classTolerance(n));
          const std::vector<JobSet> readPred(pred, pred + n);
          const GeneratedInstance instance = generateInstance({}, family, n, os, k);
          for (int i = 0; i < n; ++i) {
            const GeneratedJob& job = instance.jobs[i];
            ASSERT_TRUE(p[i] == job.p && dueDate[i] == job.dueDate &&
                        earlinessWeight[i] == job.earlinessWeight &&
                        tardinessWeight[i] == job.tardinessWeight);
          }
          loadGeneratedInstance(instance);
          EXPECT_TRUE(std::equal(readPred.begin(), readPred.end(), pred) && jobCount == n);
        }
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
  // Standard 6 n x 5 OS x 125; Velmar 3 n x 125 job files and 3 n x 6 OS x 125 precedence files.
  EXPECT_EQ(filesBelow(".").size(), 3750u + 375u + 2250u);
  for (const std::string& path :
       {standardInstancePath(20, 0, 1), standardInstancePath(120, 0.8, 125),
        velmarJobPath(100, 125), velmarPrecedencePath(2, 40, 0.005, 1),
        velmarPrecedencePath(2, 100, 0.2, 125)})
    EXPECT_TRUE(fs::exists(path)) << path;

  ASSERT_EQ(runGenerator("--root small --family standard --n 20 --os 0.8 --count 3"), 0);
  ASSERT_EQ(runGenerator("--root velmar --family velmar --n 50 --os 0.02 --count 2 --seed 1"), 0);
  EXPECT_EQ(filesBelow("small").size(), 3u);
  EXPECT_EQ(filesBelow("velmar").size(), 4u); // two job files, two precedence files
  for (const std::string root : {"small", "velmar"})
    for (const std::string& path : filesBelow(root))
      EXPECT_EQ(testing::readTextFile(root + "/" + path), testing::readTextFile(path)) << path;

  for (const char* arguments :
       {"--family both", "--n 121", "--n 0", "--os 1.5", "--count 0", "--seed x", "--nn 3"})
    EXPECT_NE(runGenerator("--root refused " + std::string(arguments)), 0) << arguments;
  EXPECT_FALSE(fs::exists("refused"));
}

} // namespace
} // namespace precdp
