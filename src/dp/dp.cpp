#include "dp/dp.h"
#include "platform/platform.h"

#include <algorithm>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace precdp {

namespace {

// ---- Sets as keys -------------------------------------------------------------------------------
// A set of a layer read as one unsigned integer in the layer order: word 0 alone while every job
// is below 60 (Narrow), otherwise word 1 above word 0 (Wide). Job j is key bit j (j < 60) or
// j + 4 (j >= 60); bits 60..63 of word 0 are always zero.
using Narrow = uint64_t;
using Wide = unsigned __int128;

template <typename Key>
inline constexpr int keyBits = sizeof(Key) * 8;

template <typename Key>
inline Key keyOf(uint64_t word0, uint64_t word1) {
  if constexpr (std::is_same_v<Key, Wide>) return (Wide{word1} << 64) | word0;
  return word0; // a Narrow key is only formed while word 1 is empty
}

inline int keyBitOfJob(int job) {
  return job < jobsPerWord ? job : job + 4;
}

// The layer's set words read as keys.
template <typename Key>
struct LayerKeys {
  const uint64_t* word0;
  const uint64_t* word1;
  Key operator[](uint32_t i) const {
    if constexpr (std::is_same_v<Key, Wide>) return keyOf<Key>(word0[i], word1[i]);
    return word0[i];
  }
};

template <typename Key>
inline void storeKey(uint64_t* word0, uint64_t* word1, uint32_t index, Key key) {
  word0[index] = static_cast<uint64_t>(key);
  if constexpr (std::is_same_v<Key, Wide>)
    word1[index] = static_cast<uint64_t>(key >> 64);
  else
    word1[index] = 0;
}

// ---- Bit scans ----------------------------------------------------------------------------------
// The jobs of a state are visited highest first. Scanning the bit-reversed key from its lowest
// bit keeps the loop's own dependency to x & (x - 1); a highest-bit scan (bsr where lzcnt is not
// guaranteed) sits on that path and costs several cycles per job. Arguments are never zero.
inline uint64_t reversedBits(uint64_t x) {
  x = __builtin_bswap64(x);
  x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
  x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
  return ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
}
inline Wide reversedBits(Wide x) {
  return (Wide{reversedBits(static_cast<uint64_t>(x))} << 64) |
         reversedBits(static_cast<uint64_t>(x >> 64));
}

inline int lowestBit(uint64_t x) {
  return __builtin_ctzll(x);
}
inline int lowestBit(Wide x) {
  const uint64_t low = static_cast<uint64_t>(x);
  return low != 0 ? __builtin_ctzll(low) : 64 + __builtin_ctzll(static_cast<uint64_t>(x >> 64));
}

inline int highestBit(uint64_t x) {
  return 63 - __builtin_clzll(x);
}
inline int highestBit(Wide x) {
  const uint64_t high = static_cast<uint64_t>(x >> 64);
  return high != 0 ? 127 - __builtin_clzll(high) : highestBit(static_cast<uint64_t>(x));
}

// Key bits 0..bit (bit < keyBits - 1).
template <typename Key>
inline Key bitsUpTo(int bit) {
  return (Key{2} << bit) - 1;
}

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
};

template <typename Key>
using JobTable = JobFacts<Key>[keyBits<Key>];

template <typename Key>
JobTable<Key> jobTable; // one per key width, refilled by every dpSolve

// True when pred and succ are mirror images of each other, transitively closed and numbered
// topologically, as addPrec and the relabeling leave them. Then a job of a state is not a
// candidate for the last place exactly when it precedes a job placed before it from that state.
bool plainRelation() {
  JobSet mirror[maxJobs] = {};
  bool plain = true;
  for (int j = 0; j < maxJobs; ++j)
    forEachJob(pred[j], [&](int i) {
      plain = plain && i < j;
      insertJob(mirror[i], j);
    });
  for (int j = 0; j < maxJobs && plain; ++j) {
    plain = mirror[j] == succ[j];
    forEachJob(succ[j], [&](int k) { plain = plain && unionOf(succ[j], succ[k]) == succ[j]; });
  }
  return plain;
}

