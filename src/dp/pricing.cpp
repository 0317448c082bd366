// A plain stage built from its children: first the keys and times of the child layer, then each
// child's cost as the least offer of its parents, read from the previous layer.
//
// In a plain relation a layer holds every set of its size that is closed under predecessors,
// and the parents of such a child C are the sets C + {i}, i a job outside C with no predecessor
// outside C. So each child finds its parents by itself, its cost is written once, and the
// previous layer is only read. For a fixed job i the parents C + {i} of ascending children C
// ascend, so each job keeps a cursor into the previous layer, where its next parent usually is.
#include "dp/expand.h"
#include "dp/search.h"

#include <algorithm>

namespace precdp {

namespace {

// Job i at its key bit, in key words: what pricing reads first, then what appending reads.
struct PlainJob {
  uint64_t withSuccessors[2]; // i and succ[i]: once i is outside C, none of them is minimal there
  int32_t slack;              // dueDate - p: the child's time above it is i's lateness
  uint32_t weight;
  uint32_t cursor; // a lower bound on the index of the next parent C + {i}
  uint16_t p;
  uint8_t job;
  uint64_t succ[2];
  uint64_t cover[2]; // i and pred[i], all of them: the relation is closed
};

template <typename Key>
using PlainJobTable = PlainJob[keyBits<Key>];

template <typename Key>
void preparePlainJobs(const JobTable<Key>& job, PlainJobTable<Key>& plainJob) {
  for (int bit = 0; bit < keyBits<Key>; ++bit) {
    const JobFacts<Key>& facts = job[keyBits<Key> - 1 - bit];
    PlainJob& to = plainJob[bit];
    const Key withSuccessors = facts.succ | Key{1} << bit;
    for (int w = 0; w < 2; ++w) {
      to.withSuccessors[w] = w < keyWords<Key> ? wordOf(withSuccessors, w) : 0;
      to.succ[w] = w < keyWords<Key> ? wordOf(facts.succ, w) : 0;
      to.cover[w] = w < keyWords<Key> ? wordOf(facts.cover, w) : 0;
    }
    to.slack = int32_t{facts.dueDate} - facts.p;
    to.weight = facts.weight;
    to.cursor = 0;
    to.p = facts.p;
    to.job = facts.job;
  }
}

// The jobs of a set below its least job outside it, in key words: all of word 0 when word 0
// holds all its jobs.
inline void jobsBelowLeastOutside(uint64_t (&word)[2], const uint64_t (&notJobs)[2]) {
  const uint64_t outside0 = ~(word[0] | notJobs[0]), outside1 = ~(word[1] | notJobs[1]);
  if (outside0 != 0) {
    word[0] &= (outside0 & (~outside0 + 1)) - 1;
    word[1] = 0;
  } else if (outside1 != 0) {
    word[1] &= (outside1 & (~outside1 + 1)) - 1;
  }
}

// The least parent of a child C is C + {i} for i the least job outside C, which has no
// predecessor outside C. So taking the parents in order and appending each child at its least
// parent, parent P appends P - {j} exactly for its jobs j below its least job outside it that
// precede no other job of P, highest j first: the children come out in ascending order.
// False when the layer reaches the window's stopSize.
template <typename Key>
bool appendChildren(const PlainJobTable<Key>& plainJob, ChildWindow<Key>& window,
                    const uint64_t (&notJobs)[2]) {
  const LayerView<Key> parents(prevLayer), children(curLayer, window.offset);
  const ProgressHook progress = window.progress;
  uint32_t size = 0;
  for (uint32_t s = window.parentBegin; s < window.parentEnd; ++s) {
    if (progress != nullptr && (s & (progressInterval - 1)) == 0) progress(size);
    const uint64_t set[2] = {parents.word0[s], keyWords<Key> > 1 ? parents.word1[s] : 0};
    uint64_t candidates[2] = {set[0], set[1]};
    jobsBelowLeastOutside(candidates, notJobs);
    const uint16_t time = parents.time(s);
    // A candidate's predecessors precede it in P, so they leave with it.
    for (int w = keyWords<Key> - 1; w >= 0; --w)
      while (candidates[w] != 0) {
        const int bit = highestBit(candidates[w]);
        const PlainJob& j = plainJob[64 * w + bit];
        candidates[0] &= ~j.cover[0];
        candidates[1] &= ~j.cover[1];
        if (((j.succ[0] & set[0]) | (j.succ[1] & set[1])) != 0) continue;
        uint64_t child[2] = {set[0], set[1]};
        child[w] ^= uint64_t{1} << bit;
        children.appendKey(size, keyOf<Key>(child[0], child[1]),
                           static_cast<uint16_t>(time - j.p));
        if (++size == window.stopSize) {
          window.size = size;
          return false;
        }
      }
  }
  window.size = size;
  return true;
}

// The index of a parent that is not at its job's cursor `from`, as searchChild finds it. Out of
// line: the pricing loop keeps its registers for the parents found at the cursor.
template <typename Key>
[[gnu::noinline]] uint32_t searchParent(const LayerView<Key>& parents, uint32_t from,
                                        uint32_t last, Key parent) {
  uint32_t missing = 0;
  return searchChild<false>(parents, from, last, parent, missing);
}

// Prices the children [begin, end) of the window: each child's cost (and with a trace its
// parent) from all its parents. Returns the parents read.
template <typename Key, Tracing tracing>
uint64_t priceChildren(PlainJobTable<Key>& plainJob, const ChildWindow<Key>& window,
                       uint32_t begin, uint32_t end, const uint64_t (&notJobs)[2]) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  const LayerView<Key> parents(prevLayer), children(curLayer, window.offset);
  const uint64_t* const parentWord0 = parents.word0;
  const uint64_t* const parentWord1 = parents.word1;
  const int32_t* const parentCost = parents.costs;
  const uint32_t lastParent = layerSize[prevLayer] - 1;
  [[maybe_unused]] PlainJob* const word1Jobs = plainJob + 64;
  [[maybe_unused]] const StageTrace trace = window.trace;
  [[maybe_unused]] uint64_t* const word = trace.words;
  uint64_t reads = 0;
  for (uint32_t c = begin; c < end; ++c) {
    const uint64_t set0 = children.word0[c], set1 = wide ? children.word1[c] : 0;
    const int32_t time = children.time(c);
    uint64_t outside0 = ~(set0 | notJobs[0]), outside1 = wide ? ~(set1 | notJobs[1]) : 0;
    int32_t best = INT32_MAX;
    [[maybe_unused]] uint64_t bestWord = UINT64_MAX;
    [[maybe_unused]] uint32_t bestParent = notFound;
    [[maybe_unused]] uint8_t bestJob = 0;
    // Offers the parent (parent0, parent1) through job i.
    const auto offer = [&](PlainJob& i, uint64_t parent0, uint64_t parent1)
        __attribute__((always_inline)) {
      uint32_t x = i.cursor;
      if (parentWord0[x] != parent0 || (wide && parentWord1[x] != parent1)) {
        x = searchParent(parents, x, lastParent, keyOf<Key>(parent0, parent1));
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
      outside0 &= ~i.withSuccessors[0];
      if constexpr (wide) outside1 &= ~i.withSuccessors[1];
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

} // namespace

template <typename Key, Tracing tracing>
bool expandByChildren(JobTable<Key>& job, ChildWindow<Key>& window) {
  const uint64_t notJobs[2] = {~allJobs.word[0], keyWords<Key> > 1 ? ~allJobs.word[1] : ~0ull};
  PlainJobTable<Key> plainJob;
  preparePlainJobs(job, plainJob);
  // A stage stopped at the capacity leaves its layer as the push expansion leaves it, with the
  // offers of the parents before the stop: it runs again that way. The previous layer is
  // unchanged, so the redo is exact.
  if (!appendChildren(plainJob, window, notJobs))
    return expandLayer<Key, true, tracing, false, false>(job, window);
  const uint64_t reads = priceChildren<Key, tracing>(plainJob, window, 0, window.size, notJobs);
  window.lookups = reads - window.size; // the push expansion appends each child once
  return true;
}

#define PRECDP_BY_CHILDREN(Key)                                                                    \
  template bool expandByChildren<Key, Tracing::none>(JobTable<Key>&, ChildWindow<Key>&);          \
  template bool expandByChildren<Key, Tracing::entries>(JobTable<Key>&, ChildWindow<Key>&);       \
  template bool expandByChildren<Key, Tracing::packed>(JobTable<Key>&, ChildWindow<Key>&);
PRECDP_BY_CHILDREN(Narrow)
PRECDP_BY_CHILDREN(Wide)
#undef PRECDP_BY_CHILDREN

} // namespace precdp
