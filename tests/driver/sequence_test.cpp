#include "driver/driver.h"

#include "dp/dp.h"
#include "gen/generator.h"
#include "graph/graph.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "program_run.h"
#include "report/report.h"
#include "support.h"
#include "theorems/theorems.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// A trace store of `entries` states for the life of the object.
struct TraceStore {
  explicit TraceStore(uint64_t entries) { allocateTrace(entries * traceBytesPerState); }
  ~TraceStore() { freeTrace(); }
};

// What the program does between the read and the DP: the chosen pass, then the relabeling.
void strengthen(int theorem) {
  computeTimeWindows();
  if (theorem == 1) kanetPrec();
  if (theorem == 2) emmonsPrec();
  if (theorem > 0) topoRelabel();
}

TEST(Sequences, TheDpSequenceIsAnOptimalScheduleOfTheFileInstance) {
  TraceStore trace(4096);
  std::mt19937 random(13);
  for (int round = 0; round < 150; ++round) {
    const int theorem = round % 3;
    // Without a pass the jobs keep the file's numbering, which the DP needs topological.
    const bool shuffled = theorem > 0 && round / 3 % 2 == 1;
    loadRandomInstance(random, 1 + round % 9, 0.2 * (round / 6 % 4), {.shuffled = shuffled});
    const FileInstance asRead = snapshotFileInstance();
    const int64_t optimum = bruteForceOptimum();
    strengthen(theorem);
    ASSERT_EQ(solve(), optimum) << "round " << round;
    const auto sequence = dpSequenceInFilePositions();
    ASSERT_TRUE(sequence) << "round " << round;
    EXPECT_EQ(sequenceFault(asRead, *sequence, optimum), "") << "round " << round;
  }
}

// The trace must hold every state built after the full set: totalStates - 1 entries. A store
// one entry short keeps no sequence, and the run is the run without a trace.
TEST(Sequences, ATraceStoreTooSmallLeavesTheRunUnchangedAndKeepsNoSequence) {
  const gen::GeneratorSettings shuffled{.shuffledNumbering = true};
  const gen::GeneratedInstance instances[] = {
      gen::generateInstance(shuffled, gen::Family::standard, 12, 0.2, 3),
      gen::generateInstance(shuffled, gen::Family::standard, 80, 0.8, 7)}; // both set words
  for (const gen::GeneratedInstance& instance : instances) {
    const auto load = [&] {
      gen::loadGeneratedInstance(instance);
      strengthen(1);
    };
    freeTrace();
    load();
    const std::vector<int64_t> untraced = {solve(), maxLayerSize, int64_t(totalStates),
                                           int64_t(lookupCount)};
    const uint64_t needed = totalStates - 1;
    for (uint64_t entries : {needed + 1, needed, needed - 1, uint64_t{0}}) {
      TraceStore trace(entries);
      gen::loadGeneratedInstance(instance);
      const FileInstance asRead = snapshotFileInstance();
      load();
      const std::vector<int64_t> traced = {solve(), maxLayerSize, int64_t(totalStates),
                                           int64_t(lookupCount)};
      EXPECT_EQ(traced, untraced) << instance.n << " jobs, " << entries << " entries";
      const auto sequence = dpSequenceInFilePositions();
      ASSERT_EQ(sequence.has_value(), entries >= needed) << instance.n << " jobs, " << entries;
      if (sequence) {
        EXPECT_EQ(sequenceFault(asRead, *sequence, untraced[0]), "");
      }
    }
  }
}

// The jobs of a companion line's sequence field.
std::vector<uint16_t> jobsOf(const std::string& field) {
  std::vector<uint16_t> jobs;
  std::istringstream words(field);
  for (int job; words >> job;) jobs.push_back(static_cast<uint16_t>(job));
  return jobs;
}

int theoremOf(int Ins) {
  return Ins % 3;
}

