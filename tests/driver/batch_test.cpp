// The batch mode: its option parser in the process, and runs of the built executable.
#include "driver/driver.h"
#include "gen/generator.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "program_run.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

int parse(std::vector<const char*> arguments, BatchOptions& options, std::string& output) {
  arguments.insert(arguments.begin(), "precdp");
  return parseBatchOptions(static_cast<int>(arguments.size()), arguments.data(), options, output);
}

TEST(BatchOptions, UsageErrorsNameTheProblemOnOneLineAndPointToHelp) {
  const struct {
    std::vector<const char*> arguments;
    std::string problem;
  } cases[] = {
      {{"--n", "30"}, "--n: '30' is not in the plan; valid: 20, 40, 50, 60, 80, 100, 120"},
      {{"--dataset", "velmar", "--n", "40,20"}, "--n: '20' is not in the plan; valid: 40, 50, 100"},
      {{"--os", "nan"}, "--os: 'nan' is not in the plan"},
      {{"--n", "20", "--os", "0.005"}, "no class of the plan"},
      {{"--dataset", "Standard"}, "--dataset"},
      {{"--instances", "0"}, "--instances: '0'"},
      {{"--instances", "1-126"}, "--instances: '1-126'"},
      {{"--threshold", "nan"}, "--threshold: nan is not from 0 to 1"},
      {{"--max-state", "1"}, "--max-state"},
      {{"--quiet", "stray"}, "The following argument was not expected: stray"},
      {{"--sequence-memory", "4T"}, "--sequence-memory: '4T' is not a byte count"},
      {{"--sequence-memory", "17179869184G"}, "--sequence-memory: '17179869184G'"}, // 2^64
      {{"--threads", "-1"}, "--threads"},
  };
  for (const auto& c : cases) {
    BatchOptions options;
    std::string output;
    EXPECT_EQ(parse(c.arguments, options, output), 2) << output;
    const std::vector<std::string> lines = split(output, '\n');
    ASSERT_EQ(lines.size(), 2u) << output;
    EXPECT_TRUE(lines[0].starts_with("precdp: " + c.problem)) << output;
    EXPECT_EQ(lines[1], "Run 'precdp --help' for the options.");
  }
}

TEST(BatchOptions, TheSelectionIsTheMatchingClassesInPlanOrder) {
  const struct {
    std::vector<const char*> arguments;
    std::string first, last;
    size_t count;
  } cases[] = {
      {{}, "standard 20 0.8", "velmar 100 0", 51},
      {{"--n", "40", "--os", "0.2"}, "standard 40 0.2", "velmar 40 0.2", 2},
      {{"--dataset", "velmar", "--n", "50,40"}, "velmar 40 0.2", "velmar 50 0", 14},
      {{"--os=0.20", "--os", "0"}, "standard 20 0.2", "velmar 100 0", 18},
  };
  BatchOptions options;
  std::string output;
  for (const auto& c : cases) {
    options = {};
    ASSERT_EQ(parse(c.arguments, options, output), -1) << output;
    ASSERT_EQ(options.classes.size(), c.count);
    EXPECT_EQ(className(options.classes.front()), c.first);
    EXPECT_EQ(className(options.classes.back()), c.last);
  }
  EXPECT_EQ(options.threads, 1u);
  ASSERT_EQ(parse({"--instances", "7-9", "--theorem", "emmons", "--threshold", "0.25", "--threads",
                   "0", "--sequence-memory", "3K"},
                  options, output),
            -1);
  EXPECT_TRUE(options.firstInstance == 7 && options.lastInstance == 9 && options.threads == 0);
  EXPECT_EQ(options.sequenceMemory, 3072u);
  EXPECT_TRUE(options.precTheorem == 2 && options.threshold == 0.25);

  ASSERT_EQ(parse({"--list-classes", "--dataset", "velmar", "--n", "100"}, options, output), 0);
  EXPECT_EQ(output, "velmar 100 0.2\nvelmar 100 0.1\nvelmar 100 0.05\nvelmar 100 0.02\n"
                    "velmar 100 0.01\nvelmar 100 0.005\nvelmar 100 0\n");
}

// The threshold holds for the first dataset the run handles, then starts from 0; the averages
// are those of the instances run; usage errors read and write nothing.
TEST(BatchProgram, TheThresholdHoldsForTheFirstDatasetAndUsageErrorsDoNothing) {
  ScratchDirectory scratch;
  for (int Ins = 1; Ins <= 2; ++Ins) { // order strength 1/3
    writeStandardInstance(40, 0.2, Ins, threeJobs(), chainOf(1));
    writeVelmarInstance(40, 0.2, Ins, threeJobs(), chainOf(1));
  }
  const struct {
    const char* arguments;
    std::vector<std::string> classLines; // standard error, each line up to its timings
  } cases[] = {
      {"--dataset velmar --n 40 --os 0.2 --threshold 0.5",
       {"class velmar 40 0.2: 2 rows, 0 solved"}},
      {"--n 40 --os 0.2 --threshold 0.5",
       {"class standard 40 0.2: 2 rows, 0 solved", "class velmar 40 0.2: 2 rows, 2 solved"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all("Reports");
    const ProgramOutput run =
        runBatchProgram(std::string(c.arguments) + " --instances 1-2 --max-state 1000");
    EXPECT_EQ(run.exitCode, 0) << c.arguments << "\n" << run.err;
    std::vector<std::string> classLines;
    for (const std::string& line : split(run.err, '\n'))
      classLines.push_back(line.substr(0, line.find(", CPU ")));
    EXPECT_EQ(classLines, c.classLines) << run.err;
  }
  const std::vector<std::string> lines = reportLines("-o=2-d=1-os=0.2-n=40.txt");
  ASSERT_EQ(lines.size(), 2u + 2u + 7u);
  EXPECT_EQ(lines[0], "maxCPU=3601 - maxState=1000 - prec:None");
  EXPECT_EQ(lines[5], "OS1_ave=0.33333");

  std::filesystem::remove_all("Reports");
  for (const char* arguments : {"--n 30", "--root no-such-directory", "--bogus"}) {
    const ProgramOutput refused = runBatchProgram(arguments);
    EXPECT_EQ(refused.exitCode, 2) << arguments;
    EXPECT_EQ(refused.out, "") << arguments;
    EXPECT_EQ(countOf(refused.err, "\n"), 2) << refused.err;
    EXPECT_FALSE(std::filesystem::exists("Reports")) << arguments;
  }
}

} // namespace
} // namespace precdp
