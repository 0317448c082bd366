#include "gen/generator.h"
#include "graph/graph.h"
#include "instance/instance.h"
#include "support.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace precdp {
namespace {

namespace fs = std::filesystem;
using namespace gen;

// Pairs ordered by the relation in the tables.
int orderedPairs() {
  int count = 0;
  for (int j = 0; j < jobCount; ++j)
    count += std::popcount(pred[j].word[0]) + std::popcount(pred[j].word[1]);
  return count;
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
        // The nearest pair count: within half a pair of n(n-1)/2.
        EXPECT_NEAR(orderStrength(), os, 0.5 / (n * (n - 1) / 2) + 1e-12) << n << " " << os;
        EXPECT_TRUE(std::is_sorted(instance.arcs.begin(), instance.arcs.end()));
        for (auto [a, b] : instance.arcs) {
          ASSERT_LT(a, b) << "not numbered topologically";
          ASSERT_FALSE(meets(succ[a], pred[b])) << a << "->" << b << " is implied";
        }
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