template <typename Key>
void prepareJobs(JobTable<Key>& jobs) {
  for (int j = 0; j < maxJobs; ++j) {
    const int bit = keyBitOfJob(j);
    if (bit >= keyBits<Key>) break;
    JobFacts<Key>& facts = jobs[keyBits<Key> - 1 - bit];
    JobSet cover = pred[j], skip{};
    insertJob(cover, j);
    insertJob(skip, j);
    forEachJob(pred[j], [&](int i) {
      if (contains(succ[i], j)) insertJob(skip, i);
    });
    facts.succ = keyOf<Key>(succ[j].word[0], succ[j].word[1]);
    facts.skip = reversedBits(keyOf<Key>(skip.word[0], skip.word[1]));
    facts.cover = keyOf<Key>(cover.word[0], cover.word[1]);
    facts.p = p[j];
    facts.dueDate = dueDate[j];
    facts.weight = tardinessWeight[j];
  }
}

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

NarrowCandidates narrowCandidates;

// First index in [from, last] whose set is not below target; requires from <= last and the set
// at last not below target. Gallops from `from`, then halves the bracket without branches.
template <typename Key>
inline uint32_t lowerBound(const LayerKeys<Key>& layer, uint32_t from, uint32_t last, Key target) {
  uint32_t lo = from, step = 1, hi = last;
  while (lo < last) {
    const uint32_t probe = last - lo >= step ? lo + step - 1 : last;
    if (!(layer[probe] < target)) {
      hi = probe;
      break;
    }
    lo = probe + 1;
    step *= 2;
  }
  uint32_t base = lo, length = hi - lo + 1;
  while (length > 1) {
    const uint32_t half = length / 2;
    base = layer[base + half - 1] < target ? base + half : base;
    length -= half;
  }
  return base;
}

inline constexpr uint32_t notFound = UINT32_MAX;

// The index of child, known to be at or after `from` if it is in the layer at all; notFound
// after the "expected state not found" warning when it is not (a numbering fault).
template <typename Key>
uint32_t searchChild(const LayerKeys<Key>& layer, uint32_t from, uint32_t last, Key child) {
  const uint32_t x = lowerBound(layer, from, last, child);
  if (layer[x] == child) return x;
  warnStateNotFound();
  return notFound;
}

// Expands every state of prevLayer into curLayer. False when curLayer reached its capacity.
//
// States are taken in ascending order and their jobs in descending order, so the children of
// one state come out ascending: a child below appendFrom (the layer's last set plus one) was made
// by a smaller parent and is looked up, the others are appended in order. The child S - {j}
// reads as S - 2^j, so it is appended exactly when 2^j <= S - appendFrom: each state finds that
// split once instead of comparing every child.
//
// Once job j is placed, its predecessors in S cannot be last (j follows them), so they leave
// the jobs still to try at once instead of failing the successor test one by one. In a plain
// instance (see plainRelation, and times within 16 bits) that alone yields exactly the jobs
// without a successor in S, and runs out exactly where the covered-set rule stops. Otherwise
// only the predecessors whose succ names j leave early, the successor test and the covered set
// are kept as well, and the time arithmetic follows the wrapped 16-bit times.
template <typename Key, bool plain>
bool expandLayer(JobTable<Key>& job) {
  constexpr bool candidatesAtOnce =
      plain && std::is_same_v<Key, Narrow> && NarrowCandidates::vectorised;
  const auto candidateOf = [&](int r, const JobFacts<Key>& facts, uint16_t time, int32_t cost) {
    if constexpr (candidatesAtOnce) return narrowCandidates.candidate[r];
    return addCost(cost, placementCost<plain>(facts, time));
  };
  const LayerKeys<Key> parents{stateSet[prevLayer][0], stateSet[prevLayer][1]};
  const int32_t* parentCost = stateCost[prevLayer];
  const uint16_t* parentTime = stateTime[prevLayer];
  const uint32_t parentCount = layerSize[prevLayer];
  const LayerKeys<Key> children{stateSet[curLayer][0], stateSet[curLayer][1]};
  uint64_t* childWord0 = stateSet[curLayer][0];
  uint64_t* childWord1 = stateSet[curLayer][1];
  int32_t* childCost = stateCost[curLayer];
  uint16_t* childTime = stateTime[curLayer];
  const uint32_t stopSize = layerCapacity - 1;
  uint32_t size = 0;
  Key appendFrom = 0;
  uint64_t lookups = 0;
  const ProgressHook progress = progressHook;
  for (JobFacts<Key>& facts : job) facts.cursor = 0;

  for (uint32_t s = 0; s < parentCount; ++s) {
    if (progress != nullptr && (s & (progressInterval - 1)) == 0) progress(size);
    const Key set = parents[s];
    const uint16_t time = parentTime[s];
    const int32_t cost = parentCost[s];
    // The jobs still to try, bit-reversed so that the lowest bit is the highest job: those whose
    // child is already in the layer (found), then those whose child is new (fresh).
    Key found = reversedBits(set), fresh = 0;
    if (set > appendFrom) {
      fresh = found & ~bitsUpTo<Key>(keyBits<Key> - 2 - highestBit(set - appendFrom));
      found ^= fresh;
    }
    if constexpr (candidatesAtOnce) narrowCandidates.compute(time, cost);
    Key skipped = 0; // reversed: placed jobs and their predecessors
    Key covered = 0; // only kept for an instance that is not plain
    while (found != 0) {
      const int r = lowestBit(found);
      if (((skipped >> r) & 1) != 0) { // off the scan's own dependency: rarely taken
        found &= ~skipped;
        continue;
      }
      found &= found - 1;
      JobFacts<Key>& facts = job[r];
      if (!plain && (facts.succ & set) != 0) continue;
      const Key child = set ^ (Key{1} << (keyBits<Key> - 1 - r));
      const int32_t candidate = candidateOf(r, facts, time, cost);
      ++lookups;
      uint32_t x = facts.cursor;
      if (!(children[x] == child)) x = searchChild(children, x, size - 1, child);
      if (x != notFound) {
        childCost[x] = std::min(childCost[x], candidate);
        facts.cursor = x + 1;
      }
      skipped |= facts.skip;
      if constexpr (!plain) {
        covered |= facts.cover;
        if (covered == set) found = fresh = 0;
      }
    }
    fresh &= ~skipped;
    while (fresh != 0) {
      const int r = lowestBit(fresh);
      if (((skipped >> r) & 1) != 0) {
        fresh &= ~skipped;
        continue;
      }
      fresh &= fresh - 1;
      JobFacts<Key>& facts = job[r];
      if (!plain && (facts.succ & set) != 0) continue;
      const Key child = set ^ (Key{1} << (keyBits<Key> - 1 - r));
      storeKey(childWord0, childWord1, size, child);
      childCost[size] = candidateOf(r, facts, time, cost);
      childTime[size] = static_cast<uint16_t>(time - facts.p);
      facts.cursor = ++size;
      appendFrom = child + 1;
      if (size == stopSize) {
        layerSize[curLayer] = size;
        lookupCount += lookups;
        return false;
      }
      skipped |= facts.skip;
      if constexpr (!plain) {
        covered |= facts.cover;
        if (covered == set) fresh = 0;
      }
    }
  }
  layerSize[curLayer] = size;
  lookupCount += lookups;
  return true;
}

