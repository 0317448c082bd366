#include "dp/expand.h"

#include <algorithm>
#include <type_traits>

namespace precdp {

NarrowCandidates narrowCandidates;

namespace {

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

} // namespace

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

template bool expandLayer<Narrow, false>(JobTable<Narrow>&);
template bool expandLayer<Narrow, true>(JobTable<Narrow>&);
template bool expandLayer<Wide, false>(JobTable<Wide>&);
template bool expandLayer<Wide, true>(JobTable<Wide>&);

} // namespace precdp
