// The trace store and the walk back from the final state to the full set.
#include "dp/dp.h"
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace precdp {

uint8_t* tracedEntries = nullptr;
uint64_t traceCapacity = 0;
uint64_t traceStart[maxJobs + 1] = {};
uint16_t tracedStages = 0;

namespace {

// [stage]: the stage kept its layer's costs instead of entries (keepStageCosts).
bool costsKept[maxJobs + 1] = {};

// C(n, k) for n, k <= maxJobs, saturated at 2^40: beyond any layer's size, so a saturated
// count never equals one.
uint64_t binomial(int n, int k) {
  static const auto table = [] {
    constexpr uint64_t cap = uint64_t{1} << 40;
    std::array<std::array<uint64_t, maxJobs + 1>, maxJobs + 1> c{};
    for (int m = 0; m <= maxJobs; ++m) {
      c[m][0] = 1;
      for (int i = 1; i <= m; ++i) c[m][i] = std::min(cap, c[m - 1][i - 1] + c[m - 1][i]);
    }
    return c;
  }();
  return k > n ? 0 : table[n][k];
}

// The index of `set` in a layer that holds every set of its size: keys of one size ascend as
// their highest differing job does, so the index is the sum of C(j_i, i) over the set's jobs
// j_1 < j_2 < ... (the combinatorial number system).
uint32_t rankOfSet(const JobSet& set) {
  uint64_t rank = 0;
  int i = 0;
  forEachJob(set, [&](int j) { rank += binomial(j, ++i); });
  return static_cast<uint32_t>(rank);
}

int32_t keptCost(int stage, uint32_t index) {
  if (stage == 0) return 0; // the full set's
  int32_t cost;
  std::memcpy(&cost, tracedEntries + traceBytesPerState * traceStart[stage] + sizeof cost * index,
              sizeof cost);
  return cost;
}

// One step back through a stage that kept its costs, from the state `set` at `index`: among the
// parents set + {j} that may place j last, whose index in the previous layer is their rank, the
// first whose cost plus j's placement gives the state's cost, as the expansion keeps on a tie.
// There is one: the parent that gave the state its cost. Moves `set` and `index` to that parent
// and gives its job.
uint16_t stepByCosts(int stage, JobSet& set, uint32_t& index) {
  const int32_t cost = keptCost(stage, index);
  const uint16_t setTime = setTimes.of(set.word[0], set.word[1]);
  int best = -1;
  uint32_t bestIndex = UINT32_MAX;
  for (int j = 0; j < jobCount; ++j) {
    if (contains(set, j) || meets(succ[j], set)) continue;
    JobSet parent = set;
    insertJob(parent, j);
    const uint32_t at = rankOfSet(parent);
    JobFacts<Narrow> facts{};
    facts.p = p[j];
    facts.dueDate = dueDate[j];
    facts.weight = tardinessWeight[j];
    const uint16_t time = static_cast<uint16_t>(setTime + p[j]);
    if (addCost(keptCost(stage - 1, at), placementCost<false>(facts, time)) == cost &&
        at < bestIndex) {
      best = j;
      bestIndex = at;
    }
  }
  insertJob(set, best);
  index = bestIndex;
  return static_cast<uint16_t>(best);
}

} // namespace

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
  costsKept[stage] = false;
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

bool holdsEverySet(uint32_t size, int setSize) {
  return size == binomial(jobCount, setSize);
}

void keepStageCosts(int stage) {
  const uint32_t size = layerSize[curLayer];
  if (size > stageTrace.room) return; // endTracedStage ends the trace
  std::memcpy(stageTrace.entries, stateCost[curLayer], sizeof(int32_t) * size);
  costsKept[stage] = true;
}

bool endTracedStage(uint64_t& used, int stage) {
  if (layerSize[curLayer] > stageTrace.room) return false;
  used += layerSize[curLayer];
  tracedStages = static_cast<uint16_t>(stage);
  return true;
}

void traceTail(int stage, uint32_t index, JobSet set, uint16_t* out) {
  // Each step goes to the state's parent, one stage nearer the full set, and the job the parent
  // placed comes next in the schedule.
  for (; stage >= 1; --stage) {
    if (costsKept[stage]) {
      *out++ = stepByCosts(stage, set, index);
      continue;
    }
    const uint8_t* entry = tracedEntries + traceBytesPerState * (traceStart[stage] + index);
    *out++ = entry[4];
    insertJob(set, entry[4]);
    std::memcpy(&index, entry, sizeof index);
  }
}

std::optional<std::vector<uint16_t>> tracedSequence() {
  if (traceCapacity == 0 || resultSlot() == -1 || tracedStages != jobCount) return std::nullopt;
  // From the last stage's one state, the empty set, at index 0.
  std::vector<uint16_t> sequence(jobCount);
  traceTail(jobCount, 0, JobSet{}, sequence.data());
  return sequence;
}

} // namespace precdp
