// The DP's stages on several threads: the larger DP workloads solved on 1 and on 2 threads,
// wall and process CPU seconds of each, and the speed-up. The section fails when the runs
// differ in objective, maxLayerSize or totalStates.
#include "perf.h"

#include "dp/dp.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace precdp::bench {

namespace {

struct ThreadTiming {
  double wall = 0, cpu = 0; // seconds of the DP calls alone
  std::vector<int64_t> results;
  uint32_t maxLayer = 0;
};

ThreadTiming timeThreads(const Workload& workload, unsigned threads) {
  ThreadTiming timing;
  dpThreads = threads;
  for (const auto& load : workload.instances) {
    load();
    maxCPU = 1e9;
    startClock = clockTicks();
    const double start = wallSeconds();
    dpSolve();
    timing.wall += wallSeconds() - start;
    timing.cpu += secondsSince(startClock);
    timing.results.insert(timing.results.end(),
                          {resultSlot(), maxLayerSize, static_cast<int64_t>(totalStates)});
    timing.maxLayer = std::max(timing.maxLayer, maxLayerSize);
  }
  dpThreads = 1;
  return timing;
}

// The fastest of two runs; one run of a large workload.
ThreadTiming fastestRun(const Workload& workload, unsigned threads) {
  ThreadTiming best = timeThreads(workload, threads);
  if (workload.large) return best;
  ThreadTiming second = timeThreads(workload, threads);
  return second.wall < best.wall ? second : best;
}

// n = 24 and 26 without precedence, and the Velmar workloads of layers past 5 M states that
// finish within the store.
bool timedOnThreads(const Workload& workload) {
  return workload.name == "no-prec n=24" || workload.name == "no-prec n=26" ||
         workload.name.find(" uas ") != std::string::npos;
}

} // namespace

bool runThreadSection() {
  std::printf("wall, cpu: seconds of the DP calls (wall clock; process CPU time summed over "
              "threads), fastest of\n2 runs (1 of a large workload), 1 thread first on the fresh "
              "store, untraced. %u hardware\nthreads here.\n",
              std::thread::hardware_concurrency());
  std::printf("%-36s %10s %9s %9s %9s %9s %9s\n", "workload", "uas", "wall 1", "cpu 1", "wall 2",
              "cpu 2", "speed-up");
  bool ok = true;
  for (const Workload& workload : dpWorkloads()) {
    if (!timedOnThreads(workload)) continue;
    if (!allocateStore(workload.capacity)) return false;
    const ThreadTiming one = fastestRun(workload, 1);
    const ThreadTiming two = fastestRun(workload, 2);
    const bool same = one.results == two.results;
    std::printf("%-36s %10u %9.3f %9.3f %9.3f %9.3f %8.2fx %s\n", workload.name.c_str(),
                one.maxLayer, one.wall, one.cpu, two.wall, two.cpu, one.wall / two.wall,
                same ? "identical" : "MISMATCH in obj, uas or ts");
    std::fflush(stdout);
    ok = ok && same;
  }
  freeStore();
  return ok;
}

} // namespace precdp::bench
