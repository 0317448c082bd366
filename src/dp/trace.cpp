// The trace store and the walk back from the final state to the full set.
#include "dp/dp.h"
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>
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

void beginTracedStage(uint64_t used, int stage) {
  traceStart[stage] = used;
  stageTrace.parent = tracedParent + used;
  stageTrace.job = tracedJob + used;
  stageTrace.room = static_cast<uint32_t>(std::min<uint64_t>(traceCapacity - used, UINT32_MAX));
}

bool endTracedStage(uint64_t& used, int stage) {
  if (layerSize[curLayer] > stageTrace.room) return false;
  used += layerSize[curLayer];
  tracedStages = static_cast<uint16_t>(stage);
  return true;
}

void traceTail(int stage, uint32_t index, uint16_t* out) {
  // Each step goes to the state's parent, one stage nearer the full set, and the job the parent
  // placed comes next in the schedule.
  for (; stage >= 1; --stage) {
    const uint64_t entry = traceStart[stage] + index;
    *out++ = tracedJob[entry];
    index = tracedParent[entry];
  }
}

std::optional<std::vector<uint16_t>> tracedSequence() {
  if (traceCapacity == 0 || resultSlot() == -1 || tracedStages != jobCount) return std::nullopt;
  // From the last stage's one state, the empty set, at index 0.
  std::vector<uint16_t> sequence(jobCount);
  traceTail(jobCount, 0, sequence.data());
  return sequence;
}

} // namespace precdp
