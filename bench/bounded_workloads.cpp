// Bounded DP workloads: seeded instances of the generator's Velmar family after the Kanet pass
// and the relabeling, solved by dpSolveBounded on the full store. Per instance: whether it was
// solved, seconds (heuristic and DP), the states kept, the heuristic's gap to the optimum; where
// the exact DP is run too (the smaller sizes), its time and the speed-up. The section fails when
// a bounded result differs from the exact DP's or the heuristic's sequence is infeasible.
#include "perf.h"

#include "dp/dp.h"
#include "gen/generator.h"
#include "graph/graph.h"
#include "platform/platform.h"
#include "theorems/theorems.h"

#include <cstdio>
#include <vector>

namespace precdp::bench {

namespace {

void loadVelmarAfterKanet(int n, int instanceNo) {
  gen::loadGeneratedInstance(
      gen::generateInstance(gen::GeneratorSettings{}, gen::Family::velmar, n, 0.0, instanceNo));
  computeTimeWindows();
  kanetPrec();
  topoRelabel();
}

struct Run {
  double seconds = 0;
  int32_t objective = -1;
  uint32_t uas = 0;
  uint64_t ts = 0;
};

template <typename Solver>
Run timedRun(Solver solver, double timeLimit) {
  resetStore();
  maxCPU = timeLimit;
  startClock = clockTicks();
  const double start = wallSeconds();
  solver();
  return {wallSeconds() - start, resultSlot(), maxLayerSize, totalStates};
}

struct VelmarWorkload {
  int n;
  std::vector<int> instanceNos;
  bool withExact;   // run the exact DP as well, for the speed-up and the check
  double timeLimit; // maxCPU of each run, seconds; tested between stages only
};

} // namespace

bool runBoundedSection() {
  std::printf("Velmar family, order strength 0, Kanet pass; n jobs, instance number. seconds:"
              " wall clock (UB: the\nheuristic alone; bounded: heuristic and DP). gap: (UB -"
              " optimum) / optimum, where solved. Time limit 3601 s.\n");
  std::printf("%-14s %8s %10s %10s %10s %12s %9s %10s %9s\n", "workload", "UB s", "bounded s",
              "obj", "uas", "ts", "gap %", "exact s", "speed-up");
  const std::vector<VelmarWorkload> workloads = {
      {40, {1, 6, 26, 51, 76, 101}, true, 3601.0},
      {50, {1, 6, 26, 51, 76, 101}, true, 3601.0},
      {100, {1, 6, 7, 11, 13, 26, 51, 76, 101, 121}, false, 3601.0}};
  if (!allocateStore(maxState)) return false;
  bool ok = true;
  for (const VelmarWorkload& workload : workloads) {
    int solved = 0;
    double boundedSeconds = 0, exactSeconds = 0;
    uint64_t states = 0;
    for (int instanceNo : workload.instanceNos) {
      loadVelmarAfterKanet(workload.n, instanceNo);
      const double start = wallSeconds();
      const int64_t heuristicCost = buildHeuristicSchedule();
      const double heuristicSeconds = wallSeconds() - start;
      ok = ok && sequenceFeasible(heuristicSequence);
      const Run bounded = timedRun(dpSolveBounded, workload.timeLimit);
      Run exact;
      if (workload.withExact) {
        exact = timedRun(dpSolve, workload.timeLimit);
        ok = ok && exact.objective == bounded.objective;
      }
      solved += bounded.objective >= 0;
      boundedSeconds += bounded.seconds;
      exactSeconds += exact.seconds;
      states += bounded.ts;
      char name[32];
      std::snprintf(name, sizeof name, "n%d #%d", workload.n, instanceNo);
      const double gap = bounded.objective > 0
                             ? 100.0 * (heuristicCost - bounded.objective) / bounded.objective
                             : 0.0;
      std::printf("%-14s %8.3f %10.3f %10d %10u %12llu %9.3f", name, heuristicSeconds,
                  bounded.seconds, bounded.objective, bounded.uas,
                  static_cast<unsigned long long>(bounded.ts), gap);
      if (workload.withExact)
        std::printf(" %10.3f %8.1fx%s", exact.seconds, exact.seconds / bounded.seconds,
                    exact.objective == bounded.objective ? "" : " MISMATCH");
      std::printf("\n");
      std::fflush(stdout);
    }
    std::printf("n%-3d solved %d of %zu, bounded %.3f s, %llu states", workload.n, solved,
                workload.instanceNos.size(), boundedSeconds,
                static_cast<unsigned long long>(states));
    if (workload.withExact)
      std::printf(", exact %.3f s, speed-up %.1fx", exactSeconds, exactSeconds / boundedSeconds);
    std::printf("\n");
  }
  freeStore();
  return ok;
}

} // namespace precdp::bench
