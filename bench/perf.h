// The performance harness: each section measures fixed, seeded workloads and prints its figures.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace precdp::bench {

// Wall-clock seconds since an arbitrary origin, for timing a workload.
double wallSeconds();

// Prints one aligned row of a figures table.
void printRow(const std::string& workload, double seconds, uint64_t states, uint64_t lookups,
              uint32_t maxLayer, uint64_t total, int64_t objective);
void printHeader();

// A fixed set of instances solved on a store of `capacity` states per layer.
struct Workload {
  std::string name;
  uint32_t capacity;                            // states per layer of the store it runs on
  std::vector<std::function<void()>> instances; // each loads one instance into the tables
  bool large = false;                           // a DP of minutes: one run of each solver
  bool literal = true;                          // also timed against the literal DP
};

// The DP workloads, shared by the sections that time dpSolve; only those whose name contains
// workloadFilter (precdp-perf --only TEXT), all when it is empty.
std::vector<Workload> dpWorkloads();
extern std::string workloadFilter;

// Makes the kernel's resident high-water mark, which peakResidentBytes reports, start again
// from the current resident size.
void resetPeakResident();

// Sections; each returns false when a check inside it failed.
bool runDpSection();
bool runTheoremSection();
bool runSequenceSection();
bool runBoundedSection();
bool runThreadSection();

} // namespace precdp::bench
