#include "gen/generator.h"

#include "instance/instance.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace precdp::gen {

const std::vector<int> standardNValues = {20, 40, 60, 80, 100, 120};
const std::vector<double> standardOsValues = {0, 0.2, 0.4, 0.6, 0.8};
const std::vector<int> velmarNValues = {40, 50, 100};
const std::vector<double> velmarOsValues = {0.005, 0.01, 0.02, 0.05, 0.1, 0.2};

namespace {

// ---- Random numbers: fixed algorithms, so a seed gives the same bytes everywhere -------------
uint64_t mix(uint64_t x) { // the splitmix64 finaliser
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

struct Random {
  uint64_t state;

  uint64_t next() { return mix(state += 0x9e3779b97f4a7c15ull); }

  // Uniform in 0..bound-1 (bound > 0), without modulo bias.
  uint64_t below(uint64_t bound) {
    const uint64_t threshold = (0 - bound) % bound;
    for (;;) {
      const uint64_t r = next();
      if (r >= threshold) return r % bound;
    }
  }

  int between(int lo, int hi) { return lo + static_cast<int>(below(uint64_t(hi - lo) + 1)); }
};

enum class Stream : uint64_t { jobs = 1, relation = 2 };

// One independent stream per (seed, stream, family, n, order strength text, instance).
Random streamFor(uint64_t seed, Stream stream, Family family, int n, const std::string& osText,
                 int instanceNo) {
  uint64_t key = mix(seed ^ 0x7072656364700000ull);
  for (uint64_t part : {uint64_t(stream), uint64_t(family) + 1, uint64_t(n), uint64_t(instanceNo)})
    key = mix(key ^ part);
  for (unsigned char c : osText) key = mix(key ^ (0x100 | c));
  return Random{key};
}

// ---- Job data -------------------------------------------------------------------------------
int floorDiv(int64_t a, int64_t b) {
  return static_cast<int>(a >= 0 ? a / b : -((-a + b - 1) / b));
}

std::vector<GeneratedJob> generateJobs(Random& random, int n, int instanceNo) {
  std::vector<GeneratedJob> jobs(n);
  int64_t total = 0;
  for (GeneratedJob& job : jobs) {
    job.p = static_cast<uint16_t>(random.between(1, 100));
    job.earlinessWeight = static_cast<uint16_t>(random.between(1, 10));
    job.tardinessWeight = static_cast<uint16_t>(random.between(1, 10));
    total += job.p;
  }
  // In tenths: [P (10 - 2 TF5 - RDD5), P (10 - 2 TF5 + RDD5)] / 10, TF5 and RDD5 in fifths.
  const int tf = tardinessFactorFifths(instanceNo), range = dueDateRangeFifths(instanceNo);
  const int lo = floorDiv(total * (10 - 2 * tf - range), 10);
  const int hi = floorDiv(total * (10 - 2 * tf + range), 10);
  for (GeneratedJob& job : jobs)
    job.dueDate = static_cast<uint16_t>(std::max(0, random.between(lo, hi)));
  return jobs;
}

// ---- Precedence relation --------------------------------------------------------------------
// A set of up to 128 nodes: node v is bit v % 64 of word v / 64.
struct Nodes {
  uint64_t word[2] = {0, 0};

  bool has(int v) const { return (word[v >> 6] >> (v & 63)) & 1; }
  void add(int v) { word[v >> 6] |= uint64_t{1} << (v & 63); }
  void join(const Nodes& other) { word[0] |= other.word[0], word[1] |= other.word[1]; }
  int size() const { return std::popcount(word[0]) + std::popcount(word[1]); }
  int countOutside(const Nodes& other) const {
    return std::popcount(word[0] & ~other.word[0]) + std::popcount(word[1] & ~other.word[1]);
  }
  bool meets(const Nodes& other) const {
    return (word[0] & other.word[0]) != 0 || (word[1] & other.word[1]) != 0;
  }
  template <typename Visit>
  void forEach(Visit visit) const {
    for (int w = 0; w < 2; ++w)
      for (uint64_t bits = word[w]; bits != 0; bits &= bits - 1)
        visit(64 * w + std::countr_zero(bits));
  }
};

// A strict partial order kept transitively closed: below[v] / above[v] are all nodes that
// must come before / after v.
struct Order {
  std::vector<Nodes> below, above;
  int orderedPairs = 0;

  explicit Order(int n) : below(n), above(n) {}

  bool comparable(int a, int b) const { return above[a].has(b) || below[a].has(b); }

  // Pairs that the arc a -> b would add to the closure, counting only up to `limit` + 1.
  int pairsAdded(int a, int b, int limit) const {
    Nodes lower = below[a], upper = above[b];
    lower.add(a);
    upper.add(b);
    int added = 0;
    lower.forEach([&](int u) {
      if (added <= limit) added += upper.countOutside(above[u]);
    });
    return added;
  }

  void addArc(int a, int b) {
    Nodes lower = below[a], upper = above[b];
    lower.add(a);
    upper.add(b);
    lower.forEach([&](int u) {
      orderedPairs += upper.countOutside(above[u]);
      above[u].join(upper);
    });
    upper.forEach([&](int v) { below[v].join(lower); });
  }

  // From an incomparable pair (x, y) to a critical one: every node below x is below y and every
  // node above y is above x, so the arc x -> y adds the single pair (x, y). Each step shrinks
  // below[x] or above[y], so the walk ends.
  std::pair<int, int> criticalPairFrom(int x, int y) const {
    for (bool moved = true; moved;) {
      moved = false;
      below[x].forEach([&](int z) {
        if (!moved && !below[y].has(z)) x = z, moved = true;
      });
      above[y].forEach([&](int w) {
        if (!moved && !above[x].has(w)) y = w, moved = true;
      });
    }
    return {x, y};
  }
};

// Arcs between random incomparable pairs, in a random order and direction, as long as the
// closure stays within the target; then single pairs through critical pairs, which reach any
// target exactly.
Order randomOrder(Random& random, int n, int target) {
  Order order(n);
  std::vector<std::pair<int, int>> candidates;
  for (int a = 0; a < n; ++a)
    for (int b = a + 1; b < n; ++b) candidates.emplace_back(a, b);
  for (size_t i = candidates.size(); i > 1; --i)
    std::swap(candidates[i - 1], candidates[random.below(i)]);
  for (auto& [a, b] : candidates) {
    if (random.below(2) == 1) std::swap(a, b);
    if (order.orderedPairs == target) break;
    if (order.comparable(a, b)) continue;
    if (order.pairsAdded(a, b, target - order.orderedPairs) <= target - order.orderedPairs)
      order.addArc(a, b);
  }
  size_t next = 0;
  while (order.orderedPairs < target) {
    while (order.comparable(candidates[next].first, candidates[next].second)) ++next;
    const auto [x, y] = order.criticalPairFrom(candidates[next].first, candidates[next].second);
    order.addArc(x, y);
  }
  return order;
}

// position[v]: the job number of node v. Topologically: a node below another has a smaller
// below set, so ordering by its size (ties by node) respects the relation.
std::vector<int> jobNumbers(const Order& order, Random& random, bool shuffled) {
  const int n = static_cast<int>(order.below.size());
  std::vector<int> nodes(n), position(n);
  for (int v = 0; v < n; ++v) nodes[v] = v;
  if (shuffled) {
    for (int i = n; i > 1; --i) std::swap(nodes[i - 1], nodes[random.below(i)]);
  } else {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [&](int u, int v) { return order.below[u].size() < order.below[v].size(); });
  }
  for (int i = 0; i < n; ++i) position[nodes[i]] = i;
  return position;
}

// Direct arcs only (no node between), or every ordered pair; in job numbers, ascending.
std::vector<std::pair<int, int>> listedArcs(const Order& order, const std::vector<int>& position,
                                            bool redundant) {
  std::vector<std::pair<int, int>> arcs;
  const int n = static_cast<int>(order.below.size());
  for (int u = 0; u < n; ++u)
    order.above[u].forEach([&](int v) {
      if (redundant || !order.above[u].meets(order.below[v]))
        arcs.emplace_back(position[u], position[v]);
    });
  std::sort(arcs.begin(), arcs.end());
  return arcs;
}

void appendNumbers(std::string& text, std::initializer_list<int> numbers) {
  const char* separator = "";
  for (int number : numbers) {
    text += separator;
    text += std::to_string(number);
    separator = " ";
  }
}

} // namespace

