// One stage of the DP: the per-job table it reads, the candidate costs of a state, and the
// expansion of prevLayer into curLayer.
#pragma once

#include "dp/dp.h"
#include "dp/keys.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace precdp {

// ---- Per-job data of one run --------------------------------------------------------------------
// What the expansion reads and keeps of job j, held at the reversed position of its key bit so
// that one index serves the scan, the facts and the cursor.
template <typename Key>
struct JobFacts {
  Key succ;  // succ[j]
  Key skip;  // reversed: j and the predecessors i of j with j in succ[i]
  Key cover; // pred[j] and j itself
  // A lower bound on the index of the next child that removes j. For a fixed job the children
  // S - {j} of ascending parents S ascend, so within a stage the bound only moves forward, and
  // the next child is usually right at it.
  uint32_t cursor;
  uint16_t p;
  uint16_t dueDate;
  uint16_t weight;
  uint8_t job; // the job itself, as the trace records it
};

template <typename Key>
using JobTable = JobFacts<Key>[keyBits<Key>];

// Weighted tardiness of the job completing at the child's time plus its p, which is the
// parent's time unless the 16-bit times wrap. Formed wide, kept modulo 2^32 like the cost.
template <bool plain, typename Key>
inline int32_t placementCost(const JobFacts<Key>& job, uint16_t parentTime) {
  uint32_t completion = parentTime;
  if constexpr (!plain) completion = uint32_t{static_cast<uint16_t>(parentTime - job.p)} + job.p;
  const int64_t product = (int64_t{completion} - job.dueDate) * job.weight;
  return product > 0 ? static_cast<int32_t>(static_cast<uint32_t>(product)) : 0;
}

