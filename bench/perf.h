// The performance harness: each section measures fixed, seeded workloads and prints its figures.
#pragma once

#include <cstdint>
#include <string>

namespace precdp::bench {

// Wall-clock seconds since an arbitrary origin, for timing a workload.
double wallSeconds();

// Prints one aligned row of a figures table.
void printRow(const std::string& workload, double seconds, uint64_t states, uint64_t lookups,
              uint32_t maxLayer, uint64_t total, int64_t objective);
void printHeader();

// Sections; each returns false when a check inside it failed.
bool runDpSection();
bool runTheoremSection();
bool runBoundedSection();

} // namespace precdp::bench
