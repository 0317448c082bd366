#include "dp/dp.h"
#include "platform/platform.h"

#include <cstdio>
#include <new>

namespace precdp {

uint64_t* stateSet[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};
int32_t* stateCost[2] = {nullptr, nullptr};
uint32_t layerSize[2] = {0, 0};
uint32_t layerCapacity = 0;
uint8_t curLayer = 1;
uint8_t prevLayer = 0;
uint8_t layerToggle = 1;
uint32_t maxLayerSize = 0;
uint64_t totalStates = 1;
SetTimes setTimes;
uint64_t lookupCount = 0;
ProgressHook progressHook = nullptr;
uint16_t progressStage = 0;
uint16_t progressStages = 0;
double maxCPU = 5401.0;
int64_t startClock = 0;

namespace {

// new[] of a trivial type leaves the memory untouched, so the pages stay unbacked until the DP
// first writes them. Huge pages cut the TLB misses of the per-job cursors, which walk the
// layer at up to 120 places at once: about 5% faster once layers hold tens of millions of states
// (nothing measurable below), though the first touch of a page costs more.
template <typename T>
T* reserveArray(uint32_t capacity) {
  T* array = new (std::nothrow) T[capacity];
  if (array != nullptr) adviseHugePages(array, sizeof(T) * capacity);
  return array;
}

} // namespace

bool allocateStore(uint32_t capacity) {
  freeStore();
  if (capacity < 2) capacity = 2; // the DP stops a layer at capacity - 1 states
  bool complete = true;
  for (int layer = 0; layer < 2; ++layer) {
    stateSet[layer][0] = reserveArray<uint64_t>(capacity);
    stateSet[layer][1] = reserveArray<uint64_t>(capacity);
    stateCost[layer] = reserveArray<int32_t>(capacity);
    complete = complete && stateSet[layer][0] && stateSet[layer][1] && stateCost[layer];
  }
  if (!complete) {
    freeStore();
    printMessage("ERROR! cannot allocate the DP state store: %llu bytes needed "
                 "(%u states per layer) -initTables\n",
                 static_cast<unsigned long long>(2 * storeBytesPerState * capacity), capacity);
    return false;
  }
  layerCapacity = capacity;
  resetStore();
  return true;
}

void freeStore() {
  for (int layer = 0; layer < 2; ++layer) {
    delete[] stateSet[layer][0];
    delete[] stateSet[layer][1];
    delete[] stateCost[layer];
    stateSet[layer][0] = stateSet[layer][1] = nullptr;
    stateCost[layer] = nullptr;
  }
  layerCapacity = 0;
  layerSize[0] = layerSize[1] = 0;
}

void releaseTables() {
  freeStore();
  std::printf("Press any key to exit...\n");
  waitKey();
}

void resetStore() {
  layerToggle = 1;
  prevLayer = 0;
  curLayer = 1;
  layerSize[0] = layerSize[1] = 0;
  maxLayerSize = 0;
  totalStates = 1;
  tracedStages = 0;
  if (layerCapacity > 0) setStateCost(1, 0, 0);
}

int64_t arrBinarySearch(int layer, int64_t lo, const JobSet& set) {
  int64_t hi = static_cast<int64_t>(layerSize[layer]) - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const JobSet entry = stateSetAt(layer, static_cast<uint32_t>(mid));
    if (setLess(entry, set))
      lo = mid + 1;
    else if (entry == set)
      return mid;
    else
      hi = mid - 1;
  }
  warnStateNotFound();
  return -1;
}

void SetTimes::prepare() {
  uint16_t all = 0;
  for (int w = 0; w < 2; ++w)
    for (int b = 0; b < 8; ++b) {
      sum[w][b][0] = 0;
      for (int v = 1; v < 256; ++v) {
        const int bit = 8 * b + __builtin_ctz(static_cast<unsigned>(v));
        const int job = jobsPerWord * w + bit;
        const bool in = bit < jobsPerWord && contains(allJobs, job);
        sum[w][b][v] = static_cast<uint16_t>(sum[w][b][v & (v - 1)] + (in ? p[job] : 0));
      }
      all = static_cast<uint16_t>(all + sum[w][b][(allJobs.word[w] >> (8 * b)) & 255]);
    }
  base = static_cast<uint16_t>(totalP - all);
  highBytes = allJobs.word[1] == 0 ? 0 : (63 - __builtin_clzll(allJobs.word[1])) / 8 + 1;
}

void warnStateNotFound() {
  printMessage("Wrning: expected state not found - arrBinarySearch\n");
  waitKey();
}

} // namespace precdp
