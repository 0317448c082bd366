// A plain stage built from its children: first the keys of the child layer, then each
// child's cost as the least offer of its parents, read from the previous layer.
//
// In a plain relation a layer holds every set of its size that is closed under predecessors,
// and the parents of such a child C are the sets C + {i}, i a job outside C with no predecessor
// outside C. So each child finds its parents by itself, its cost is written once, and the
// previous layer is only read. For a fixed job i the parents C + {i} of ascending children C
// ascend, so each job keeps a cursor into the previous layer, where its next parent usually is.
#include "dp/pricing.h"
#include "dp/search.h"
#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace precdp {

uint32_t pricingChunk = 1u << 13;

namespace {

template <typename Key>
void preparePlainJobs(const JobTable<Key>& job, PlainJobTable<Key>& plainJob,
                      const uint64_t (&notJobs)[2]) {
  for (int bit = 0; bit < keyBits<Key>; ++bit) {
    if (((notJobs[bit / 64] >> (bit % 64)) & 1) != 0) continue; // never read
    const JobFacts<Key>& facts = job[keyBits<Key> - 1 - bit];
    PlainJob& to = plainJob[bit];
    const Key withSuccessors = facts.succ | Key{1} << bit;
    for (int w = 0; w < 2; ++w) {
      to.withSuccessors[w] = w < keyWords<Key> ? wordOf(withSuccessors, w) : 0;
      to.succ[w] = w < keyWords<Key> ? wordOf(facts.succ, w) : 0;
    }
    to.slack = int32_t{facts.dueDate} - facts.p;
    to.weight = facts.weight;
    to.cursor = 0;
    to.job = facts.job;
  }
}

// What every plain stage of the run starts from: the job table with its cursors at 0, the key
// bits that hold no job, and whether the relation has any arc. Prepared once per run, as a run
// of small instances has many stages of a few states.
template <typename Key>
struct RunFacts {
  PlainJobTable<Key> plainJob;
  uint64_t notJobs[2];
  bool arcs;
  UnionTable successors, predecessors;
};
template <typename Key>
RunFacts<Key> runFacts;

// The least parent of a child C is C + {i} for i the least job outside C, which has no
// predecessor outside C. So taking the parents in order and appending each child at its least
// parent, parent P appends P - {j} exactly for its jobs j below its least job outside it that
// precede no other job of P, highest j first: the children come out in ascending order.
// False when the layer reaches the window's stopSize, with `stoppedAt` the parent that reached
// it. `publish(size)` sees the children appended every 256 parents, or every pricingChunk if
// fewer, so that threads pricing chunks of the layer need not wait long for the next one.
template <typename Key, typename Publish>
bool appendChildren(const UnionTable& predecessors, ChildWindow<Key>& window,
                    const uint64_t (&notJobs)[2], const Publish& publish, uint32_t& stoppedAt) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  const LayerView<Key> parents(prevLayer), children(curLayer, window.offset);
  const ProgressHook progress = window.progress;
  const uint32_t publishEvery = std::min(pricingChunk, 256u);
  uint32_t size = 0, untilPublish = 1;
  UnionTable::Recent recent;
  for (uint32_t s = window.parentBegin; s < window.parentEnd; ++s) {
    if (progress != nullptr && (s & (progressInterval - 1)) == 0) progress(size);
    if (--untilPublish == 0) {
      publish(size);
      untilPublish = publishEvery;
    }
    const uint64_t set0 = parents.word0[s], set1 = wide ? parents.word1[s] : 0;
    // The jobs below the least job outside P: all of word 0 when word 0 holds all its jobs.
    uint64_t below0 = set0, below1 = 0;
    if (const uint64_t outside0 = ~(set0 | notJobs[0]); outside0 != 0) {
      below0 &= (outside0 & (~outside0 + 1)) - 1;
    } else if constexpr (wide) {
      const uint64_t outside1 = ~(set1 | notJobs[1]);
      below1 = outside1 != 0 ? set1 & ((outside1 & (~outside1 + 1)) - 1) : set1;
    }
    // The jobs below that precede no other job of P.
    uint64_t earlier0, earlier1;
    predecessors.of(set0, set1, recent, earlier0, earlier1);
    below0 &= ~earlier0;
    below1 &= ~earlier1;
    const auto append = [&](uint64_t child0, uint64_t child1) __attribute__((always_inline)) {
      children.appendKey(size, keyOf<Key>(child0, child1));
      return ++size != window.stopSize;
    };
    while (below1 != 0) {
      const int bit = highestBit(below1);
      below1 ^= uint64_t{1} << bit;
      if (!append(set0, set1 ^ uint64_t{1} << bit)) return window.size = size, stoppedAt = s, false;
    }
    while (below0 != 0) {
      const int bit = highestBit(below0);
      below0 ^= uint64_t{1} << bit;
      if (!append(set0 ^ uint64_t{1} << bit, set1)) return window.size = size, stoppedAt = s, false;
    }
  }
  window.size = size;
  return true;
}