int tardinessFactorFifths(int instanceNo) {
  return 1 + ((instanceNo - 1) % 25) / 5;
}
// Instance numbers above 125 repeat the pattern.
int dueDateRangeFifths(int instanceNo) {
  return 1 + ((instanceNo - 1) / 25) % 5;
}

int targetOrderedPairs(int n, double os) {
  return static_cast<int>(std::llround(os * (n * (n - 1) / 2)));
}

GeneratedInstance generateInstance(const GeneratorSettings& settings, Family family, int n,
                                   double os, int instanceNo) {
  GeneratedInstance instance;
  instance.family = family;
  instance.n = n;
  instance.os = os;
  instance.instanceNo = instanceNo;
  // All order strengths of a Velmar size share the job file, so its data ignore the strength.
  const std::string jobKey = family == Family::velmar ? std::string() : osField(os);
  Random jobRandom = streamFor(settings.seed, Stream::jobs, family, n, jobKey, instanceNo);
  instance.jobs = generateJobs(jobRandom, n, instanceNo);
  Random relationRandom =
      streamFor(settings.seed, Stream::relation, family, n, osField(os), instanceNo);
  const Order order = randomOrder(relationRandom, n, targetOrderedPairs(n, os));
  const std::vector<int> position = jobNumbers(order, relationRandom, settings.shuffledNumbering);
  instance.arcs = listedArcs(order, position, settings.redundantArcs);
  instance.orderedPairs = order.orderedPairs;
  return instance;
}

