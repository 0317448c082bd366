// Theorem workloads: the pass on generated standard instances (p 1..100, weights 1..10, due
// dates from TF = RDD = 0.6), timed against the literal pass on the same instance. The section
// fails when the two leave different tables or add different arcs.
#include "perf.h"

#include "gen/generator.h"
#include "graph/graph.h"
#include "platform/platform.h"
#include "reference/literal_theorems.h"
#include "theorems/theorems.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace precdp::bench {

namespace {

constexpr int dueDateClassInstance = 63; // TF = 0.6, RDD = 0.6

// Everything the pass writes.
struct PassTables {
  JobSet domPred[maxJobs], domSucc[maxJobs];
  uint16_t earliestStart[maxJobs], latestEnd[maxJobs];
  uint16_t pairEarliestStart[maxJobs][maxJobs], pairLatestEnd[maxJobs][maxJobs];

  void save() {
    std::memcpy(domPred, precdp::domPred, sizeof domPred);
    std::memcpy(domSucc, precdp::domSucc, sizeof domSucc);
    std::memcpy(earliestStart, precdp::earliestStart, sizeof earliestStart);
    std::memcpy(latestEnd, precdp::latestEnd, sizeof latestEnd);
    std::memcpy(pairEarliestStart, precdp::pairEarliestStart, sizeof pairEarliestStart);
    std::memcpy(pairLatestEnd, precdp::pairLatestEnd, sizeof pairLatestEnd);
  }
  void restore() const {
    std::memcpy(precdp::domPred, domPred, sizeof domPred);
    std::memcpy(precdp::domSucc, domSucc, sizeof domSucc);
    std::memcpy(precdp::earliestStart, earliestStart, sizeof earliestStart);
    std::memcpy(precdp::latestEnd, latestEnd, sizeof latestEnd);
    std::memcpy(precdp::pairEarliestStart, pairEarliestStart, sizeof pairEarliestStart);
    std::memcpy(precdp::pairLatestEnd, pairLatestEnd, sizeof pairLatestEnd);
  }
  bool operator==(const PassTables& other) const {
    return std::memcmp(this, &other, sizeof *this) == 0;
  }
};

std::vector<std::pair<int, int>> arcs;
void recordArc(int a, int b) {
  arcs.emplace_back(a, b);
}

// Share of pairs ordered by the instance and the theorem arcs together.
double combinedOrderStrength() {
  const int n = jobCount;
  int ordered = 0;
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k)
      if (contains(pred[i], k) || contains(domPred[i], k)) ++ordered;
  return ordered / (n * (n - 1) / 2.0);
}

// Times, in process CPU seconds (the machine may be shared), the fast pass (repeated for at least
// a fifth of a second) and the literal pass once on the loaded instance; prints one row and
// returns whether both agree.
bool measure(const std::string& workload, Theorem theorem) {
  computeTimeWindows();
  const double os1 = orderStrength();
  PassTables start, fast, literal;
  start.save();

  int repeats = 0;
  const int64_t fastStart = clockTicks();
  do {
    start.restore();
    arcs.clear();
    theoremArcObserver = recordArc;
    precTheoremPass(theorem);
    theoremArcObserver = nullptr;
    ++repeats;
  } while (secondsSince(fastStart) < 0.2);
  const double fastSeconds = secondsSince(fastStart) / repeats;
  fast.save();
  const std::vector<std::pair<int, int>> fastArcs = arcs;
  const double os2 = combinedOrderStrength();

  start.restore();
  arcs.clear();
  const int64_t literalStart = clockTicks();
  reference::literalPrecTheoremPass(theorem == Theorem::kanet ? reference::literalKanetPairRule
                                                              : reference::literalEmmonsPairRule,
                                    recordArc);
  const double literalSeconds = secondsSince(literalStart);
  literal.save();

  const bool same = fast == literal && fastArcs == arcs;
  std::printf("%-24s %6.3f %6.3f %7zu %11.6f %13.3f %9.0f %s\n", workload.c_str(), os1, os2,
              fastArcs.size(), fastSeconds, literalSeconds, literalSeconds / fastSeconds,
              same ? "same" : "DIFFERENT");
  std::fflush(stdout);
  return same;
}

} // namespace

bool runTheoremSection() {
  std::printf("%-24s %6s %6s %7s %11s %13s %9s %s\n", "workload", "OS1", "OS2", "arcs",
              "fast cpu s", "literal cpu s", "ratio", "tables");
  gen::GeneratorSettings settings;
  bool ok = true;
  for (int n : {60, 100, 120}) {
    for (double os : {0.0, 0.2}) {
      const gen::GeneratedInstance instance =
          gen::generateInstance(settings, gen::Family::standard, n, os, dueDateClassInstance);
      for (Theorem theorem : {Theorem::kanet, Theorem::emmons}) {
        gen::loadGeneratedInstance(instance);
        char workload[64];
        std::snprintf(workload, sizeof workload, "%s n=%d os=%g",
                      theorem == Theorem::kanet ? "kanet" : "emmons", n, os);
        ok = measure(workload, theorem) && ok;
      }
    }
  }
  return ok;
}

} // namespace precdp::bench