// Prices the children [begin, end) of the window: each child's cost (and with a trace its
// parent) from all its parents, or with `stopped` from those up to `lastParent` (the last
// parent otherwise). Returns the parents read; a parent not found is counted in `missing`, for
// the stage's caller to warn of. Without `arcs` (Narrow keys only) every job outside a child is
// minimal there, and the next one is found without reading its successors.
template <typename Key, Tracing tracing, bool arcs, bool stopped>
uint64_t priceChildren(PlainJobTable<Key>& plainJob, const ChildWindow<Key>& window, uint32_t begin,
                       uint32_t end, const uint64_t (&notJobs)[2], uint32_t lastParent,
                       uint32_t& missing) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  const LayerView<Key> parents(prevLayer), children(curLayer, window.offset);
  const uint64_t* const parentWord0 = parents.word0;
  const uint64_t* const parentWord1 = parents.word1;
  const int32_t* const parentCost = parents.costs;
  [[maybe_unused]] const Key lastKey = parents[lastParent];
  [[maybe_unused]] PlainJob* const word1Jobs = plainJob + 64;
  [[maybe_unused]] const StageTrace trace = window.trace;
  [[maybe_unused]] uint64_t* const word = trace.words;
  uint64_t reads = 0;
  SetTimes::Recent recent;
  for (uint32_t c = begin; c < end; ++c) {
    const uint64_t set0 = children.word0[c], set1 = wide ? children.word1[c] : 0;
    const int32_t time = setTimes.of(set0, set1, recent);
    uint64_t outside0 = ~(set0 | notJobs[0]), outside1 = wide ? ~(set1 | notJobs[1]) : 0;
    int32_t best = INT32_MAX;
    [[maybe_unused]] uint64_t bestWord = UINT64_MAX;
    [[maybe_unused]] uint32_t bestParent = notFound;
    [[maybe_unused]] uint8_t bestJob = 0;
    // Offers the parent (parent0, parent1) through job i.
    const auto offer = [&](PlainJob & i, uint64_t parent0, uint64_t parent1)
        __attribute__((always_inline)) {
      uint32_t x = i.cursor;
      // Stopped, the cursor may pass the last parent; otherwise it stays at or below the next
      // parent, which is in the layer.
      if ((stopped && x > lastParent) || parentWord0[x] != parent0 ||
          (wide && parentWord1[x] != parent1)) {
        const Key parent = keyOf<Key>(parent0, parent1);
        if (stopped && parent > lastKey) return; // the stage stopped before this parent
        x = searchChild<true, Key, true>(parents, x, lastParent, parent, missing);
        if (x == notFound) return;
      }
      ++reads;
      // At most 2^16 - 1, as the times are exact; cut to 0 without a branch, which the
      // lateness of consecutive jobs would mispredict.
      const int32_t lateness = time - i.slack;
      const uint32_t tardiness = static_cast<uint32_t>(lateness & ~(lateness >> 31)) * i.weight;
      const int32_t candidate = addCost(parentCost[x], static_cast<int32_t>(tardiness));
      if constexpr (tracing == Tracing::packed) {
        bestWord = std::min(bestWord, packedOffer(candidate, x << packedJobBits | i.job));
      } else if constexpr (tracing == Tracing::entries) {
        if (bestParent == notFound || candidate < best) { // a tie keeps the earlier parent
          best = candidate;
          bestParent = x;
          bestJob = i.job;
        }
      } else {
        best = std::min(best, candidate);
      }
      i.cursor = x + 1;
      __builtin_prefetch(parentWord0 + x + cursorLookahead);
      if constexpr (wide) __builtin_prefetch(parentWord1 + x + cursorLookahead);
      __builtin_prefetch(parentCost + x + cursorLookahead);
    };
    // The least job left outside C is minimal there: its predecessors are lower, and each lower
    // job outside C is either taken or follows a taken one. Jobs of word 1 follow those of word 0.
    while (outside0 != 0) {
      const unsigned bit = lowestBit(outside0);
      PlainJob& i = plainJob[bit];
      if constexpr (arcs) {
        outside0 &= ~i.withSuccessors[0];
        if constexpr (wide) outside1 &= ~i.withSuccessors[1];
      } else {
        outside0 &= outside0 - 1;
      }
      offer(i, set0 | uint64_t{1} << bit, set1);
    }
    if constexpr (wide)
      while (outside1 != 0) {
        const unsigned bit = lowestBit(outside1);
        PlainJob& i = word1Jobs[bit];
        outside1 &= ~i.withSuccessors[1];
        offer(i, set0, set1 | uint64_t{1} << bit);
      }
    if constexpr (tracing == Tracing::packed) {
      word[c] = bestWord;
    } else {
      children.setCost(c, best);
      if constexpr (tracing == Tracing::entries) recordInTrace(trace, c, bestParent, bestJob);
    }
  }
  return reads;
}

