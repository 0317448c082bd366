// A stage on several threads. The child layer is split by key into one window per thread; each
// thread builds its window in place, so the layer keeps its order and no state is copied.
// Window t starts where the states of the windows below it end: thread t first counts window
// t - 1 (a pass over the parents that only follows the jobs that make new children), then waits
// for the counts below it. Thread 0 builds window 0 from index 0 at once.
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace precdp {

unsigned dpThreads = 1;
uint32_t threadedParents = 1u << 15;

namespace {

// First index of the layer whose set is above `low`.
template <typename Key>
uint32_t firstAbove(const LayerView<Key>& layer, uint32_t count, Key low) {
  uint32_t lo = 0, hi = count;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (layer[mid] > low)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}

// The states expandLayer appends in `window`, counted without building them: per parent, the
// jobs whose child is new in the window and that can be last, as the expansion decides them.
template <typename Key, bool plain>
uint64_t countWindow(const JobTable<Key>& job, const ChildWindow<Key>& window) {
  const LayerView<Key> parents(prevLayer);
  uint64_t count = 0;
  Key appendFrom = window.low;
  for (uint32_t s = window.parentBegin; s < window.parentEnd; ++s) {
    const Key set = parents[s];
    if (!(set > appendFrom)) continue;
    if constexpr (plain) {
      // Here the jobs that can be last are exactly those without a successor in the set. The new
      // children remove the jobs at key bits up to that of set - appendFrom, lowest bit first.
      Key fresh = set & bitsUpTo<Key>(highestBit(set - appendFrom));
      if (window.bounded && set > window.high)
        fresh &= ~bitsUpTo<Key>(highestBit(set - window.high));
      Key largest = 0;
      bool any = false;
      for (; fresh != 0; fresh &= fresh - 1) {
        const int bit = lowestBit(fresh);
        if ((job[keyBits<Key> - 1 - bit].succ & set) != 0) continue;
        if (!any) largest = set ^ (Key{1} << bit);
        any = true;
        ++count;
      }
      if (any) appendFrom = largest + 1;
      continue;
    }
    // Otherwise the expansion's own steps: all jobs in its order, the skips and the covered set.
    Key jobs = reversedBits(set);
    if (window.bounded && set > window.high)
      jobs &= bitsUpTo<Key>(keyBits<Key> - 2 - highestBit(set - window.high));
    const Key fresh = jobs & ~bitsUpTo<Key>(keyBits<Key> - 2 - highestBit(set - appendFrom));
    int last = -1; // reversed position of the job of the largest new child
    Key skipped = 0, covered = 0;
    for (; jobs != 0; jobs &= jobs - 1) {
      const int r = lowestBit(jobs);
      if (((skipped >> r) & 1) != 0 || (job[r].succ & set) != 0) continue;
      if (((fresh >> r) & 1) != 0) {
        ++count;
        last = r;
      }
      skipped |= job[r].skip;
      covered |= job[r].cover;
      if (covered == set) break;
    }
    if (last >= 0) appendFrom = (set ^ (Key{1} << (keyBits<Key> - 1 - last))) + 1;
  }
  return count;
}

// Where the windows start, as shares of the parent layer: share[t] is window t's first parent
// over the layer's size, for the thread count `shared`. After each split stage the shares move
// so that every thread would have taken the same time, at its measured seconds per share; the
// next stage's layer is much like this one. Only the time taken depends on them.
struct WindowShares {
  unsigned threads = 0;
  std::vector<double> start; // [t], start[0] = 0, ascending
  void reset(unsigned count) {
    threads = count;
    start.resize(count);
    for (unsigned t = 0; t < count; ++t) start[t] = double(t) / count;
  }
  void rebalance(const std::vector<double>& seconds) {
    std::vector<double> width(threads), even(threads);
    double evenSum = 0;
    for (unsigned t = 0; t < threads; ++t) {
      width[t] = (t + 1 < threads ? start[t + 1] : 1.0) - start[t];
      even[t] = width[t] / std::max(seconds[t], 1e-6); // the width per second it ran at
      evenSum += even[t];
    }
    // Half-way to the widths that even out the times, none below a tenth of an even share.
    double at = 0;
    for (unsigned t = 0; t < threads; ++t) {
      start[t] = at;
      at += 0.5 * (width[t] + std::max(even[t] / evenSum, 0.1 / threads));
    }
    for (double& share : start) share /= at;
  }
};

WindowShares shares;

template <typename Key>
struct ThreadTable {
  JobTable<Key> job; // a copy per thread: the cursors are the thread's own
};

// Everything the threads of one stage share; each thread writes only its own slots.
template <typename Key>
struct StageSplit {
  std::vector<ChildWindow<Key>> windows;
  std::vector<ThreadTable<Key>> tables;
  std::vector<uint64_t> counts;           // [t]: states of window t, written by thread t + 1
  std::vector<std::atomic<bool>> counted; // [t]: counts[t] is written
  std::vector<char> complete;             // [t]: window t did not reach the capacity
  std::vector<double> seconds;            // [t]: CPU seconds of thread t's count and window

  StageSplit(unsigned threads, const JobTable<Key>& job)
      : windows(threads), tables(threads), counts(threads), counted(threads), complete(threads),
        seconds(threads) {
    for (ThreadTable<Key>& table : tables)
      std::copy(std::begin(job), std::end(job), std::begin(table.job));
  }
};

// Window t > 0 starts at the set of the parent at its share of the layer.
template <typename Key>
void splitByParents(StageSplit<Key>& split, uint32_t parentCount) {
  const LayerView<Key> parents(prevLayer);
  const size_t threads = split.windows.size();
  if (shares.threads != threads) shares.reset(static_cast<unsigned>(threads));
  uint32_t first = 0; // parent index of the previous window's start
  for (size_t t = 0; t < threads; ++t) {
    ChildWindow<Key>& window = split.windows[t];
    if (t > 0) { // strictly ascending starts, at most one parent each at the end
      const uint32_t highest = parentCount - static_cast<uint32_t>(threads - t);
      first = std::clamp(static_cast<uint32_t>(shares.start[t] * parentCount), first + 1, highest);
    }
    window.low = t == 0 ? Key{0} : parents[first];
    window.parentBegin = t == 0 ? 0 : firstAbove(parents, parentCount, window.low);
    window.parentEnd = parentCount;
    if (t > 0) {
      split.windows[t - 1].high = window.low;
      split.windows[t - 1].bounded = true;
    }
  }
}

// Thread t's part: the count of window t - 1, the wait for the windows below, its own window.
template <typename Key, bool plain, Tracing tracing>
void runWindow(StageSplit<Key>& split, size_t t) {
  ChildWindow<Key>& window = split.windows[t];
  const uint32_t stopSize = layerCapacity - 1;
  const double start = threadSeconds();
  if (t > 0) {
    split.counts[t - 1] = countWindow<Key, plain>(split.tables[t].job, split.windows[t - 1]);
    split.counted[t - 1].store(true, std::memory_order_release);
    split.counted[t - 1].notify_all();
    uint64_t offset = 0;
    for (size_t below = 0; below < t; ++below) {
      split.counted[below].wait(false, std::memory_order_acquire);
      offset += split.counts[below];
    }
    if (offset >= stopSize) return; // the windows below already fill the layer
    window.offset = static_cast<uint32_t>(offset);
  }
  window.stopSize = stopSize - window.offset;
  if constexpr (tracing != Tracing::none) {
    window.trace = stageTrace;
    window.trace.entries += uint64_t{traceBytesPerState} * window.offset;
    if (window.trace.words != nullptr) window.trace.words += window.offset;
    window.trace.room = window.trace.room > window.offset ? window.trace.room - window.offset : 0;
  }
  window.progress = t == 0 ? progressHook : nullptr;
  split.complete[t] = expandLayer<Key, plain, tracing, true>(split.tables[t].job, window);
  split.seconds[t] += threadSeconds() - start;
}

template <typename Key, bool plain, Tracing tracing>
bool expandSplit(const JobTable<Key>& job, unsigned threads) {
  const uint32_t parentCount = layerSize[prevLayer];
  StageSplit<Key> split(threads, job);
  splitByParents(split, parentCount);
  std::vector<std::thread> workers;
  workers.reserve(threads);
  size_t started = 1; // windows 1..started-1 have threads; the caller builds the others in order
  try {
    for (; started < threads; ++started)
      workers.emplace_back(runWindow<Key, plain, tracing>, std::ref(split), started);
  } catch (const std::system_error&) { // no more threads to be had: the same windows, later
  }
  runWindow<Key, plain, tracing>(split, 0);
  for (size_t t = started; t < threads; ++t) runWindow<Key, plain, tracing>(split, t);
  for (std::thread& worker : workers) worker.join();

  bool full = false;
  uint64_t size = 0;
  for (size_t t = 0; t < threads; ++t) {
    lookupCount += split.windows[t].lookups;
    for (uint32_t warning = 0; warning < split.windows[t].missing; ++warning) warnStateNotFound();
    full = full || !split.complete[t];
    size += split.windows[t].size;
    if (t + 1 < threads && !full && split.windows[t].size != split.counts[t]) {
      std::fprintf(stderr, "precdp: window %zu of a stage built %u states, counted %llu\n", t,
                   split.windows[t].size, static_cast<unsigned long long>(split.counts[t]));
      std::abort(); // the windows above it overlap or leave a gap: the layer is corrupt
    }
  }
  layerSize[curLayer] = full ? layerCapacity - 1 : static_cast<uint32_t>(size);
  if (!full) shares.rebalance(split.seconds);
  return !full;
}

} // namespace

template <typename Key, bool plain, Tracing tracing>
bool expandStage(JobTable<Key>& job) {
  const uint32_t parentCount = layerSize[prevLayer];
  const unsigned threads =
      std::min<uint64_t>(dpThreads, parentCount / std::max<uint32_t>(threadedParents, 1));
  bool complete = false;
  if (threads > 1) {
    complete = expandSplit<Key, plain, tracing>(job, threads);
  } else {
    ChildWindow<Key> whole;
    whole.parentEnd = parentCount;
    whole.stopSize = layerCapacity - 1;
    whole.progress = progressHook;
    whole.trace = stageTrace;
    complete = expandLayer<Key, plain, tracing, false>(job, whole);
    layerSize[curLayer] = whole.size;
    lookupCount += whole.lookups;
  }
  if constexpr (tracing == Tracing::packed) unpackTrace(layerSize[curLayer]);
  return complete;
}

#define PRECDP_STAGES(tracing)                                                                     \
  template bool expandStage<Narrow, false, tracing>(JobTable<Narrow>&);                            \
  template bool expandStage<Narrow, true, tracing>(JobTable<Narrow>&);                             \
  template bool expandStage<Wide, false, tracing>(JobTable<Wide>&);                                \
  template bool expandStage<Wide, true, tracing>(JobTable<Wide>&);
PRECDP_STAGES(Tracing::none)
PRECDP_STAGES(Tracing::entries)
PRECDP_STAGES(Tracing::packed)
#undef PRECDP_STAGES

} // namespace precdp
