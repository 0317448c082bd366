#include "dp/dp.h"
#include "platform/platform.h"

#include <bit>

namespace precdp {

namespace {

// Highest job of a non-empty set.
inline int highestJob(const JobSet& set) {
  if (set.word[1] != 0) return jobsPerWord + std::bit_width(set.word[1]) - 1;
  return std::bit_width(set.word[0]) - 1;
}

// Weighted tardiness of job j completing at `completion`. The product is formed wide and kept
// modulo 2^32 like the 32-bit cost it joins; the readers refuse data where that could wrap.
inline int32_t placementCost(int job, uint16_t completion) {
  const int64_t lateness = int64_t{completion} - dueDate[job];
  const int64_t product = lateness * tardinessWeight[job];
  return product > 0 ? static_cast<int32_t>(static_cast<uint32_t>(product)) : 0;
}

inline int32_t addCost(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Expands every state of prevLayer into curLayer. False when curLayer reached its capacity.
// States are taken in ascending order and their jobs in descending order, so the children of
// one state come out ascending: a child not above the layer's last set was made by a smaller
// parent and is found by search; the rest are appended in order.
bool expandLayer() {
  const uint64_t* parentWord0 = stateSet[prevLayer][0];
  const uint64_t* parentWord1 = stateSet[prevLayer][1];
  const int32_t* parentCost = stateCost[prevLayer];
  const uint16_t* parentTime = stateTime[prevLayer];
  const uint32_t parentCount = layerSize[prevLayer];
  const uint32_t stopSize = layerCapacity - 1;
  const int layer = curLayer;

  for (uint32_t s = 0; s < parentCount; ++s) {
    const JobSet parent{{parentWord0[s], parentWord1[s]}};
    const uint16_t time = parentTime[s];
    const int32_t cost = parentCost[s];
    JobSet covered{}; // {j} and pred(j) over the jobs placed so far from this parent
    int64_t lo = 0;
    for (int j = highestJob(parent); j >= 0; --j) {
      if (!contains(parent, j) || meets(succ[j], parent)) continue;
      JobSet child = parent;
      removeJob(child, j);
      const int32_t candidate = addCost(cost, placementCost(j, time));
      const uint32_t size = layerSize[layer];
      if (size == 0 ||
          setLess({{stateSet[layer][0][size - 1], stateSet[layer][1][size - 1]}}, child)) {
        appendState(layer, child, candidate, static_cast<uint16_t>(time - p[j]));
        if (layerSize[layer] == stopSize) return false;
      } else {
        const int64_t found = arrBinarySearch(layer, lo, child);
        if (found < 0) {
          lo = 0; // a missing child can only follow a numbering fault; drop the transition
        } else {
          lo = found + 1;
          if (candidate < stateCost[layer][found]) stateCost[layer][found] = candidate;
        }
      }
      covered = unionOf(covered, pred[j]);
      insertJob(covered, j);
      if (covered == parent) break; // every smaller job of the set precedes a placed one
    }
  }
  return true;
}

} // namespace

void dpSolve() {
  appendState(curLayer, allJobs, 0, totalP);
  for (uint16_t stagesLeft = jobCount; stagesLeft > 0;) {
    if (!(maxCPU > secondsSince(startClock))) {
      resultSlot() = -1;
      return;
    }
    layerToggle = !layerToggle;
    curLayer = layerToggle;
    prevLayer = !layerToggle;
    --stagesLeft;
    layerSize[curLayer] = 0;
    if (!expandLayer()) {
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
