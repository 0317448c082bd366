// Shared helpers of the test suite: instances loaded into the tables, solved, and checked against
// an exhaustive optimum; the console and key waits of an action; scratch directories; text.
#pragma once

#include "dp/dp.h"
#include "instance/instance.h"
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace precdp::testing {

inline constexpr uint32_t testCapacity = 1u << 18; // states per layer of the suite's store

struct Job {
  uint16_t p;
  uint16_t dueDate;
  uint16_t weight; // tardiness weight
};
using Arcs = std::vector<std::pair<int, int>>;

JobSet setOf(std::initializer_list<int> jobs);

// resetInstance, then the jobs (earliness weight 0) and the arcs through addPrec.
void loadInstance(const std::vector<Job>& jobs, const Arcs& arcs = {});

inline int draw(std::mt19937& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

// p 1..maxP, weights 0..maxWeight, due dates 0..totalP + dueSlack. Arcs follow a hidden order:
// the job numbers themselves, or a random numbering when `shuffled` (arcs then run both ways).
struct RandomShape {
  int maxP = 20;
  int maxWeight = 10;
  int dueSlack = 0;
  bool shuffled = false;
};
// Each pair ordered by the hidden order becomes an arc with probability arcChance. The same
// random state gives the same instance whether shuffled or not.
void loadRandomInstance(std::mt19937& random, int n, double arcChance, RandomShape shape = {});

// What the program does between the read and the DP: the time windows, the pass of theorem
// 1 (Kanet) or 2 (Emmons), then the relabeling; theorem 0 leaves the file's numbering.
void strengthen(int theorem);

// Runs dpSolve with no effective time limit and returns the result slot.
int32_t solve();

// Least total weighted tardiness over every sequence of `jobs` from time 0 that respects pred;
// -1 when none does.
int64_t bruteForceOptimum(const JobSet& jobs = allJobs);

// What an action printed on standard output, and the key waits it made.
struct Console {
  std::string text;
  uint64_t keyWaits = 0;
  bool operator==(const Console&) const = default;
};
inline void PrintTo(const Console& console, std::ostream* out) {
  *out << '"' << console.text << "\" with " << console.keyWaits << " key waits";
}

template <typename Action>
Console console(Action action) {
  const uint64_t waits = keyWaitCount();
  std::fflush(stdout);
  ::testing::internal::CaptureStdout();
  action();
  std::fflush(stdout);
  std::string text = ::testing::internal::GetCapturedStdout();
  return {std::move(text), keyWaitCount() - waits};
}

// Number of times `needle` occurs in `text`.
int countOf(const std::string& text, const std::string& needle);

// Reallocates the DP store at a given capacity while it lives, then back at testCapacity.
struct StoreCapacity {
  explicit StoreCapacity(uint32_t capacity) { allocateStore(capacity); }
  ~StoreCapacity() { allocateStore(testCapacity); }
};

// A trace store of `entries` states while it lives; none afterwards.
struct TraceStore {
  explicit TraceStore(uint64_t entries) { allocateTrace(entries * traceBytesPerState); }
  ~TraceStore() { freeTrace(); }
};

// A fresh empty directory that is the working directory while the object lives; afterwards the
// previous working directory is restored and the directory removed with its contents.
class ScratchDirectory {
public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

private:
  std::string path_;
  std::string previous_;
};

// True when `text` has the shape of `pattern`: each '#' stands for one decimal digit, every
// other character for itself.
bool fitsPattern(const std::string& text, const std::string& pattern);

// The pieces of `text` between the separators (lines for '\n', fields for '\t').
std::vector<std::string> split(const std::string& text, char separator);

// The files in Reports/ of the working directory, sorted, and the lines of the one whose name
// ends in `ending`.
std::vector<std::string> reportNames();
std::vector<std::string> reportLines(const std::string& ending);

// The whole content of a file; empty when it cannot be read.
std::string readTextFile(const std::string& path);

// Writes `text` to `path`, creating its directories.
void writeTextFile(const std::string& path, const std::string& text);

} // namespace precdp::testing
