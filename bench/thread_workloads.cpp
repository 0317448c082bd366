// The DP's stages on several threads: the larger DP workloads solved on 1 and on 2 threads,
// wall and process CPU seconds of each, and the speed-up. The section fails when the runs
// differ in objective, maxLayerSize or totalStates.
#include "perf.h"

#include "dp/dp.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <thread>

namespace precdp::bench {

namespace {

struct ThreadTiming {
  double wall = 0, cpu = 0; // seconds of the DP calls alone
  std::vector<int64_t> results;
  uint32_t maxLayer = 0;
  double peakMiB = 0; // resident high-water mark of the runs on their fresh store
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

// The fastest of two runs on a fresh store; one run of a large workload. Empty when the store
// cannot be reserved.
std::optional<ThreadTiming> fastestRun(const Workload& workload, unsigned threads) {
  if (!allocateStore(workload.capacity)) return std::nullopt;
  resetPeakResident();
  ThreadTiming best = timeThreads(workload, threads);
  if (!workload.large) {
    ThreadTiming second = timeThreads(workload, threads);
    if (second.wall < best.wall) best = second;
  }
  best.peakMiB = peakResidentBytes() / 1048576.0;
  freeStore();
  return best;
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
              "threads), fastest of\n2 runs (1 of a large workload), untraced; MiB: resident "
              "high-water mark of those runs on\ntheir own fresh store. %u hardware threads "
              "here.\n",
              std::thread::hardware_concurrency());
  std::printf("%-36s %10s %8s %8s %8s %8s %8s %8s %9s\n", "workload", "uas", "wall 1", "cpu 1",
              "MiB 1", "wall 2", "cpu 2", "MiB 2", "speed-up");
  bool ok = true;
  for (const Workload& workload : dpWorkloads()) {
    if (!timedOnThreads(workload)) continue;
    const std::optional<ThreadTiming> one = fastestRun(workload, 1);
    const std::optional<ThreadTiming> two = fastestRun(workload, 2);
    if (!one || !two) return false;
    const bool same = one->results == two->results;
    std::printf("%-36s %10u %8.3f %8.3f %8.0f %8.3f %8.3f %8.0f %8.2fx %s\n", workload.name.c_str(),
                one->maxLayer, one->wall, one->cpu, one->peakMiB, two->wall, two->cpu, two->peakMiB,
                one->wall / two->wall, same ? "identical" : "MISMATCH in obj, uas or ts");
    std::fflush(stdout);
    ok = ok && same;
  }
  return ok;
}

} // namespace precdp::bench
