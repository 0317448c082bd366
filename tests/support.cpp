#include "support.h"

#include "dp/dp.h"
#include "graph/graph.h"
#include "theorems/theorems.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <stdexcept>

namespace precdp::testing {

JobSet setOf(std::initializer_list<int> jobs) {
  JobSet set{};
  for (int job : jobs) insertJob(set, job);
  return set;
}

void loadInstance(const std::vector<Job>& jobs, const Arcs& arcs) {
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

void loadRandomInstance(std::mt19937& random, int n, double arcChance, RandomShape shape) {
  std::vector<Job> jobs(n);
  int total = 0;
  for (Job& job : jobs) {
    job.p = static_cast<uint16_t>(draw(random, 1, shape.maxP));
    job.weight = static_cast<uint16_t>(draw(random, 0, shape.maxWeight));
    total += job.p;
  }
  for (Job& job : jobs)
    job.dueDate = static_cast<uint16_t>(draw(random, 0, total + shape.dueSlack));
  // The permutation is drawn either way, so the same draws give the same instance in both
  // numberings: the job of hidden rank a is job number[a].
  std::vector<int> number(n);
  std::iota(number.begin(), number.end(), 0);
  std::vector<int> shuffled = number;
  std::shuffle(shuffled.begin(), shuffled.end(), random);
  if (shape.shuffled) number = shuffled;
  std::vector<Job> numbered(n);
  for (int a = 0; a < n; ++a) numbered[number[a]] = jobs[a];
  std::bernoulli_distribution arc(arcChance);
  Arcs arcs;
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b)
      if (arc(random)) arcs.emplace_back(number[a], number[b]);
  loadInstance(numbered, arcs);
}

void strengthen(int theorem) {
  computeTimeWindows();
  if (theorem == 1) kanetPrec();
  if (theorem == 2) emmonsPrec();
  if (theorem > 0) topoRelabel();
}

int32_t solve() {
  maxCPU = 1e9;
  startClock = clockTicks();
  dpSolve();
  return resultSlot();
}

int64_t bruteForceOptimum(const JobSet& jobs) {
  std::vector<int> order;
  forEachJob(jobs, [&](int j) { order.push_back(j); });
  int64_t best = -1;
  do {
    bool feasible = true;
    for (size_t a = 0; a < order.size() && feasible; ++a)
      for (size_t b = a + 1; b < order.size() && feasible; ++b)
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

std::vector<std::string> reportNames() {
  std::vector<std::string> names;
  if (std::filesystem::is_directory("Reports"))
    for (const auto& entry : std::filesystem::directory_iterator("Reports"))
      names.push_back("Reports/" + entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> reportLines(const std::string& ending) {
  for (const std::string& name : reportNames())
    if (name.ends_with(ending)) return split(readTextFile(name), '\n');
  ADD_FAILURE() << "no report file ends in " << ending;
  return {};
}

std::string readTextFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void writeTextFile(const std::string& path, const std::string& text) {
  const std::filesystem::path directory = std::filesystem::path(path).parent_path();
  if (!directory.empty()) std::filesystem::create_directories(directory);
  std::ofstream(path, std::ios::binary) << text;
}

} // namespace precdp::testing