// Files of both datasets, each instance with another theorem and shuffled where a pass renumbers
// the jobs; instance 4 has one job, so its order strength is not a number and the DP does not run.
TEST(Sequences, EveryRowOfBothDatasetsHasItsCheckedLineInTheCompanionFile) {
  ScratchDirectory scratch;
  TraceStore trace(4096);
  writeSequences = true;
  sequenceFaults = 0;
  for (auto [family, n, os] :
       {std::tuple{gen::Family::standard, 20, 0.4}, std::tuple{gen::Family::velmar, 40, 0.2}}) {
    datasettype = family == gen::Family::velmar ? 1 : 2;
    nVal = static_cast<uint16_t>(n);
    osVal = os;
    osThreshold = 0;
    std::vector<gen::GeneratedInstance> instances;
    for (int Ins = 1; Ins <= 4; ++Ins) {
      const gen::GeneratorSettings settings{.shuffledNumbering = theoremOf(Ins) > 0};
      instances.push_back(gen::generateInstance(settings, family, Ins < 4 ? 8 : 1, os, Ins));
      const gen::GeneratedInstance& instance = instances.back();
      if (family == gen::Family::standard) {
        writeTextFile(standardInstancePath(n, os, Ins), gen::standardFileText(instance));
      } else {
        writeTextFile(velmarJobPath(n, Ins), gen::velmarJobFileText(instance));
        writeTextFile(velmarPrecedencePath(2, n, os, Ins), gen::velmarPrecedenceFileText(instance));
      }
    }
    std::ofstream reportStream;
    ClassSums sums;
    console([&] {
      startReport();
      for (int16_t Ins = 1; Ins <= 4; ++Ins) {
        precTheorem = theoremOf(Ins);
        runInstance(Ins, reportStream, sums);
      }
    });
    const auto rows = split(readTextFile(reportPath), '\n');
    const auto lines = split(readTextFile(sequenceFilePath(reportPath)), '\n');
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Ins\tobj\tsequence");
    for (int Ins = 1; Ins <= 4; ++Ins) {
      const auto fields = split(lines[Ins], '\t');
      ASSERT_EQ(fields.size(), 3u) << lines[Ins];
      EXPECT_EQ(fields[0], std::to_string(Ins));
      EXPECT_EQ(fields[1], split(rows[1 + Ins], '\t')[5]); // obj of the report row
      if (Ins == 4) {
        EXPECT_EQ(lines[Ins], "4\t-1\t-");
        continue;
      }
      gen::loadGeneratedInstance(instances[Ins - 1]);
      EXPECT_EQ(sequenceFault(snapshotFileInstance(), jobsOf(fields[2]), bruteForceOptimum()), "")
          << lines[Ins];
    }
  }
  EXPECT_EQ(sequenceFaults, 0u);
  writeSequences = false;
  precTheorem = 0;
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

// obj, uas and ts of a console row.
std::string resultColumns(const std::string& row) {
  const auto fields = split(row, '\t');
  return fields.size() == 8 ? fields[5] + " " + fields[6] + " " + fields[7] : row;
}

// The program with --sequences on both datasets; without room for the trace the rows are the
// same and every sequence is "-".
TEST(Sequences, TheProgramWritesTheCompanionFilesAndKeepsItsRowsWithoutRoom) {
  ScratchDirectory scratch;
  writeStandardInstance(40, 0.2, 1, threeJobs(), chainOf(1));
  writeVelmarInstance(40, 0.2, 1, threeJobs(), chainOf(1));
  loadInstance(threeJobs(), chainOf(1));
  const FileInstance asRead = snapshotFileInstance();
  const int64_t optimum = bruteForceOptimum();
  std::vector<std::string> rows[2];
  for (const bool room : {true, false}) {
    std::filesystem::remove_all("Reports");
    const ProgramOutput run =
        runBatchProgram(std::string("--n 40 --os 0.2 --instances 1 --theorem emmons "
                                    "--max-state 1000 --sequences --sequence-memory ") +
                        (room ? "1K" : "0"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    rows[room] = consoleRows(run.out);
    for (const char* dataset : {"-d=1-os=0.2-n=40.seq.tsv", "-d=2-os=0.2-n=40.seq.tsv"}) {
      const std::vector<std::string> lines = reportLines(dataset);
      ASSERT_EQ(lines.size(), 2u) << dataset;
      EXPECT_EQ(lines[0], "Ins\tobj\tsequence");
      const auto fields = split(lines[1], '\t');
      ASSERT_EQ(fields.size(), 3u) << lines[1];
      EXPECT_EQ(fields[1], std::to_string(optimum));
      if (room)
        EXPECT_EQ(sequenceFault(asRead, jobsOf(fields[2]), optimum), "") << lines[1];
      else
        EXPECT_EQ(fields[2], "-");
    }
  }
  ASSERT_TRUE(rows[0].size() == 2 && rows[1].size() == 2);
  for (int row = 0; row < 2; ++row)
    EXPECT_EQ(resultColumns(rows[0][row]), resultColumns(rows[1][row]));
}

} // namespace
} // namespace precdp
