#include "reference/literal_dp.h"

#include "dp/dp.h"
#include "platform/platform.h"

namespace precdp::reference {

uint64_t literalLookupCount = 0;

namespace {

// The times of both layers, kept beside the program's store at its capacity.
uint16_t* literalTime[2] = {nullptr, nullptr};
uint32_t literalTimeCapacity = 0;

bool literalContains(const JobSet& set, int job) {
  if (job < 60) return (set.word[0] & jobBit[job]) != 0;
  return (set.word[1] & jobBit[job - 60]) != 0;
}

// Word 1 first, then word 0, both unsigned.
bool literalLess(const JobSet& a, const JobSet& b) {
  if (a.word[1] != b.word[1]) return a.word[1] < b.word[1];
  return a.word[0] < b.word[0];
}

bool literalEqual(const JobSet& a, const JobSet& b) {
  return a.word[0] == b.word[0] && a.word[1] == b.word[1];
}

int literalHighestJob(const JobSet& set) {
  if (set.word[1] != 0) return 60 + literalHighestBit(set.word[1]);
  return literalHighestBit(set.word[0]);
}

// Signed 32-bit (completion - dueDate) * tardinessWeight, or 0 when not positive; the
// arithmetic wraps like the 32-bit cost it joins.
int32_t literalPlacementCost(int job, uint16_t childTime) {
  const uint32_t completion = uint32_t{childTime} + uint32_t{p[job]};
  const int32_t product =
      static_cast<int32_t>((completion - uint32_t{dueDate[job]}) * uint32_t{tardinessWeight[job]});
  return product > 0 ? product : 0;
}

int32_t literalAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

void literalAppend(int layer, const JobSet& set, int32_t cost, uint16_t time) {
  const uint32_t index = layerSize[layer];
  stateSet[layer][0][index] = set.word[0];
  stateSet[layer][1][index] = set.word[1];
  stateCost[layer][index] = cost;
  literalTime[layer][index] = time;
  layerSize[layer] = index + 1;
}

// Expands layer prevLayer into curLayer. False when curLayer reached the capacity stop.
bool literalStage() {
  const uint32_t parentCount = layerSize[prevLayer];
  for (uint32_t s = 0; s < parentCount; ++s) {
    const JobSet set{{stateSet[prevLayer][0][s], stateSet[prevLayer][1][s]}};
    const uint16_t time = literalTime[prevLayer][s];
    const int32_t cost = stateCost[prevLayer][s];
    JobSet coveredSet{};
    int64_t lo = 0;
    for (int j = literalHighestJob(set); j >= 0; --j) {
      if (!literalContains(set, j)) continue;
      if ((succ[j].word[0] & set.word[0]) != 0 || (succ[j].word[1] & set.word[1]) != 0) continue;
      JobSet childSet = set;
      if (j < 60)
        childSet.word[0] &= ~jobBit[j];
      else
        childSet.word[1] &= ~jobBit[j - 60];
      const uint32_t size = layerSize[curLayer];
      if (size == 0 ||
          literalLess({{stateSet[curLayer][0][size - 1], stateSet[curLayer][1][size - 1]}},
                      childSet)) {
        const uint16_t childTime = static_cast<uint16_t>(time - p[j]);
        literalAppend(curLayer, childSet, literalAdd(cost, literalPlacementCost(j, childTime)),
                      childTime);
        if (layerSize[curLayer] == layerCapacity - 1) return false;
      } else {
        ++literalLookupCount;
        const int64_t x = arrBinarySearch(curLayer, lo, childSet); // the store's plain search
        if (x < 0) {
          lo = 0; // the transition is dropped
        } else {
          lo = x + 1;
          const int32_t candidate =
              literalAdd(cost, literalPlacementCost(j, literalTime[curLayer][x]));
          if (candidate < stateCost[curLayer][x]) stateCost[curLayer][x] = candidate;
        }
      }
      coveredSet.word[0] |= pred[j].word[0];
      coveredSet.word[1] |= pred[j].word[1];
      if (j < 60)
        coveredSet.word[0] |= jobBit[j];
      else
        coveredSet.word[1] |= jobBit[j - 60];
      if (literalEqual(coveredSet, set)) break;
    }
  }
  return true;
}

} // namespace

int literalHighestBit(uint64_t word) {
  int lo = 0, hi = 60, mid = 0;
  for (;;) {
    mid = (lo + 1 + hi) / 2;
    const uint64_t fromMidToHi = ((uint64_t{2} << hi) - 1) & ~((uint64_t{1} << mid) - 1);
    if ((word & fromMidToHi) != 0) {
      lo = mid;
      if (mid == hi) return mid;
    } else {
      hi = mid - 1;
    }
  }
}

uint16_t literalTimeAt(int layer, uint32_t index) {
  return literalTime[layer][index];
}

void literalDpSolve() {
  if (literalTimeCapacity != layerCapacity) {
    for (uint16_t*& times : literalTime) {
      delete[] times;
      times = new uint16_t[layerCapacity]; // left untouched, as the store's arrays are
    }
    literalTimeCapacity = layerCapacity;
  }
  literalLookupCount = 0;
  literalAppend(curLayer, allJobs, 0, totalP);
  uint16_t stagesLeft = jobCount;
  if (stagesLeft == 0) return;
  do {
    const double elapsed = static_cast<double>(clockTicks() - startClock) / clockTicksPerSecond;
    if (!(maxCPU > elapsed)) {
      stateCost[curLayer][0] = -1;
      return;
    }
    layerToggle = !layerToggle;
    curLayer = layerToggle;
    prevLayer = !layerToggle;
    --stagesLeft;
    layerSize[curLayer] = 0;
    if (!literalStage()) {
      stateCost[curLayer][0] = -1;
      return;
    }
    totalStates += layerSize[curLayer];
    if (layerSize[curLayer] > maxLayerSize) maxLayerSize = layerSize[curLayer];
    if (layerSize[curLayer] == 0) { // a cyclic relation left no state
      stateCost[curLayer][0] = -1;
      return;
    }
  } while (stagesLeft != 0);
}

} // namespace precdp::reference