// The children of a stage on several threads. The caller appends them and every thread, the
// caller too once it is done, prices chunks of them in turn as soon as they are appended.
struct SharedPricing {
  std::atomic<uint32_t> appended{0}; // children whose keys are written
  std::atomic<bool> appending{true}; // false once `appended` is final
  std::atomic<bool> stopped{false};  // the layer filled: no pricing needed
  std::atomic<uint32_t> nextChunk{0};
  uint32_t lastParent = 0; // the chunks are priced from the parents up to this one
};

template <typename Key, Tracing tracing>
struct PricingThread {
  PlainJobTable<Key> plainJob; // its own cursors
  Streams<Key> streams;        // each stage writes what it reads of them
  uint64_t reads = 0;
  uint32_t missing = 0;
  double seconds = 0;
  // Not zeroed: of its streams' buffers a stage touches only those of its jobs, an untraced
  // stage no parents' indices.
  PricingThread() {}
};

// Prices the children [begin, end) of the window from the parents up to `lastParent` (below the
// last one only if `stopped`): by streams where the processor has them, by the scalar loop
// otherwise or should a parent not be where the streams' rule puts it.
template <typename Key, Tracing tracing, bool arcs, bool stopped>
void priceRange(PricingThread<Key, tracing>& thread, const ChildWindow<Key>& window, uint32_t begin,
                uint32_t end, const uint64_t (&notJobs)[2], uint32_t lastParent) {
  if (pricingByStreams) {
    uint64_t reads = 0;
    if (priceByStreams<Key, arcs, tracing>(thread.plainJob, thread.streams,
                                           runFacts<Key>.successors, window, begin, end, notJobs,
                                           lastParent, reads)) {
      thread.reads += reads;
      return;
    }
  }
  thread.reads += priceChildren<Key, tracing, arcs, stopped>(thread.plainJob, window, begin, end,
                                                             notJobs, lastParent, thread.missing);
}

// Prices the chunks thread t takes, each once all its children are appended.
template <typename Key, Tracing tracing, bool arcs, bool stopped>
void priceChunks(SharedPricing& shared, PricingThread<Key, tracing>& thread,
                 const ChildWindow<Key>& window, const uint64_t (&notJobs)[2], bool timed) {
  // A thread's CPU clock is a system call: a stage of a few states would feel it.
  const double start = timed ? threadSeconds() : 0;
  for (;;) {
    const uint64_t begin =
        uint64_t{shared.nextChunk.fetch_add(1, std::memory_order_relaxed)} * pricingChunk;
    uint64_t end = begin + pricingChunk;
    for (;;) {
      const bool final = !shared.appending.load(std::memory_order_acquire);
      const uint32_t appended = shared.appended.load(std::memory_order_acquire);
      if (shared.stopped.load(std::memory_order_relaxed)) return;
      if (appended >= end || final) {
        end = std::min<uint64_t>(end, appended);
        break;
      }
      std::this_thread::yield();
    }
    if (begin >= end) break;
    priceRange<Key, tracing, arcs, stopped>(thread, window, uint32_t(begin), uint32_t(end), notJobs,
                                            shared.lastParent);
  }
  if (timed) thread.seconds += threadSeconds() - start;
}

} // namespace

template <typename Key>
void preparePricing(const JobTable<Key>& job) {
  RunFacts<Key>& run = runFacts<Key>;
  run.notJobs[0] = ~allJobs.word[0];
  run.notJobs[1] = keyWords<Key> > 1 ? ~allJobs.word[1] : ~0ull;
  preparePlainJobs(job, run.plainJob, run.notJobs);
  run.arcs = false;
  for (int j = 0; j < jobCount; ++j) run.arcs = run.arcs || !isEmpty(succ[j]);
  run.successors.template prepare<Key>(run.notJobs,
                                       [&](int bit, int w) { return run.plainJob[bit].succ[w]; });
  run.predecessors.template prepare<Key>(run.notJobs, [&](int bit, int w) {
    const Key pred = job[keyBits<Key> - 1 - bit].cover & ~(Key{1} << bit); // without i itself
    return w < keyWords<Key> ? wordOf(pred, w) : 0;
  });
}
template void preparePricing<Narrow>(const JobTable<Narrow>&);
template void preparePricing<Wide>(const JobTable<Wide>&);

