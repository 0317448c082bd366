// A stage on several threads where the relation is not plain; a plain one builds its children
// first and prices them on the threads (pricing.cpp). The child layer is split by key into one
// window per thread, and every thread builds its window at once. Window t > 0 starts at a
// provisional offset: the states of the windows below it as a sampled count estimates them,
// plus slack, so that each window may fill the room up to the next one's offset. Once the
// windows below are in their final place, window t moves down to where they end: the layer
// keeps its order, and no second copy of it is made. A stage whose window outgrows its room, or
// whose trace would fall past the trace store at the provisional place only, runs again on one
// thread; a stage never changes the previous layer, so the redo is exact, and so is its
// capacity stop.
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace precdp {

unsigned dpThreads = 1;
uint32_t threadedParents = 1u << 15;
double windowSlack = 0.08;
SplitTimes splitTimes;

namespace {

// The states expandLayer appends in `window` for its parents [begin, end), counted without
// building them: per parent, the jobs whose child is new in the window and that can be last, as
// the expansion decides them. `appendFrom` is the expansion's at `begin`, and is left at `end`'s.
template <typename Key>
uint64_t countChildren(const JobTable<Key>& job, const ChildWindow<Key>& window, uint32_t begin,
                       uint32_t end, Key& appendFrom) {
  const LayerView<Key> parents(prevLayer);
  uint64_t count = 0;
  for (uint32_t s = begin; s < end; ++s) {
    const Key set = parents[s];
    if (!(set > appendFrom)) continue;
    // The expansion's own steps: all jobs in its order, the skips and the covered set.
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

// Parent ranges of at most this many parents are counted whole; larger ones in runs of
// runLength parents, evenly spread, that cover a sampledShare of them. Each run first follows
// warmUp parents to find its appendFrom, which the largest child of the parents just before it
// sets.
inline constexpr uint32_t countedWhole = 1u << 13;
inline constexpr uint32_t runLength = 256, warmUp = 16, sampledShare = 64;

// The states the parents [from, to) append in `window`, after the warmUp parents before `from`
// have set appendFrom.
template <typename Key>
uint64_t countRun(const JobTable<Key>& job, const ChildWindow<Key>& window, uint32_t from,
                  uint32_t to) {
  Key appendFrom = window.low;
  countChildren<Key>(job, window, from - std::min(from - window.parentBegin, warmUp), from,
                     appendFrom);
  return countChildren<Key>(job, window, from, to, appendFrom);
}

// The states the parents [begin, end) append in `window`: counted, or estimated from the counts
// of sampled runs.
template <typename Key>
uint64_t sampledCount(const JobTable<Key>& job, const ChildWindow<Key>& window, uint32_t begin,
                      uint32_t end) {
  const uint32_t parents = end - begin;
  if (parents <= countedWhole) return countRun<Key>(job, window, begin, end);
  const uint32_t runs = std::max(countedWhole, parents / sampledShare) / runLength;
  const uint64_t spacing = parents / runs; // at least runLength
  uint64_t count = 0;
  for (uint32_t run = 0; run < runs; ++run) {
    const uint32_t from = begin + static_cast<uint32_t>(run * spacing);
    count += countRun<Key>(job, window, from, from + runLength);
  }
  return count * parents / (uint64_t{runs} * runLength);
}

// The states of `window`, estimated. Its parents above `high` add new children below high only
// right above it: further up, their children below high are nearly all made by then, which runs
// sampled there would not know. So only the first countedWhole of those are counted.
template <typename Key>
uint64_t estimateWindow(const JobTable<Key>& job, const ChildWindow<Key>& window) {
  const LayerView<Key> parents(prevLayer);
  const uint32_t above =
      window.bounded ? firstAbove(parents, 0, window.parentEnd, window.high) : window.parentEnd;
  const uint32_t aboveEnd = std::min(window.parentEnd, above + countedWhole);
  return sampledCount<Key>(job, window, window.parentBegin, above) +
         sampledCount<Key>(job, window, above, aboveEnd);
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
  std::vector<uint32_t> finalOffset;     // [t]: where window t's states end up in the layer
  std::vector<std::atomic<bool>> placed; // [t]: window t is built and in its final place
  std::vector<char> fits;                // [t]: windows 0..t were built whole in their rooms
  std::vector<double> seconds;           // [t]: CPU seconds of thread t's window
  std::vector<double> moveSeconds;       // [t]: CPU seconds of window t's move

  StageSplit(unsigned threads, const JobTable<Key>& job)
      : windows(threads), tables(threads), finalOffset(threads), placed(threads), fits(threads),
        seconds(threads), moveSeconds(threads) {
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
    window.parentBegin = t == 0 ? 0 : firstAbove(parents, 0, parentCount, window.low);
    window.parentEnd = parentCount;
    if (t > 0) {
      split.windows[t - 1].high = window.low;
      split.windows[t - 1].bounded = true;
    }
  }
}

// Entries of curLayer a stage may write, at most capacity - 1 (the capacity stop), and fewer
// when its packed words end there.
template <Tracing tracing>
uint64_t writableStates() {
  uint64_t states = layerCapacity - 1;
  if constexpr (tracing == Tracing::packed) {
    const uint8_t* end = tracedEntries + uint64_t{traceBytesPerState} * traceCapacity;
    const auto* words = reinterpret_cast<const uint8_t*>(stageTrace.words);
    states = std::min<uint64_t>(states, (end - words) / sizeof(uint64_t));
  }
  return states;
}

// Gives every window its provisional offset and its room (the window's stopSize): its estimated
// states plus slack, and one more, so that a window that fills its room is known to have outgrown
// the estimate. False when the rooms do not fit the writable part of the layer.
template <typename Key, Tracing tracing>
bool placeWindows(StageSplit<Key>& split, const JobTable<Key>& job) {
  const size_t threads = split.windows.size();
  const uint64_t writable = writableStates<tracing>();
  uint64_t offset = 0;
  for (size_t t = 0; t < threads; ++t) {
    uint64_t room = writable > offset ? writable - offset : 0;
    if (t + 1 < threads) {
      const double estimate = static_cast<double>(estimateWindow<Key>(job, split.windows[t]));
      room = std::min(room, static_cast<uint64_t>(std::max(0.0, estimate * (1 + windowSlack))) + 1);
    }
    if (room == 0) return false; // the windows below fill the writable part
    split.windows[t].offset = static_cast<uint32_t>(offset);
    split.windows[t].stopSize = static_cast<uint32_t>(room);
    offset += room;
  }
  return true;
}

// Moves `size` states of curLayer, with their trace, from index `from` down to `to`. Narrow keys
// have no second word to move: it is zero.
template <typename Key, Tracing tracing>
void moveStates(uint32_t from, uint32_t to, uint32_t size, bool traced) {
  const auto move = [=](auto* array, size_t width) {
    std::memmove(array + width * to, array + width * from, sizeof *array * width * size);
  };
  move(stateSet[curLayer][0], 1);
  if constexpr (std::is_same_v<Key, Wide>)
    move(stateSet[curLayer][1], 1);
  else
    std::memset(stateSet[curLayer][1] + to, 0, sizeof(uint64_t) * size);
  move(stateCost[curLayer], 1);
  if constexpr (tracing == Tracing::entries)
    if (traced) move(stageTrace.entries, traceBytesPerState);
  if constexpr (tracing == Tracing::packed) move(stageTrace.words, 1);
}

// Thread t's part: its window at its provisional offset, then, once the windows below are in
// place, the move down to where they end.
template <typename Key, Tracing tracing>
void runWindow(StageSplit<Key>& split, size_t t) {
  ChildWindow<Key>& window = split.windows[t];
  const double start = threadSeconds();
  window.trace = stageTrace;
  if constexpr (tracing != Tracing::none) {
    window.trace.entries += uint64_t{traceBytesPerState} * window.offset;
    if (window.trace.words != nullptr) window.trace.words += window.offset;
    window.trace.room = window.trace.room > window.offset ? window.trace.room - window.offset : 0;
  }
  window.progress = t == 0 ? progressHook : nullptr;
  // The loop for the window's own ends: every window but the first starts at its low, every
  // one but the last is bounded by its high.
  JobTable<Key>& job = split.tables[t].job;
  const bool whole = !window.bounded ? expandLayer<Key, false, tracing, true, false>(job, window)
                     : t == 0        ? expandLayer<Key, false, tracing, false, true>(job, window)
                                     : expandLayer<Key, false, tracing, true, true>(job, window);
  split.seconds[t] = threadSeconds() - start;
  bool fits = whole;
  if (t > 0) {
    split.placed[t - 1].wait(false, std::memory_order_acquire);
    fits = fits && split.fits[t - 1];
    split.finalOffset[t] = split.finalOffset[t - 1] + split.windows[t - 1].size;
    // Window t - 1 has left the provisional room below window t: the move may overwrite it.
    const double moveStart = threadSeconds();
    if (fits)
      moveStates<Key, tracing>(window.offset, split.finalOffset[t], window.size,
                               window.size <= window.trace.room);
    split.moveSeconds[t] = threadSeconds() - moveStart;
  }
  split.fits[t] = fits;
  split.placed[t].store(true, std::memory_order_release);
  split.placed[t].notify_all();
}

template <typename Key>
void noteSplitTimes(const StageSplit<Key>& split) {
  ++splitTimes.stages;
  for (size_t t = 0; t < split.seconds.size(); ++t) {
    splitTimes.windows += split.seconds[t];
    splitTimes.moving += split.moveSeconds[t];
  }
  splitTimes.slowest += *std::max_element(split.seconds.begin(), split.seconds.end());
}

// The stage split over `threads` threads; false when a window outgrew its room or its trace
// fell past the store at its provisional place only, and the stage is to run again.
template <typename Key, Tracing tracing>
bool expandSplit(const JobTable<Key>& job, unsigned threads) {
  const uint32_t parentCount = layerSize[prevLayer];
  const double placingStart = threadSeconds();
  StageSplit<Key> split(threads, job);
  splitByParents(split, parentCount);
  const bool placed = placeWindows<Key, tracing>(split, job);
  splitTimes.placing += threadSeconds() - placingStart;
  if (!placed) return false;
  std::vector<std::thread> workers;
  workers.reserve(threads);
  size_t started = 1; // windows 1..started-1 have threads; the caller builds the others in order
  try {
    for (; started < threads; ++started)
      workers.emplace_back(runWindow<Key, tracing>, std::ref(split), started);
  } catch (const std::system_error&) { // no more threads to be had: the same windows, later
  }
  runWindow<Key, tracing>(split, 0);
  for (size_t t = started; t < threads; ++t) runWindow<Key, tracing>(split, t);
  for (std::thread& worker : workers) worker.join();
  noteSplitTimes(split);

  const ChildWindow<Key>& top = split.windows[threads - 1];
  const uint64_t size = uint64_t{split.finalOffset[threads - 1]} + top.size;
  bool kept = split.fits[threads - 1];
  if (kept && tracing == Tracing::entries && size <= stageTrace.room)
    for (const ChildWindow<Key>& window : split.windows) // lost where the final place keeps it
      kept = kept && window.size <= window.trace.room;
  if (!kept) {
    ++splitTimes.redone;
    return false;
  }
  for (const ChildWindow<Key>& window : split.windows) {
    lookupCount += window.lookups;
    for (uint32_t warning = 0; warning < window.missing; ++warning) warnStateNotFound();
  }
  layerSize[curLayer] = static_cast<uint32_t>(size);
  shares.rebalance(split.seconds);
  return true;
}

} // namespace

template <typename Key, bool plain, Tracing tracing>
bool expandStage(JobTable<Key>& job) {
  const uint32_t parentCount = layerSize[prevLayer];
  const unsigned threads =
      std::min<uint64_t>(dpThreads, parentCount / std::max<uint32_t>(threadedParents, 1));
  bool complete = true;
  ChildWindow<Key> whole;
  whole.parentEnd = parentCount;
  whole.stopSize = layerCapacity - 1;
  whole.progress = progressHook;
  whole.trace = stageTrace;
  const auto runWhole = [&](bool expanded) {
    layerSize[curLayer] = whole.size;
    lookupCount += whole.lookups;
    return expanded;
  };
  if constexpr (plain)
    complete = runWhole(expandByChildren<Key, tracing>(job, whole, threads));
  else if (threads <= 1 || !expandSplit<Key, tracing>(job, threads))
    complete = runWhole(expandLayer<Key, plain, tracing, false, false>(job, whole));
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
