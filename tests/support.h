// Shared helpers of the test suite: loading an instance into the tables, solving it, and an
// exhaustive reference optimum for small instances.
#pragma once

#include "instance/instance.h"

#include <cstdint>
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

// resetInstance, then the jobs (earliness weight 0) and the arcs through addPrec.
void loadInstance(const std::vector<Job>& jobs, const std::vector<std::pair<int, int>>& arcs = {});

// A random instance of n jobs with arcs i -> j (i < j) drawn with probability arcChance.
// Processing times 1..maxP, due dates 0..totalP, weights 0..maxWeight.
void loadRandomInstance(std::mt19937& random, int n, double arcChance, int maxP = 20,
                        int maxWeight = 10);

// Runs dpSolve with no effective time limit and returns the result slot.
int32_t solve();

// Least total weighted tardiness over every sequence that respects pred; -1 when none does.
int64_t bruteForceOptimum();

// Runs `action` and returns what it printed on standard output.
template <typename Action>
std::string captureOutput(Action action);

std::string beginCapture();
std::string endCapture();

template <typename Action>
std::string captureOutput(Action action) {
  beginCapture();
  action();
  return endCapture();
}

// Number of times `needle` occurs in `text`.
int countOf(const std::string& text, const std::string& needle);

// A fresh empty directory that is the working directory while the object lives; afterwards the
// previous working directory is restored and the directory removed with its contents.
class ScratchDirectory {
public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }

private:
  std::string path_;
  std::string previous_;
};

// True when `text` has the shape of `pattern`: each '#' stands for one decimal digit, every
// other character for itself.
bool fitsPattern(const std::string& text, const std::string& pattern);

// The pieces of `text` between the separators (lines for '\n', fields for '\t').
std::vector<std::string> split(const std::string& text, char separator);

// The whole content of a file; empty when it cannot be read.
std::string readTextFile(const std::string& path);

} // namespace precdp::testing