template <typename Key, Tracing tracing>
bool expandByChildren(JobTable<Key>& job, ChildWindow<Key>& window, unsigned threads) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  const RunFacts<Key>& run = runFacts<Key>;
  const uint64_t(&notJobs)[2] = run.notJobs;
  // More than 60 jobs without precedence fill the store long before the middle layer, and the
  // stage that stops there would be priced twice; the push expansion builds it once.
  if (wide && !run.arcs && threads <= 1)
    return expandLayer<Key, true, tracing, false, false>(job, window);
  // Kept from stage to stage: a stage of a few states would feel the allocation.
  threads = std::max(threads, 1u);
  static std::vector<PricingThread<Key, tracing>> thread;
  if (thread.size() < threads) thread.resize(threads);
  // Each pricing of the stage starts every thread from the run's job table, its cursors at 0.
  const auto resetThreads = [&] {
    for (unsigned t = 0; t < threads; ++t) {
      thread[t].reads = thread[t].missing = 0;
      std::copy(std::begin(run.plainJob), std::end(run.plainJob), thread[t].plainJob);
    }
  };
  resetThreads();
  for (unsigned t = 0; t < threads; ++t) thread[t].seconds = 0;
  auto price = priceChunks<Key, tracing, true, false>;
  auto priceAgain = priceChunks<Key, tracing, true, true>;
  if constexpr (!wide)
    if (!run.arcs) {
      price = priceChunks<Key, tracing, false, false>;
      priceAgain = priceChunks<Key, tracing, false, true>;
    }
  std::vector<std::thread> workers;
  const auto startWorkers = [&](auto chunks, SharedPricing& shared) {
    if (threads <= 1) return;
    workers.reserve(threads - 1);
    try {
      for (unsigned t = 1; t < threads; ++t)
        workers.emplace_back(chunks, std::ref(shared), std::ref(thread[t]), std::cref(window),
                             std::cref(notJobs), true);
    } catch (const std::system_error&) { // no more threads to be had: the caller prices more
    }
  };
  SharedPricing shared;
  shared.lastParent = layerSize[prevLayer] - 1;
  startWorkers(price, shared);
  const bool timed = threads > 1;
  const double appendStart = timed ? threadSeconds() : 0;
  uint32_t stoppedAt = 0;
  const bool complete = appendChildren(
      run.predecessors, window, notJobs,
      [&](uint32_t size) {
        if (!workers.empty()) shared.appended.store(size, std::memory_order_release);
      },
      stoppedAt);
  shared.stopped.store(!complete, std::memory_order_relaxed);
  shared.appended.store(window.size, std::memory_order_release);
  shared.appending.store(false, std::memory_order_release);
  const double appendSeconds = timed ? threadSeconds() - appendStart : 0;
  if (complete) price(shared, thread[0], window, notJobs, timed);
  for (std::thread& worker : workers) worker.join();
  workers.clear();
  // A stage stopped at the capacity leaves its layer as the push expansion leaves it: each child
  // with the offers of the parents up to the one that filled the layer, all of whose children
  // in the layer it had offered. Chunks the threads priced took every parent, so the whole layer
  // is priced again.
  if (!complete) {
    resetThreads();
    SharedPricing again;
    again.lastParent = stoppedAt;
    again.appended.store(window.size, std::memory_order_relaxed);
    again.appending.store(false, std::memory_order_relaxed);
    startWorkers(priceAgain, again); // the thread's start orders the stores before its reads
    priceAgain(again, thread[0], window, notJobs, timed);
    for (std::thread& worker : workers) worker.join();
  }
  uint64_t reads = 0;
  for (unsigned t = 0; t < threads; ++t) {
    reads += thread[t].reads;
    for (uint32_t warning = 0; warning < thread[t].missing; ++warning) warnStateNotFound();
  }
  window.lookups = reads - window.size; // the push expansion appends each child once
  if (threads > 1) {
    ++splitTimes.stages;
    double slowest = 0;
    for (unsigned t = 0; t < threads; ++t) {
      const double seconds = thread[t].seconds + (t == 0 ? appendSeconds : 0);
      splitTimes.windows += seconds;
      slowest = std::max(slowest, seconds);
    }
    splitTimes.slowest += slowest;
  }
  return complete;
}

#define PRECDP_BY_CHILDREN(Key)                                                                    \
  template bool expandByChildren<Key, Tracing::none>(JobTable<Key>&, ChildWindow<Key>&, unsigned); \
  template bool expandByChildren<Key, Tracing::entries>(JobTable<Key>&, ChildWindow<Key>&,         \
                                                        unsigned);                                 \
  template bool expandByChildren<Key, Tracing::packed>(JobTable<Key>&, ChildWindow<Key>&, unsigned);
PRECDP_BY_CHILDREN(Narrow)
PRECDP_BY_CHILDREN(Wide)
#undef PRECDP_BY_CHILDREN

} // namespace precdp
