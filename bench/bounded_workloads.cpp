// Bounded DP workloads: seeded instances of the generator's Velmar family of order strength 0,
// and one class of its standard family, after the Kanet pass and the relabeling, solved by
// dpSolveBounded on the full store. Per instance: whether it was
// solved, seconds (heuristic and DP), the states kept, the heuristic's gap to the optimum, and
// the exact DP's time and the speed-up, or why the exact DP stopped (its time limit or the
// capacity). The speed-up of a size is over the instances both solved. The section fails when a
// result of both differs or the heuristic's sequence is infeasible. --only TEXT keeps the
// instances whose name ("n100 #6", "std n40 #6") followed by a space contains TEXT.
#include "perf.h"

#include "dp/dp.h"
#include "gen/generator.h"
#include "graph/graph.h"
#include "platform/platform.h"
#include "theorems/theorems.h"

#include <cstdio>
#include <string>
#include <vector>

namespace precdp::bench {

namespace {

void loadAfterKanet(gen::Family family, int n, double os, int instanceNo) {
  gen::loadGeneratedInstance(
      gen::generateInstance(gen::GeneratorSettings{}, family, n, os, instanceNo));
  computeTimeWindows();
  kanetPrec();
  topoRelabel();
}

struct Run {
  double seconds = 0;
  int32_t objective = -1;
  uint32_t uas = 0;
  uint64_t ts = 0;
  double cpuSeconds = 0; // as the time limit counts them
};

// A run of a few milliseconds is repeated until repeatSeconds have passed in all, and its
// seconds are the mean: one such run is below the clock's noise. The figures are the last run's.
constexpr double repeatSeconds = 0.2;

template <typename Solver>
Run timedRun(Solver solver, double timeLimit) {
  const double start = wallSeconds();
  Run run;
  int runs = 0;
  do {
    resetStore();
    maxCPU = timeLimit;
    startClock = clockTicks();
    solver();
    run = {0, resultSlot(), maxLayerSize, totalStates, secondsSince(startClock)};
    ++runs;
  } while (wallSeconds() - start < repeatSeconds);
  run.seconds = (wallSeconds() - start) / runs;
  return run;
}

struct BoundedWorkload {
  gen::Family family;
  int n;
  double os;
  std::vector<int> instanceNos;
  double timeLimit;  // maxCPU of each bounded run, seconds; tested between stages only
  double exactLimit; // maxCPU of each exact run
};

// The exact run's columns: its seconds, and the speed-up or why it gave no result.
void printExact(const Run& exact, const Run& bounded, double limit) {
  std::printf(" %10.6f", exact.seconds);
  if (exact.objective < 0)
    std::printf(" %9s", exact.cpuSeconds >= limit ? "time" : "capacity");
  else if (bounded.objective >= 0)
    std::printf(" %8.1fx%s", exact.seconds / bounded.seconds,
                exact.objective == bounded.objective ? "" : " MISMATCH");
}

} // namespace

bool runBoundedSection() {
  std::printf(
      "Velmar family, order strength 0, and standard family (std), order strength 0.2;"
      " Kanet pass;\nn jobs, instance number. seconds: wall clock (UB: the"
      " heuristic alone; bounded: heuristic\nand DP). gap: (UB -"
      " optimum) / optimum, where solved.\nTime limit: bounded 3601 s (std 5401 s), exact 120 s of"
      " CPU (checked between stages). Speed-up over the\ninstances both solved.\n");
  std::printf("%-14s %8s %10s %10s %10s %12s %9s %10s %9s\n", "workload", "UB s", "bounded s",
              "obj", "uas", "ts", "gap %", "exact s", "speed-up");
  std::vector<int> onePerDueDateClass; // 1, 6, ..., 121
  for (int instanceNo = 1; instanceNo <= 125; instanceNo += 5)
    onePerDueDateClass.push_back(instanceNo);
  const gen::Family velmar = gen::Family::velmar, standard = gen::Family::standard;
  const std::vector<BoundedWorkload> workloads = {
      {velmar, 40, 0, {1, 6, 26, 51, 76, 101}, 3601.0, 120.0},
      {velmar, 50, 0, {1, 6, 26, 51, 76, 101}, 3601.0, 120.0},
      {velmar, 100, 0, {1, 6, 7, 11, 13, 26, 51, 76, 101, 121}, 3601.0, 120.0},
      {standard, 40, 0.2, onePerDueDateClass, 5401.0, 120.0}};
  if (!allocateStore(maxState)) return false;
  bool ok = true;
  for (const BoundedWorkload& workload : workloads) {
    const char* prefix = workload.family == standard ? "std " : "";
    int solved = 0, run = 0, bothSolved = 0;
    double boundedSeconds = 0, bothBounded = 0, bothExact = 0;
    uint64_t states = 0;
    for (int instanceNo : workload.instanceNos) {
      char name[32];
      std::snprintf(name, sizeof name, "%sn%d #%d", prefix, workload.n, instanceNo);
      // Matched with a space after the name: "n100 #1 " picks #1 alone, not #11 or #121.
      if ((std::string(name) + " ").find(workloadFilter) == std::string::npos) continue;
      ++run;
      loadAfterKanet(workload.family, workload.n, workload.os, instanceNo);
      const double start = wallSeconds();
      const int64_t heuristicCost = buildHeuristicSchedule();
      const double heuristicSeconds = wallSeconds() - start;
      ok = ok && sequenceFeasible(heuristicSequence);
      const Run bounded = timedRun(dpSolveBounded, workload.timeLimit);
      const Run exact = timedRun(dpSolve, workload.exactLimit);
      const bool both = bounded.objective >= 0 && exact.objective >= 0;
      ok = ok && (!both || exact.objective == bounded.objective);
      solved += bounded.objective >= 0;
      boundedSeconds += bounded.seconds;
      states += bounded.ts;
      bothSolved += both;
      bothBounded += both ? bounded.seconds : 0;
      bothExact += both ? exact.seconds : 0;
      const double gap = bounded.objective > 0
                             ? 100.0 * (heuristicCost - bounded.objective) / bounded.objective
                             : 0.0;
      std::printf("%-14s %8.6f %10.6f %10d %10u %12llu %9.3f", name, heuristicSeconds,
                  bounded.seconds, bounded.objective, bounded.uas,
                  static_cast<unsigned long long>(bounded.ts), gap);
      printExact(exact, bounded, workload.exactLimit);
      std::printf("\n");
      std::fflush(stdout);
    }
    if (run == 0) continue;
    std::printf("%sn%-3d solved %d of %d, bounded %.4f s, %llu states; both solved %d", prefix,
                workload.n, solved, run, boundedSeconds, static_cast<unsigned long long>(states),
                bothSolved);
    if (bothSolved > 0)
      std::printf(": exact %.4f s, bounded %.4f s, speed-up %.1fx", bothExact, bothBounded,
                  bothExact / bothBounded);
    std::printf("\n");
  }
  freeStore();
  return ok;
}

} // namespace precdp::bench
