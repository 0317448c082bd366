#include "dp/expand.h"
#include "dp/search.h"

#include <algorithm>
#include <type_traits>

namespace precdp {

NarrowCandidates narrowCandidates;
StageTrace stageTrace;

namespace {

// For a parent S above high with no child in the window: when S - 2^t, its least child, is at or
// above high, so are the children of the parents after it up to 2^(t + 1), which share its top
// bit t. Returns the last of those parents (s itself otherwise); the progress hook still sees
// every interval the jump passes.
template <typename Key>
uint32_t skipToNextTopBit(const LayerView<Key>& parents, uint32_t s, uint32_t end, Key set,
                          Key high, ProgressHook progress, uint32_t size) {
  const int top = highestBit(set);
  if ((set ^ (Key{1} << top)) < high) return s;
  const uint32_t last = end - 1;
  uint32_t to = end; // the first parent past top bit t, if any
  if (top + 1 < keyBits<Key>) {
    const Key next = Key{1} << (top + 1);
    if (!(parents[last] < next)) to = lowerBound(parents, s, last, next);
  }
  if (progress != nullptr && s / progressInterval != (to - 1) / progressInterval) progress(size);
  return to - 1;
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
//
// A traced stage also records each child's parent where the child is appended and where a
// lookup lowers its cost (see Tracing); an untraced stage is the same loop without those writes.
//
// A window starting at `low` first takes off the jobs whose children lie below it: they are
// only followed for the jobs they rule out. Its appendFrom starts at low, which keeps the rule:
// a child in the window below the window's last set plus one was made by a smaller parent.
template <typename Key, bool plain, Tracing tracing, bool fromLow, bool toHigh>
bool expandLayer(JobTable<Key>& job, ChildWindow<Key>& window) {
  constexpr bool windowed = fromLow || toHigh;
  // A plain stage splits by children, not by windows (pricing.cpp).
  static_assert(!(plain && windowed));
  constexpr bool entries = tracing == Tracing::entries, packed = tracing == Tracing::packed;
  constexpr bool candidatesAtOnce =
      plain && std::is_same_v<Key, Narrow> && NarrowCandidates::vectorised;
  // The expansion's own copy: the windows of a stage compute their candidates at once.
  [[maybe_unused]] NarrowCandidates candidates;
  if constexpr (candidatesAtOnce) candidates = narrowCandidates;
  const auto candidateOf = [&](int r, const JobFacts<Key>& facts, uint16_t time, int32_t cost) {
    if constexpr (candidatesAtOnce) return candidates.candidate[r];
    return addCost(cost, placementCost<plain>(facts, time));
  };
  const LayerView<Key> parents(prevLayer), children(curLayer, window.offset);
  const uint32_t stopSize = window.stopSize, parentEnd = window.parentEnd;
  // Local copies: the stores to the layer and the cursors could otherwise alias the window's.
  const Key low = window.low, high = window.high;
  uint32_t missing = 0, size = 0;
  Key appendFrom = low;
  uint64_t lookups = 0;
  const ProgressHook progress = window.progress;
  [[maybe_unused]] const StageTrace trace = window.trace;
  [[maybe_unused]] uint64_t* const word = trace.words;
  for (JobFacts<Key>& facts : job) facts.cursor = 0;
  const auto finish = [&](bool complete) {
    window.size = size;
    window.lookups = lookups;
    window.missing = missing;
    return complete;
  };

  // Finds `child`, already in the layer, from its job's cursor and offers it the candidate cost
  // of parent s; parentBits is s << packedJobBits.
  const auto offer = [&](JobFacts<Key> & facts, Key child, int32_t candidate, uint32_t s,
                         [[maybe_unused]] uint32_t parentBits) __attribute__((always_inline)) {
    ++lookups;
    uint32_t x = facts.cursor;
    if (!(children[x] == child)) x = searchChild<windowed>(children, x, size - 1, child, missing);
    if (x == notFound) return;
    if constexpr (packed) {
      word[x] = std::min(word[x], packedOffer(candidate, parentBits | facts.job));
    } else if constexpr (entries) {
      if (candidate < children.cost(x)) { // on a tie the earlier parent keeps the state
        children.setCost(x, candidate);
        recordInTrace(trace, x, s, facts.job);
      }
    } else {
      children.setCost(x, std::min(children.cost(x), candidate));
    }
    facts.cursor = x + 1;
    children.prefetch(x + cursorLookahead, !packed);
    if constexpr (packed) __builtin_prefetch(&word[x + cursorLookahead], 1);
  };

  // The children of parent s in the window; false at its stopSize. Parents above the window's
  // high (`aboveHigh`, a std::bool_constant) come after all others, in their own loop below.
  const auto expandParent = [&](auto aboveHighTag, uint32_t& s, Key set, uint16_t time,
                                int32_t cost) __attribute__((always_inline)) {
    constexpr bool aboveHigh = decltype(aboveHighTag)::value;
    // The jobs still to try, bit-reversed so that the lowest bit is the highest job: those whose
    // child is already in the layer (found), then those whose child is new (fresh).
    Key found = reversedBits(set), fresh = 0, below = 0;
    if constexpr (aboveHigh) // children at or above high: the lowest jobs
      found &= bitsUpTo<Key>(keyBits<Key> - 2 - highestBit(set - high));
    if constexpr (fromLow) {
      below = found & bitsUpTo<Key>(keyBits<Key> - 2 - highestBit(set - low));
      found ^= below;
    }
    if constexpr (fromLow || aboveHigh)
      if (found == 0) {
        if constexpr (aboveHigh)
          s = skipToNextTopBit(parents, s, parentEnd, set, high, progress, size);
        return true;
      }
    if (set > appendFrom) {
      fresh = found & ~bitsUpTo<Key>(keyBits<Key> - 2 - highestBit(set - appendFrom));
      found ^= fresh;
    }
    if constexpr (candidatesAtOnce) candidates.compute(time, cost);
    [[maybe_unused]] const uint32_t parentBits = s << packedJobBits;
    Key skipped = 0; // reversed: placed jobs and their predecessors
    Key covered = 0; // only kept for an instance that is not plain
    // Children of an earlier window, in a relation that is not plain: only the jobs they rule out.
    if constexpr (fromLow)
      while (below != 0) {
        const int r = lowestBit(below);
        if (((skipped >> r) & 1) != 0) {
          below &= ~skipped;
          continue;
        }
        below &= below - 1;
        if ((job[r].succ & set) != 0) continue;
        skipped |= job[r].skip;
        covered |= job[r].cover;
        if (covered == set) below = found = fresh = 0;
      }
    // Wide keys: a placed job takes itself and the jobs it rules out off `found` at once, which
    // puts the load of its skip on the scan's dependency but saves the 128-bit bit test, the
    // dearer of the two (about 7% on layers of millions). Narrow keys keep the scan's own
    // dependency to found & (found - 1) and test the skipped jobs as they come.
    constexpr bool skipAtOnce = std::is_same_v<Key, Wide>;
    if constexpr (skipAtOnce) found &= ~skipped;
    // `found` is scanned one 64-bit word at a time, its lower word (the higher jobs) first: a
    // job's position, its bit and its child are then one-word operations, and the loop keeps
    // its state in registers. Word w of the reversed key is key word keyWords - 1 - w.
    uint64_t scan[keyWords<Key>];
    for (int w = 0; w < keyWords<Key>; ++w) scan[w] = wordOf(found, w);
    const auto lookUpWord = [&](const int w) __attribute__((always_inline)) {
      while (scan[w] != 0) {
        const int r = 64 * w + lowestBit(scan[w]);
        if (!skipAtOnce && ((skipped >> r) & 1) != 0) { // off the scan's dependency: rarely taken
          scan[w] &= ~wordOf(skipped, w);
          continue;
        }
        JobFacts<Key>& facts = job[r];
        const bool canBeLast = plain || (facts.succ & set) == 0;
        if (skipAtOnce && canBeLast) {
          for (int v = w; v < keyWords<Key>; ++v) scan[v] &= ~wordOf(facts.skip, v);
        } else {
          scan[w] &= scan[w] - 1;
        }
        if (!canBeLast) continue;
        const Key child = set ^ atWord<Key>(uint64_t{1} << 63 >> (r % 64), keyWords<Key> - 1 - w);
        offer(facts, child, candidateOf(r, facts, time, cost), s, parentBits);
        skipped |= facts.skip;
        if constexpr (!plain) {
          covered |= facts.cover;
          if (covered == set) {
            for (uint64_t& rest : scan) rest = 0;
            fresh = 0;
          }
        }
      }
    };
    lookUpWord(0);
    if constexpr (std::is_same_v<Key, Wide>) lookUpWord(1);
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
      const int32_t candidate = candidateOf(r, facts, time, cost);
      children.appendKey(size, child);
      // Packed, the cost is the word's until the stage unpacks it.
      if constexpr (packed)
        word[size] = packedOffer(candidate, parentBits | facts.job);
      else
        children.setCost(size, candidate);
      if constexpr (entries) recordInTrace(trace, size, s, facts.job);
      facts.cursor = ++size;
      appendFrom = child + 1;
      if (size == stopSize) return false;
      skipped |= facts.skip;
      if constexpr (!plain) {
        covered |= facts.cover;
        if (covered == set) fresh = 0;
      }
    }
    return true;
  };

  const auto reportProgress = [&](uint32_t s) {
    if (progress != nullptr && (s & (progressInterval - 1)) == 0) progress(size);
  };
  const uint32_t aboveBegin =
      toHigh ? firstAbove(parents, window.parentBegin, parentEnd, high) : parentEnd;
  SetTimes::Recent recent;
  for (uint32_t s = window.parentBegin; s < aboveBegin; ++s) {
    reportProgress(s);
    if (!expandParent(std::false_type{}, s, parents[s], parents.time(s, recent), parents.cost(s)))
      return finish(false);
  }
  if constexpr (toHigh)
    for (uint32_t s = aboveBegin; s < parentEnd; ++s) {
      reportProgress(s);
      const Key set = parents[s];
      const uint16_t time = parents.time(s, recent);
      const int32_t cost = parents.cost(s);
      if (!expandParent(std::true_type{}, s, set, time, cost)) return finish(false);
    }
  return finish(true);
}

// Every expansion a stage may run: both key widths, each way of tracing, and each pair of
// window ends where the relation is not plain; a plain one only expands whole stages.
#define PRECDP_EXPANSIONS(Key, tracing)                                                            \
  template bool expandLayer<Key, false, tracing, false, false>(JobTable<Key>&, ChildWindow<Key>&); \
  template bool expandLayer<Key, false, tracing, false, true>(JobTable<Key>&, ChildWindow<Key>&);  \
  template bool expandLayer<Key, false, tracing, true, false>(JobTable<Key>&, ChildWindow<Key>&);  \
  template bool expandLayer<Key, false, tracing, true, true>(JobTable<Key>&, ChildWindow<Key>&);   \
  template bool expandLayer<Key, true, tracing, false, false>(JobTable<Key>&, ChildWindow<Key>&);
PRECDP_EXPANSIONS(Narrow, Tracing::none)
PRECDP_EXPANSIONS(Wide, Tracing::none)
PRECDP_EXPANSIONS(Narrow, Tracing::entries)
PRECDP_EXPANSIONS(Wide, Tracing::entries)
PRECDP_EXPANSIONS(Narrow, Tracing::packed)
PRECDP_EXPANSIONS(Wide, Tracing::packed)
#undef PRECDP_EXPANSIONS
#undef PRECDP_WINDOWS

} // namespace precdp