// The stage for the instance at hand: the narrowest key that holds its jobs, and the plain
// loop where the relation and the times allow it.
using Stage = bool (*)();

template <typename Key, bool plain>
bool stage() {
  return expandLayer<Key, plain>(jobTable<Key>);
}

template <typename Key>
Stage prepareStage(bool exactTimes) {
  prepareJobs(jobTable<Key>);
  if constexpr (std::is_same_v<Key, Narrow>) narrowCandidates.prepare(allJobs);
  return plainRelation() && exactTimes ? stage<Key, true> : stage<Key, false>;
}

Stage prepareStage() {
  uint32_t sumOfP = 0;
  for (int j = 0; j < maxJobs; ++j)
    if (contains(allJobs, j)) sumOfP += p[j];
  // Every time is then the true sum of p over its set, never below the p of one of its jobs.
  const bool exactTimes = sumOfP == totalP;
  return allJobs.word[1] == 0 ? prepareStage<Narrow>(exactTimes) : prepareStage<Wide>(exactTimes);
}

} // namespace

void dpSolve() {
  lookupCount = 0;
  appendState(curLayer, allJobs, 0, totalP);
  const Stage expand = prepareStage();
  progressStages = jobCount;
  for (uint16_t stagesLeft = jobCount; stagesLeft > 0;) {
    if (!(maxCPU > secondsSince(startClock))) {
      resultSlot() = -1;
      return;
    }
    layerToggle = !layerToggle;
    curLayer = layerToggle;
    prevLayer = !layerToggle;
    --stagesLeft;
    progressStage = static_cast<uint16_t>(jobCount - stagesLeft);
    layerSize[curLayer] = 0;
    if (!expand()) {
      resultSlot() = -1; // capacity reached: the statistics keep the completed stages
      return;
    }
    totalStates += layerSize[curLayer];
    if (layerSize[curLayer] > maxLayerSize) maxLayerSize = layerSize[curLayer];
    if (layerSize[curLayer] == 0) {
      resultSlot() = -1; // a cyclic relation left no state: there is no sequence
      return;
    }
  }
}

} // namespace precdp
