#include "support.h"

#include "dp/dp.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <numeric>
#include <sstream>
#include <stdexcept>

namespace precdp::testing {

void loadInstance(const std::vector<Job>& jobs, const std::vector<std::pair<int, int>>& arcs) {
  resetInstance();
  jobCount = static_cast<uint16_t>(jobs.size());
  for (int i = 0; i < jobCount; ++i) {
    p[i] = jobs[i].p;
    dueDate[i] = jobs[i].dueDate;
    tardinessWeight[i] = jobs[i].weight;
    earlinessWeight[i] = 0;
    totalP = static_cast<uint16_t>(totalP + p[i]);
    insertJob(allJobs, i);
  }
  for (auto [from, to] : arcs) addPrec(static_cast<int16_t>(from), static_cast<int16_t>(to));
}

void loadRandomInstance(std::mt19937& random, int n, double arcChance, int maxP, int maxWeight) {
  std::uniform_int_distribution<int> processing(1, maxP);
  std::uniform_int_distribution<int> weight(0, maxWeight);
  std::bernoulli_distribution arc(arcChance);
  std::vector<Job> jobs(n);
  int total = 0;
  for (Job& job : jobs) {
    job.p = static_cast<uint16_t>(processing(random));
    job.weight = static_cast<uint16_t>(weight(random));
    total += job.p;
  }
  std::uniform_int_distribution<int> due(0, total);
  for (Job& job : jobs) job.dueDate = static_cast<uint16_t>(due(random));
  std::vector<std::pair<int, int>> arcs;
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j)
      if (arc(random)) arcs.emplace_back(i, j);
  loadInstance(jobs, arcs);
}

int32_t solve() {
  maxCPU = 1e9;
  startClock = clockTicks();
  dpSolve();
  return resultSlot();
}

int64_t bruteForceOptimum() {
  std::vector<int> order(jobCount);
  std::iota(order.begin(), order.end(), 0);
  int64_t best = -1;
  do {
    bool feasible = true;
    for (int a = 0; a < jobCount && feasible; ++a)
      for (int b = a + 1; b < jobCount && feasible; ++b)
        if (contains(pred[order[a]], order[b])) feasible = false;
    if (!feasible) continue;
    int64_t time = 0, cost = 0;
    for (int job : order) {
      time += p[job];
      cost += std::max<int64_t>(0, time - dueDate[job]) * tardinessWeight[job];
    }
    if (best < 0 || cost < best) best = cost;
  } while (std::next_permutation(order.begin(), order.end()));
  return best;
}

std::string beginCapture() {
  std::fflush(stdout);
  ::testing::internal::CaptureStdout();
  return {};
}

std::string endCapture() {
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

int countOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++count;
  return count;
}

ScratchDirectory::ScratchDirectory() {
  previous_ = std::filesystem::current_path().string();
  std::string pattern = (std::filesystem::temp_directory_path() / "precdp-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  std::filesystem::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

bool fitsPattern(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t at = 0; at < text.size(); ++at) {
    const bool digit = text[at] >= '0' && text[at] <= '9';
    if (pattern[at] == '#' ? !digit : text[at] != pattern[at]) return false;
  }
  return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::istringstream stream(text);
  for (std::string piece; std::getline(stream, piece, separator);) pieces.push_back(piece);
  return pieces;
}

std::string readTextFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

} // namespace precdp::testing
