#include "driver/driver.h"

#include "dp/dp.h"
#include "gen/generator.h"
#include "graph/graph.h"
#include "instance/instance.h"
#include "program_run.h"
#include "support.h"
#include "theorems/theorems.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// What the program does between the read and the DP: the chosen pass, then the relabeling.
void strengthen(int theorem) {
  computeTimeWindows();
  if (theorem == 1) kanetPrec();
  if (theorem == 2) emmonsPrec();
  if (theorem > 0) topoRelabel();
}

// Each run on two stores: one that holds every stage's packed words beside its entries, and
// one of just the run's entries, where the middle stages find no room for their words and
// record their entries in place.
TEST(Sequences, TheDpSequenceIsAnOptimalScheduleOfTheFileInstance) {
  std::mt19937 random(13);
  for (int round = 0; round < 150; ++round) {
    const int theorem = round % 3;
    // Without a pass the jobs keep the file's numbering, which the DP needs topological.
    const bool shuffled = theorem > 0 && round / 3 % 2 == 1;
    loadRandomInstance(random, 1 + round % 9, 0.2 * (round / 6 % 4), {.shuffled = shuffled});
    const FileInstance asRead = snapshotFileInstance();
    const int64_t optimum = bruteForceOptimum();
    strengthen(theorem);
    uint64_t entries = 4096;
    for (int store = 0; store < 2; ++store) {
      resetStore();
      TraceStore trace(entries);
      const std::string where =
          "round " + std::to_string(round) + ", store " + std::to_string(entries);
      ASSERT_EQ(solve(), optimum) << where;
      const auto sequence = dpSequenceInFilePositions();
      ASSERT_TRUE(sequence) << where;
      EXPECT_EQ(sequenceFault(asRead, *sequence, optimum), "") << where;
      entries = totalStates - 1;
    }
  }
}

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
          EXPECT_EQ(sequenceFault(asRead, *sequence, untraced[0]), "") << where << entries;
        }
      }
      boundedRun = false;
    }
}

TEST(Sequences, SequenceMemoryTakesBytesWithBinarySuffixes) {
  const std::pair<const char*, std::optional<uint64_t>> cases[] = {{"0", 0},
                                                                   {"1000", 1000},
                                                                   {"3K", 3072},
                                                                   {"5M", 5u << 20},
                                                                   {"8G", uint64_t{8} << 30},
                                                                   {"17179869184G", std::nullopt},
                                                                   {"G", std::nullopt},
                                                                   {"-1", std::nullopt}};
  for (const auto& [text, bytes] : cases) EXPECT_EQ(parseByteSize(text), bytes) << text;
}

// The jobs of a companion line's sequence field.
std::vector<uint16_t> jobsOf(const std::string& field) {
  std::vector<uint16_t> jobs;
  std::istringstream words(field);
  for (int job; words >> job;) jobs.push_back(static_cast<uint16_t>(job));
  return jobs;
}

// obj, uas and ts of each console row.
std::vector<std::string> resultColumns(const std::string& output) {
  std::vector<std::string> columns;
  for (const std::string& row : consoleRows(output)) {
    const auto fields = split(row, '\t');
    columns.push_back(fields[5] + " " + fields[6] + " " + fields[7]);
  }
  return columns;
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
      const auto& instance = instances[family == gen::Family::velmar].emplace_back(
          gen::generateInstance(settings, family, Ins < 4 ? 8 : 1, 0.2, Ins));
      if (family == gen::Family::standard) {
        writeTextFile(standardInstancePath(40, 0.2, Ins), gen::standardFileText(instance));
      } else {
        writeTextFile(velmarJobPath(40, Ins), gen::velmarJobFileText(instance));
        writeTextFile(velmarPrecedencePath(2, 40, 0.2, Ins),
                      gen::velmarPrecedenceFileText(instance));
      }
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
  std::vector<std::string> rows[std::size(runs)]; // obj, uas, ts of each run
  for (const auto& run : runs) {
    std::filesystem::remove_all("Reports");
    const ProgramOutput output = runBatchProgram(std::string(run.arguments) +
                                                 " --n 40 --os 0.2 --max-state 1000 --sequences");
    EXPECT_EQ(output.exitCode, 0) << run.arguments << "\n" << output.err;
    const bool room = run.sameRowsAs < 0;
    rows[&run - runs] = resultColumns(output.out);
    if (!room) {
      EXPECT_EQ(rows[&run - runs], rows[run.sameRowsAs]) << run.arguments;
    }
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
        EXPECT_EQ(sequenceFault(snapshotFileInstance(), jobsOf(fields[2]), optimum), "") << line;
      }
    }
  }
}

} // namespace
} // namespace precdp