// ---- Files ----------------------------------------------------------------------------------
std::string standardFileText(const GeneratedInstance& instance) {
  std::vector<std::vector<int>> successors(instance.n);
  for (auto [before, after] : instance.arcs) successors[before].push_back(after);
  std::string text = std::to_string(instance.n) + "\n";
  for (int i = 0; i < instance.n; ++i) {
    const GeneratedJob& job = instance.jobs[i];
    appendNumbers(text, {job.p, job.dueDate, job.earlinessWeight, job.tardinessWeight,
                         static_cast<int>(successors[i].size())});
    for (int successor : successors[i]) {
      text += ' ';
      text += std::to_string(successor);
    }
    text += "\n";
  }
  return text;
}

std::string velmarJobFileText(const GeneratedInstance& instance) {
  std::string text = std::to_string(instance.n) + "\n";
  for (const GeneratedJob& job : instance.jobs) {
    appendNumbers(text, {job.p, job.dueDate, job.earlinessWeight, job.tardinessWeight});
    text += "\n";
  }
  return text;
}

// Four header words (the reader skips them), then one arc per line.
std::string velmarPrecedenceFileText(const GeneratedInstance& instance) {
  std::string text = "n=" + std::to_string(instance.n) + " os=" + osField(instance.os) +
                     " instance=" + std::to_string(instance.instanceNo) +
                     " arcs=" + std::to_string(instance.arcs.size()) + "\n";
  for (auto [before, after] : instance.arcs) {
    appendNumbers(text, {before, after});
    text += "\n";
  }
  return text;
}

void loadGeneratedInstance(const GeneratedInstance& instance) {
  resetInstance();
  jobCount = static_cast<uint16_t>(instance.n);
  for (int i = 0; i < instance.n; ++i) {
    const GeneratedJob& job = instance.jobs[i];
    p[i] = job.p;
    dueDate[i] = job.dueDate;
    earlinessWeight[i] = job.earlinessWeight;
    tardinessWeight[i] = job.tardinessWeight;
    totalP = static_cast<uint16_t>(totalP + job.p);
    insertJob(allJobs, i);
  }
  for (auto [before, after] : instance.arcs)
    addPrec(static_cast<int16_t>(before), static_cast<int16_t>(after));
}

