// DP workloads: fixed, seeded instances solved by dpSolve and by the literal baseline on the
// same fresh store (dpSolve first, so both find the store's pages already backed). The section
// fails when the two differ in objective, maxLayerSize, totalStates or lookups on any instance.
#include "perf.h"

#include "dp/dp.h"
#include "gen/generator.h"
#include "graph/graph.h"
#include "platform/platform.h"
#include "reference/literal_dp.h"
#include "theorems/theorems.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

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

// A generated standard instance as the program solves it with the Kanet theorem: the pass,
// then the relabeling.
void loadAfterKanet(const gen::GeneratedInstance& instance) {
  gen::loadGeneratedInstance(instance);
  computeTimeWindows();
  kanetPrec();
  topoRelabel();
}

// Instances instanceNos of the standard class (n, os), each after the Kanet pass.
Workload generatedClass(int n, double os, const std::vector<int>& instanceNos) {
  char name[64];
  std::snprintf(name, sizeof name, "std n%d os%g x%zu", n, os, instanceNos.size());
  Workload workload{name, maxState, {}};
  for (int instanceNo : instanceNos) {
    const gen::GeneratedInstance instance =
        gen::generateInstance(gen::GeneratorSettings{}, gen::Family::standard, n, os, instanceNo);
    workload.instances.push_back([instance] { loadAfterKanet(instance); });
  }
  return workload;
}

// Velmar instances of 100 jobs without precedence after the Kanet pass: the hard DPs of the
// program, one instance per workload.
Workload velmarInstance(int instanceNo, const char* shape, bool literal) {
  const gen::GeneratedInstance instance =
      gen::generateInstance(gen::GeneratorSettings{}, gen::Family::velmar, 100, 0, instanceNo);
  return {"velmar n100 os0 #" + std::to_string(instanceNo) + " " + shape,
          maxState,
          {[instance] { loadAfterKanet(instance); }},
          true,
          literal};
}

// One instance of every (tardiness factor, due-date range) pair: 1, 6, ..., 121.
std::vector<int> onePerDueDateClass() {
  std::vector<int> instanceNos;
  for (int instanceNo = 1; instanceNo <= 125; instanceNo += 5) instanceNos.push_back(instanceNo);
  return instanceNos;
}

} // namespace

std::vector<Workload> dpWorkloads() {
  std::vector<Workload> list;
  for (int n : {22, 24, 26})
    list.push_back(
        {"no-prec n=" + std::to_string(n), maxState, {[n] { loadUnconstrained(n, 1000 + n); }}});
  // Layers of up to 705,432 states: a store of 500,000 stops the run in stage 11.
  list.push_back({"capacity-stop n=22", 500000, {[] { loadUnconstrained(22, 1022); }}});
  list.push_back(generatedClass(40, 0.4, onePerDueDateClass()));
  list.push_back(generatedClass(40, 0.6, onePerDueDateClass()));
  list.push_back(generatedClass(60, 0.8, onePerDueDateClass()));
  // Beyond the plan above: the largest DP of its class, and jobs in both set words.
  list.push_back(generatedClass(60, 0.4, {63}));
  list.push_back(generatedClass(100, 0.8, onePerDueDateClass()));
  // Layers of tens of millions of states, the largest over 50 M; and a DP whose layers outgrow
  // the full store (stopped at 194,999,999 states). The literal DP runs on the 10 M one only:
  // on the 87 M one it would take about a quarter of an hour.
  list.push_back(velmarInstance(71, "uas 10M", true));
  list.push_back(velmarInstance(72, "uas 87M", false));
  list.push_back(velmarInstance(31, "capacity", false));
  std::erase_if(list, [](const Workload& workload) {
    return workload.name.find(workloadFilter) == std::string::npos;
  });
  return list;
}

void resetPeakResident() {
  if (std::FILE* file = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", file);
    std::fclose(file);
  }
}

namespace {

// States built and seconds spent per band of layer sizes, taken stage by stage through the
// progress hook: a new progressStage means the layer before it is complete.
struct LayerBands {
  static constexpr uint32_t upper[] = {1000000, 5000000, 20000000, 50000000, UINT32_MAX};
  static constexpr const char* names[] = {"< 1M", "1M-5M", "5M-20M", "20M-50M", ">= 50M"};
  static constexpr int count = 5;
  double seconds[count] = {};
  uint64_t states[count] = {};

