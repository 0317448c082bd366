// The trace store and the walk back from the final state to the full set.
#include "dp/dp.h"
#include "platform/platform.h"

#include <new>

namespace precdp {

uint32_t* tracedParent = nullptr;
uint8_t* tracedJob = nullptr;
uint64_t traceCapacity = 0;
uint64_t traceStart[maxJobs + 1] = {};
uint16_t tracedStages = 0;

bool allocateTrace(uint64_t bytes) {
  freeTrace();
  const uint64_t entries = bytes / traceBytesPerState;
  if (entries == 0) return true; // a store that holds nothing keeps no sequence
  // Untouched like the state store: a run backs only the pages its layers reach.
  tracedParent = new (std::nothrow) uint32_t[entries];
  tracedJob = new (std::nothrow) uint8_t[entries];
  if (tracedParent == nullptr || tracedJob == nullptr) {
    freeTrace();
    return false;
  }
  adviseHugePages(tracedParent, entries * sizeof(uint32_t));
  adviseHugePages(tracedJob, entries);
  traceCapacity = entries;
  return true;
}

void freeTrace() {
  delete[] tracedParent;
  delete[] tracedJob;
  tracedParent = nullptr;
  tracedJob = nullptr;
  traceCapacity = 0;
  tracedStages = 0;
}

std::optional<std::vector<uint16_t>> tracedSequence() {
  if (traceCapacity == 0 || resultSlot() == -1 || tracedStages != jobCount) return std::nullopt;
  // The last stage's one state, the empty set, at index 0; each step goes to its parent, one
  // stage nearer the full set, and the job the parent placed comes next in the schedule.
  std::vector<uint16_t> sequence;
  sequence.reserve(jobCount);
  uint32_t index = 0;
  for (int stage = jobCount; stage >= 1; --stage) {
    const uint64_t entry = traceStart[stage] + index;
    sequence.push_back(tracedJob[entry]);
    index = tracedParent[entry];
  }
  return sequence;
}

} // namespace precdp