inline int32_t addCost(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The candidate costs of one state of at most 60 jobs: its cost plus the placement cost of each
// job, indexed by reversed key bit, all computed at once per state. In 16-bit lanes the lateness
// max(0, T - dueDate) is one saturating subtraction and its product with the weight, below 2^32,
// is assembled from the low and high halves: the same value as the scalar form.
struct NarrowCandidates {
#if defined(__SSE2__)
  static constexpr bool vectorised = true;
#else
  static constexpr bool vectorised = false;
#endif
  alignas(16) uint16_t dueDate[64];
  alignas(16) uint16_t weight[64];
  alignas(16) int32_t candidate[64];
  int firstBlock = 0; // the first block of 8 positions that holds a job of the instance

  void prepare(const JobSet& jobs) {
    for (int j = 0; j < jobsPerWord; ++j) {
      dueDate[63 - j] = contains(jobs, j) ? precdp::dueDate[j] : 0;
      weight[63 - j] = contains(jobs, j) ? tardinessWeight[j] : 0;
    }
    firstBlock = jobs.word[0] != 0 ? (63 - highestBit(jobs.word[0])) / 8 : 8;
  }

  void compute([[maybe_unused]] uint16_t time, [[maybe_unused]] int32_t cost) {
#if defined(__SSE2__)
    const __m128i parentTime = _mm_set1_epi16(static_cast<int16_t>(time));
    const __m128i parentCost = _mm_set1_epi32(cost);
    for (int block = firstBlock; block < 8; ++block) {
      const __m128i due = _mm_load_si128(reinterpret_cast<const __m128i*>(dueDate + 8 * block));
      const __m128i by = _mm_load_si128(reinterpret_cast<const __m128i*>(weight + 8 * block));
      const __m128i lateness = _mm_subs_epu16(parentTime, due);
      const __m128i low = _mm_mullo_epi16(lateness, by), high = _mm_mulhi_epu16(lateness, by);
      __m128i* out = reinterpret_cast<__m128i*>(candidate + 8 * block);
      _mm_store_si128(out, _mm_add_epi32(_mm_unpacklo_epi16(low, high), parentCost));
      _mm_store_si128(out + 1, _mm_add_epi32(_mm_unpackhi_epi16(low, high), parentCost));
    }
#endif
  }
};

extern NarrowCandidates narrowCandidates; // filled per instance while its jobs fit one word

// ---- Trace of the stage in progress -------------------------------------------------------------
// How a stage keeps its trace. `entries`: each child's entry is written where the child is
// appended and wherever a parent lowers its cost. `packed`: while the stage runs, each child
// holds one word, its cost and its entry together, whose minimum over the parents is the least
// cost from the earliest parent, so a lookup does no more than the untraced one; the stage
// then unpacks the words into the costs and the entries. It needs the previous layer's indices
// below 2^packedParentBits and the room for a word per child the stage can build.
enum class Tracing : uint8_t { none, entries, packed };

inline constexpr int packedJobBits = 7; // a job below 2^7 = 128 > maxJobs
inline constexpr int packedParentBits = 32 - packedJobBits;

// The word of a child: the cost with its sign bit flipped, so that the words order like the
// signed costs, above the parent's index and the job.
inline uint64_t packedOffer(int32_t cost, uint32_t parentAndJob) {
  return uint64_t{static_cast<uint32_t>(cost) ^ 0x80000000u} << 32 | parentAndJob;
}

// Where a traced stage records, at each child's own index, the parent that gave the child its
// cost and the job placed: the entries of its layer in the trace store.
struct StageTrace {
  Tracing mode = Tracing::entries;
  uint8_t* entries = nullptr; // the stage's first entry
  uint32_t room = 0;         // entries left in the trace store; children from here on go unrecorded
  uint64_t* words = nullptr; // packed: the stage's first word, in the store's free part
};

// Writes one trace entry: the parent's index, then the job.
inline void writeTraceEntry(uint8_t* entry, uint32_t parent, uint8_t job) {
  std::memcpy(entry, &parent, sizeof parent);
  entry[4] = job;
}

extern StageTrace stageTrace; // set by beginTracedStage before each traced stage

// Records a child's parent and the job the parent placed, while the stage fits the store.
inline void recordInTrace(const StageTrace& trace, uint32_t child, uint32_t parent, uint8_t job) {
  if (child >= trace.room) return; // the stage outgrows the store: the run keeps no sequence
  writeTraceEntry(trace.entries + uint64_t{traceBytesPerState} * child, parent, job);
}

// Points stageTrace at the free part of the trace store, from entry `used` on, for `stage`,
// in the entries mode.
void beginTracedStage(uint64_t used, int stage);
// Makes the stage begun packed when the store and the layer it expands, of `parents` sets of
// `jobsPerParent` jobs each, allow it.
void packTracedStage(uint32_t parents, uint32_t jobsPerParent);
// Packed: turns the words of the `size` children of curLayer into their costs and entries.
void unpackTrace(uint32_t size);
// Whether a layer of `size` sets of `setSize` jobs holds every such set of the instance's jobs.
// Such a layer is in rank order (the combinatorial number system), so a state's index follows
// from its set.
bool holdsEverySet(uint32_t size, int setSize);
// After an untraced stage whose previous layer holds every set of its size and kept its costs
// (or is the full set): keeps the costs of curLayer in the stage's entries, 4 of their 5 bytes
// per state. The trace then finds each state's parent as the first one whose cost gives the
// state's, so the stage itself writes nothing but a stream of costs at its end.
void keepStageCosts(int stage);
// After a completed traced stage: true when its whole layer was recorded, and then `used`
// moves past it and tracedStages reaches `stage`. Otherwise the run keeps no sequence.
bool endTracedStage(uint64_t& used, int stage);
// Writes the jobs of the schedule's tail behind the state `set` at `index` of stage `stage`
// (whose stages are recorded back to the full set), in processing order from `out` on.
void traceTail(int stage, uint32_t index, JobSet set, uint16_t* out);

// First index in [begin, end) of the layer whose set is above `key`, end if none is.
template <typename Key>
inline uint32_t firstAbove(const LayerView<Key>& layer, uint32_t begin, uint32_t end, Key key) {
  while (begin < end) {
    const uint32_t mid = begin + (end - begin) / 2;
    if (layer[mid] > key)
      end = mid;
    else
      begin = mid + 1;
  }
  return begin;
}

// The part of a stage one expansion builds: the children with keys in [low, high) (no upper
// end unless `bounded`) of the parents in [parentBegin, parentEnd), written from index `offset`
// of curLayer on. A whole stage is one window from offset 0. Children outside the window are not
// built, but their jobs still rule out the jobs they follow, so the window holds exactly the
// states, costs and trace of the whole stage's range [low, high).
template <typename Key>
struct ChildWindow {
  uint32_t parentBegin = 0, parentEnd = 0;
  Key low = 0, high = 0;
  bool bounded = false;
  uint32_t offset = 0;
  uint32_t stopSize = 0;           // window states at which the layer is full (capacity - 1)
  ProgressHook progress = nullptr; // called as described at progressHook, with window states
  StageTrace trace;                // at the window's first entry
  uint32_t size = 0;               // out: states built
  uint64_t lookups = 0;            // out: searches made
  uint32_t missing = 0;            // out: children not found where the rule expects them
};

// Expands the window's parents into curLayer. False when the window reached its stopSize.
// `plain`: the relation is closed, mirrored and numbered topologically and the times are exact
// (see plainRelation in dp.cpp). `tracing`: how it records each child's parent in the trace.
// `fromLow`: the window starts at its low, above 0; `toHigh`: it ends at its high (bounded).
// Each window of a split stage gets the loop for its own ends, a whole stage the one for none.
template <typename Key, bool plain, Tracing tracing, bool fromLow, bool toHigh>
bool expandLayer(JobTable<Key>& job, ChildWindow<Key>& window);

// A whole stage of a plain relation built from its children: their keys in order first, then
// each child's cost from its parents, on `threads` threads (pricing.cpp). The same layer, costs,
// trace and lookups as expandLayer, and the same stop at the window's stopSize (false).
template <typename Key, Tracing tracing>
bool expandByChildren(JobTable<Key>& job, ChildWindow<Key>& window, unsigned threads);
// What the plain stages of a run read of `job`, prepared once before the first (pricing.cpp).
template <typename Key>
void preparePricing(const JobTable<Key>& job);

// The stage on dpThreads threads (parallel.cpp); the same layer, costs and trace as one
// expansion of the whole stage, and the same stop at the capacity. False at that stop.
template <typename Key, bool plain, Tracing tracing>
bool expandStage(JobTable<Key>& job);

} // namespace precdp
