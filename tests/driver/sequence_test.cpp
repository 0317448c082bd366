#include "driver/driver.h"

#include "dp/dp.h"
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

// The trace must hold every state built after the full set: totalStates - 1 entries. A store
// one entry short keeps no sequence in the exact run; the bounded run needs only its last
// attempt's states. Either way the run is the run without a trace.
TEST(Sequences, ATraceStoreTooSmallLeavesTheRunUnchangedAndKeepsNoSequence) {
  const gen::GeneratorSettings shuffled{.shuffledNumbering = true};
  const gen::GeneratedInstance instances[] = {
      gen::generateInstance(shuffled, gen::Family::standard, 12, 0.2, 3),
      gen::generateInstance(shuffled, gen::Family::standard, 80, 0.8, 7)}; // both set words
  for (const bool bounded : {false, true})
    for (const gen::GeneratedInstance& instance : instances) {
      const auto load = [&] {
        gen::loadGeneratedInstance(instance);
        strengthen(1);
      };
      const auto run = [&] {
        boundedRun = bounded;
        const int32_t obj =
            bounded ? (maxCPU = 1e9, startClock = clockTicks(), dpSolveBounded(), resultSlot())
                    : solve();
        return std::vector<int64_t>{obj, maxLayerSize, int64_t(totalStates), int64_t(lookupCount)};
      };
      const std::string where =
          std::to_string(instance.n) + " jobs, bounded " + std::to_string(bounded) + ", entries ";
      freeTrace();
      load();
      const std::vector<int64_t> untraced = run();
      const uint64_t needed = totalStates - 1;
      for (uint64_t entries : {needed + 1, needed, needed - 1, uint64_t{0}}) {
        TraceStore trace(entries);
        gen::loadGeneratedInstance(instance);
        const FileInstance asRead = snapshotFileInstance();
        load();
        EXPECT_EQ(run(), untraced) << where << entries;
        const auto sequence = dpSequenceInFilePositions();
        // A bounded run may take several attempts and ts counts them all, while the trace only
        // has to hold the last one: there a store below ts may still keep the sequence.
        if (!bounded || entries >= needed) {
          ASSERT_EQ(sequence.has_value(), entries >= needed) << where << entries;
        }
        if (sequence) {
          EXPECT_EQ(sequenceFault(asRead, *sequence, untraced[0]), "") << where;
        }
      }
      boundedRun = false;
    }
}

// Files of both datasets: instances 1 and 2 numbered at random (a theorem pass renumbers them),
// 3 numbered topologically, as the DP needs it without a pass, and 4 of one job, so its order
// strength is not a number and the DP does not run; exact and bounded runs. Without room for
// the trace the rows are the same and every sequence is "-".
TEST(Sequences, TheProgramWritesACheckedLineForEveryRowOfBothDatasets) {
  ScratchDirectory scratch;
  std::vector<gen::GeneratedInstance> instances[2];
  for (const gen::Family family : {gen::Family::standard, gen::Family::velmar})
    for (int Ins = 1; Ins <= 4; ++Ins) {
      const gen::GeneratorSettings settings{.shuffledNumbering = Ins < 3};
      writeInstanceFiles(family, 40, 0.2, Ins,
                         instances[family == gen::Family::velmar].emplace_back(
                             gen::generateInstance(settings, family, Ins < 4 ? 8 : 1, 0.2, Ins)));
    }
  // A run without room for the trace repeats the rows of the run `sameRowsAs` before it.
  const struct {
    const char* arguments;
    int firstInstance;
    int sameRowsAs = -1;
  } runs[] = {{"--theorem kanet --instances 1-4", 1},
              {"--theorem emmons --instances 1-4", 1},
              {"--theorem none --instances 3-4", 3},
              {"--theorem emmons --instances 1-4 --sequence-memory 0", 1, 1},
              {"--theorem kanet --instances 1-4 --bounded", 1},
              {"--theorem none --instances 3-4 --bounded", 3},
              {"--theorem kanet --instances 1-4 --bounded --sequence-memory 0", 1, 4}};
  std::vector<std::vector<std::string>> rows[std::size(runs)];
  for (const auto& run : runs) {
    std::filesystem::remove_all("Reports");
    const ProgramOutput output = runBatchProgram(std::string(run.arguments) +
                                                 " --n 40 --os 0.2 --max-state 1000 --sequences");
    EXPECT_EQ(output.exitCode, 0) << run.arguments << "\n" << output.err;
    const bool room = run.sameRowsAs < 0;
    rows[&run - runs] = untimedRows(output.out);
    if (!room) {
      EXPECT_EQ(rows[&run - runs], rows[run.sameRowsAs]) << run.arguments;
    }
    // A bounded run's files must never pass for the exact DP's.
    EXPECT_EQ(reportLines("-d=2-os=0.2-n=40.txt").at(0).ends_with(" - bounded"),
              std::string(run.arguments).find("--bounded") != std::string::npos);
    for (int dataset = 0; dataset < 2; ++dataset) {
      const auto lines =
          reportLines(dataset == 0 ? "-d=2-os=0.2-n=40.seq.tsv" : "-d=1-os=0.2-n=40.seq.tsv");
      ASSERT_EQ(lines.size(), size_t(6 - run.firstInstance)) << run.arguments;
      EXPECT_EQ(lines[0], "Ins\tobj\tsequence");
      for (int Ins = run.firstInstance; Ins <= 4; ++Ins) {
        const std::string& line = lines[1 + Ins - run.firstInstance];
        const auto fields = split(line, '\t');
        ASSERT_EQ(fields.size(), 3u) << line;
        EXPECT_EQ(fields[0], std::to_string(Ins));
        if (Ins == 4 || !room) {
          EXPECT_EQ(fields[2], "-") << line;
          continue;
        }
        gen::loadGeneratedInstance(instances[dataset][Ins - 1]);
        const int64_t optimum = bruteForceOptimum();
        EXPECT_EQ(fields[1], std::to_string(optimum)) << run.arguments << ": " << line;
        std::vector<uint16_t> jobs;
        for (const std::string& job : split(fields[2], ' ')) jobs.push_back(std::stoi(job));
        EXPECT_EQ(sequenceFault(snapshotFileInstance(), jobs, optimum), "") << line;
      }
    }
  }
}

} // namespace
} // namespace precdp
