// What every successful read must leave in the instance tables. A fuzz target calls
// checkInstance after a read that returned true and aborts on the first broken invariant.
#pragma once

#include "instance/instance.h"

#include <cstdio>
#include <cstdlib>

namespace precdp::fuzz {

inline void require(bool holds, const char* invariant, int job = -1) {
  if (holds) return;
  std::fprintf(stderr, "broken invariant: %s (job %d)\n", invariant, job);
  std::abort();
}

// Bits 60..63 of a word are no job; jobs at or above jobCount are in no set.
inline bool withinJobs(const JobSet& set) {
  return without(set, allJobs) == JobSet{};
}

inline void checkInstance() {
  require(jobCount <= maxJobs, "jobCount within capacity");
  JobSet expected{};
  for (int j = 0; j < jobCount; ++j) insertJob(expected, j);
  require(allJobs == expected, "allJobs is exactly 0..jobCount-1");
  long sum = 0, weights = 0;
  for (int j = 0; j < jobCount; ++j) {
    sum += p[j];
    weights += tardinessWeight[j];
  }
  require(sum <= 65535 && sum == totalP, "totalP is the sum of p within 16 bits");
  require(weights * sum <= 2147483647L, "largest cost within the DP's 32-bit cost");
  for (int j = 0; j < maxJobs; ++j) {
    require(withinJobs(pred[j]) && withinJobs(succ[j]), "sets hold only jobs below jobCount", j);
    require(j < jobCount || (isEmpty(pred[j]) && isEmpty(succ[j])), "no arcs above jobCount", j);
    forEachJob(pred[j], [&](int k) {
      require(contains(succ[k], j), "pred and succ are mirror images", j);
      require(without(pred[k], pred[j]) == JobSet{}, "pred is transitively closed", j);
    });
    forEachJob(succ[j], [&](int k) {
      require(contains(pred[k], j), "succ and pred are mirror images", j);
      require(without(succ[k], succ[j]) == JobSet{}, "succ is transitively closed", j);
    });
  }
}

// Once per process: the job masks, and a clean instance before every input.
inline void startInput() {
  if (jobBit[0] == 0) buildJobBits();
  resetInstance();
}

} // namespace precdp::fuzz
