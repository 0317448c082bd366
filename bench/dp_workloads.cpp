// DP workloads: seeded instances without precedence, solved on the program's full store.
#include "perf.h"

#include "dp/dp.h"
#include "platform/platform.h"

#include <random>
#include <string>

namespace precdp::bench {

namespace {

// Processing times 1..100, weights 1..10, due dates spread over the schedule.
void loadUnconstrained(int n, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> processing(1, 100), weight(1, 10);
  resetInstance();
  jobCount = static_cast<uint16_t>(n);
  for (int i = 0; i < n; ++i) {
    p[i] = static_cast<uint16_t>(processing(random));
    tardinessWeight[i] = earlinessWeight[i] = static_cast<uint16_t>(weight(random));
    totalP = static_cast<uint16_t>(totalP + p[i]);
    insertJob(allJobs, i);
  }
  std::uniform_int_distribution<int> due(0, totalP);
  for (int i = 0; i < n; ++i) dueDate[i] = static_cast<uint16_t>(due(random));
}

} // namespace

bool runDpSection() {
  if (!allocateStore(maxState)) return false;
  printHeader();
  bool ok = true;
  for (int n : {20, 22, 24}) {
    loadUnconstrained(n, 1000 + n);
    maxCPU = 1e9;
    startClock = clockTicks();
    const double start = wallSeconds();
    dpSolve();
    const double seconds = wallSeconds() - start;
    printRow("no-prec n=" + std::to_string(n), seconds, totalStates, 0, maxLayerSize, totalStates,
             resultSlot());
    ok = ok && totalStates == (uint64_t{1} << n);
  }
  freeStore();
  return ok;
}

} // namespace precdp::bench