  void add(uint32_t layer, double spent) {
    int band = 0;
    while (layer >= upper[band]) ++band;
    seconds[band] += spent;
    states[band] += layer;
  }
  void print(const std::string& workload) const {
    std::printf("%-28s states/s by layer size:", workload.c_str());
    for (int band = 0; band < count; ++band)
      if (states[band] > 0) std::printf("  %s %.4g", names[band], states[band] / seconds[band]);
    std::printf("\n");
  }
};

LayerBands bands;       // of the dpSolve runs being timed
uint16_t bandStage = 0; // the stage the hook saw last
double bandStageStart = 0;

void recordStageEnd() {
  const double now = wallSeconds();
  bands.add(layerSize[curLayer], now - bandStageStart);
  bandStageStart = now;
}

void watchStages(uint32_t) {
  if (progressStage == bandStage) return;
  if (bandStage != 0) { // the stage before is complete: its layer is the one being expanded
    const double now = wallSeconds();
    bands.add(layerSize[prevLayer], now - bandStageStart);
    bandStageStart = now;
  }
  bandStage = progressStage;
}

// What one solver gave on a workload.
struct Outcome {
  std::vector<int64_t> results; // objective, maxLayerSize, totalStates, lookups per instance
  double seconds = 0;           // wall-clock seconds of the DP calls alone
  int64_t objectiveSum = 0;
  uint32_t maxLayer = 0;
  uint64_t states = 0;
  uint64_t lookups = 0;
  LayerBands bands; // dpSolve only
};

struct Solver {
  const char* name;
  void (*solve)();
  const uint64_t* lookups; // the solver's lookup counter
  int32_t (*result)();     // the solver's result slot
};

int32_t projectResult() {
  return resultSlot();
}

void literalSolve() {
  reference::literalDpSolve();
}

Outcome runOnce(const Workload& workload, const Solver& solver) {
  Outcome outcome;
  bands = {};
  for (const auto& load : workload.instances) {
    load();
    maxCPU = 1e9;
    startClock = clockTicks();
    const bool watched = solver.solve == dpSolve;
    if (watched) progressHook = watchStages;
    bandStage = 0;
    const double start = wallSeconds();
    bandStageStart = start;
    solver.solve();
    if (watched && resultSlot() != -1) recordStageEnd();
    outcome.seconds += wallSeconds() - start;
    progressHook = nullptr;
    const int64_t objective = solver.result();
    outcome.results.insert(outcome.results.end(),
                           {objective, maxLayerSize, static_cast<int64_t>(totalStates),
                            static_cast<int64_t>(*solver.lookups)});
    outcome.objectiveSum += objective;
    outcome.maxLayer = std::max(outcome.maxLayer, maxLayerSize);
    outcome.states += totalStates;
    outcome.lookups += *solver.lookups;
  }
  outcome.bands = bands;
  return outcome;
}

// The fastest of `minimum` to `maximum` runs; beyond the minimum, runs stop once `budget`
// seconds went.
Outcome fastestRun(const Workload& workload, const Solver& solver, int minimum, int maximum,
                   double budget) {
  Outcome best;
  double spent = 0;
  for (int run = 0; run < maximum && (run < minimum || spent < budget); ++run) {
    Outcome outcome = runOnce(workload, solver);
    spent += outcome.seconds;
    if (run == 0 || outcome.seconds < best.seconds) best = std::move(outcome);
  }
  return best;
}

void printOutcome(const Workload& workload, const Solver& solver, const Outcome& outcome) {
  printRow(workload.name + " " + solver.name, outcome.seconds, outcome.states, outcome.lookups,
           outcome.maxLayer, outcome.states, outcome.objectiveSum);
}

} // namespace

bool runDpSection() {
  const Solver project{"dpSolve", dpSolve, &lookupCount, projectResult};
  const Solver literal{"literal", literalSolve, &reference::literalLookupCount, projectResult};
  std::printf("seconds: wall clock of the DP calls, fastest run (dpSolve: 2 to 5 runs, the first"
              " on the fresh store;\nliteral: 1 to 3 runs, on the store dpSolve has touched;"
              " velmar: one run each). peakMiB:\nresident high-water mark of the workload's"
              " runs. std: generated standard instances after the\nKanet pass and the"
              " relabeling; velmar: Velmar instances after the Kanet pass.\n");
  printHeader();
  bool ok = true;
  for (const Workload& workload : dpWorkloads()) {
    if (!allocateStore(workload.capacity)) return false;
    resetPeakResident();
    const int runs = workload.large ? 1 : 2;
    const Outcome fast = fastestRun(workload, project, runs, workload.large ? 1 : 5, 10.0);
    printOutcome(workload, project, fast);
    fast.bands.print(workload.name + " dpSolve");
    if (!workload.literal) continue;
    resetPeakResident();
    const Outcome baseline = fastestRun(workload, literal, 1, workload.large ? 1 : 3, 10.0);
    printOutcome(workload, literal, baseline);
    const bool same = fast.results == baseline.results;
    std::printf("%-28s %9.2fx %s\n", (workload.name + " speed-up").c_str(),
                baseline.seconds / fast.seconds,
                same ? "identical results" : "MISMATCH in objective, uas, ts or lookups");
    ok = ok && same;
  }
  freeStore();
  return ok;
}

} // namespace precdp::bench
