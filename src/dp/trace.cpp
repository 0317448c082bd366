// The trace store and the walk back from the final state to the full set.
#include "dp/dp.h"
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace precdp {

uint8_t* tracedEntries = nullptr;
uint64_t traceCapacity = 0;
uint64_t traceStart[maxJobs + 1] = {};
uint16_t tracedStages = 0;

bool allocateTrace(uint64_t bytes) {
  freeTrace();
  const uint64_t entries = bytes / traceBytesPerState;
  if (entries == 0) return true; // a store that holds nothing keeps no sequence
  // Untouched like the state store: a run backs only the pages its layers reach.
  tracedEntries = new (std::nothrow) uint8_t[entries * traceBytesPerState];
  if (tracedEntries == nullptr) return false;
  adviseHugePages(tracedEntries, entries * traceBytesPerState);
  traceCapacity = entries;
  return true;
}

void freeTrace() {
  delete[] tracedEntries;
  tracedEntries = nullptr;
  traceCapacity = 0;
  tracedStages = 0;
}

void beginTracedStage(uint64_t used, int stage) {
  traceStart[stage] = used;
  stageTrace.mode = Tracing::entries;
  stageTrace.entries = tracedEntries + traceBytesPerState * used;
  stageTrace.room = static_cast<uint32_t>(std::min<uint64_t>(traceCapacity - used, UINT32_MAX));
  stageTrace.words = nullptr;
}

void packTracedStage(uint32_t parents, uint32_t jobsPerParent) {
  // The words from the first 8-byte boundary at or after the stage's entries: unpacking child x
  // reads word x before writing entry x, which ends below word x + 1.
  const uintptr_t first = reinterpret_cast<uintptr_t>(stageTrace.entries);
  const uintptr_t words = (first + 7) & ~uintptr_t{7};
  const uintptr_t end =
      reinterpret_cast<uintptr_t>(tracedEntries + traceBytesPerState * traceCapacity);
  // Each parent has at most one child per job, and the layer stops at its capacity.
  const uint64_t children =
      std::min<uint64_t>(layerCapacity - 1, uint64_t{parents} * jobsPerParent);
  const bool room = words <= end && (end - words) / sizeof(uint64_t) >= children;
  if (!room || parents > uint32_t{1} << packedParentBits) return;
  stageTrace.mode = Tracing::packed;
  stageTrace.words = reinterpret_cast<uint64_t*>(words);
}

void unpackTrace(uint32_t size) {
  for (uint32_t x = 0; x < size; ++x) {
    const uint64_t word = stageTrace.words[x];
    setStateCost(curLayer, x,
                 static_cast<int32_t>(static_cast<uint32_t>(word >> 32) ^ 0x80000000u));
    const uint32_t parentAndJob = static_cast<uint32_t>(word);
    writeTraceEntry(stageTrace.entries + uint64_t{traceBytesPerState} * x,
                    parentAndJob >> packedJobBits,
                    static_cast<uint8_t>(parentAndJob & ((1u << packedJobBits) - 1)));
  }
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
    const uint8_t* entry = tracedEntries + traceBytesPerState * (traceStart[stage] + index);
    *out++ = entry[4];
    std::memcpy(&index, entry, sizeof index);
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