bool writeTextFile(const std::string& root, const std::string& path, const std::string& text,
                   std::string& error) {
  namespace fs = std::filesystem;
  const fs::path target = fs::path(root) / path;
  // Most files go into a directory that exists already: create directories only when needed.
  std::ofstream file(target, std::ios::binary | std::ios::trunc);
  if (!file.is_open()) {
    std::error_code code;
    fs::create_directories(target.parent_path(), code);
    if (code) {
      error = "cannot create directory " + target.parent_path().string() + ": " + code.message();
      return false;
    }
    file.open(target, std::ios::binary | std::ios::trunc);
  }
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  file.close();
  if (!file) {
    error = "cannot write " + target.string();
    return false;
  }
  return true;
}

// ---- Trees ----------------------------------------------------------------------------------
namespace {

struct TreeWriter {
  const TreePlan& plan;
  TreeSummary& summary;
  std::string& error;

  bool write(const std::string& path, const std::string& text) {
    if (!writeTextFile(plan.root, path, text, error)) return false;
    ++summary.files;
    summary.bytes += static_cast<int64_t>(text.size());
    return true;
  }

  void noteStrength(const GeneratedInstance& instance) {
    const int pairs = instance.n * (instance.n - 1) / 2;
    if (pairs == 0) return;
    double& worst = summary.maxOsDeviation[instance.n];
    worst = std::max(worst, std::abs(double(instance.orderedPairs) / pairs - instance.os));
  }

  bool standardClass(int n, double os) {
    for (int k = 1; k <= plan.count; ++k) {
      const GeneratedInstance instance =
          generateInstance(plan.settings, Family::standard, n, os, k);
      noteStrength(instance);
      if (!write(standardInstancePath(n, os, k), standardFileText(instance))) return false;
    }
    return true;
  }

  bool velmarJobFiles(int n) {
    for (int k = 1; k <= plan.count; ++k) {
      const GeneratedInstance instance = generateInstance(plan.settings, Family::velmar, n, 0, k);
      if (!write(velmarJobPath(n, k), velmarJobFileText(instance))) return false;
    }
    return true;
  }

  // Precedence files of the objective the bench always uses (2, the "wt" files).
  bool velmarPrecedenceClass(int n, double os) {
    for (int k = 1; k <= plan.count; ++k) {
      const GeneratedInstance instance = generateInstance(plan.settings, Family::velmar, n, os, k);
      noteStrength(instance);
      if (!write(velmarPrecedencePath(2, n, os, k), velmarPrecedenceFileText(instance)))
        return false;
    }
    return true;
  }
};

std::string className(const char* family, int n, double os) {
  return std::string(family) + " n " + std::to_string(n) + " OS " + osField(os);
}

} // namespace

bool writeTree(const TreePlan& plan, TreeSummary& summary, std::string& error,
               const std::function<void(const std::string&)>& progress) {
  TreeWriter writer{plan, summary, error};
  const auto report = [&](const std::string& done) {
    if (progress) progress(done);
  };
  for (Family family : plan.families) {
    const bool standard = family == Family::standard;
    const std::vector<int>& nValues = !plan.nValues.empty() ? plan.nValues
                                      : standard            ? standardNValues
                                                            : velmarNValues;
    const std::vector<double>& osValues = !plan.osValues.empty() ? plan.osValues
                                          : standard             ? standardOsValues
                                                                 : velmarOsValues;
    for (int n : nValues) {
      if (!standard && !writer.velmarJobFiles(n)) return false;
      for (double os : osValues) {
        if (standard ? !writer.standardClass(n, os)
                     : os > 0 && !writer.velmarPrecedenceClass(n, os))
          return false;
        report(className(standard ? "standard" : "Velmar", n, os));
      }
    }
  }
  return true;
}

} // namespace precdp::gen
