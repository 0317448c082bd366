// Searches of a layer's sorted keys: from a job's cursor, where the state sought usually is,
// and out from it when it is not.
#pragma once

#include "dp/dp.h"
#include "dp/keys.h"

#include <algorithm>

namespace precdp {

// First index in [lo, hi] whose set is not below target; requires the set at hi not below it.
// Halves the bracket without branches.
template <typename Key>
inline uint32_t halveBracket(const LayerView<Key>& layer, uint32_t lo, uint32_t hi, Key target) {
  uint32_t base = lo, length = hi - lo + 1;
  while (length > 1) {
    const uint32_t half = length / 2, next = (length - half) / 2;
    // Both entries the next step may read, fetched before this step's read decides which: on a
    // large layer each step would otherwise wait for its own miss.
    if (next > 0) {
      layer.prefetchKey(base + next - 1);
      layer.prefetchKey(base + half + next - 1);
    }
    base = layer[base + half - 1] < target ? base + half : base;
    length -= half;
  }
  return base;
}

// First index in [from, last] whose set is not below target; requires from <= last and the set
// at last not below target. Gallops from `from`, then halves the bracket.
template <typename Key>
inline uint32_t lowerBound(const LayerView<Key>& layer, uint32_t from, uint32_t last, Key target) {
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
  return halveBracket(layer, lo, hi, target);
}

// lowerBound for a target usually within 64 entries of `from`: the gallop's first 7 probes,
// from + 2^k - 1 for k = 0..6, are read at once and counted instead of followed one by one,
// so that their misses overlap and no branch waits on them.
template <typename Key>
inline uint32_t nearLowerBound(const LayerView<Key>& layer, uint32_t from, uint32_t last,
                               Key target) {
  constexpr int probes = 7;
  int belowTarget = 0; // the probes below target, a prefix of them as the layer ascends
  for (int k = 0; k < probes; ++k)
    belowTarget += layer[std::min(from + (1u << k) - 1, last)] < target;
  if (belowTarget == probes) return lowerBound(layer, from + (1u << (probes - 1)), last, target);
  if (belowTarget == 0) return from;
  return halveBracket(layer, from + (1u << (belowTarget - 1)),
                      std::min(from + (1u << belowTarget) - 1, last), target);
}

inline constexpr uint32_t notFound = UINT32_MAX;

// Entries ahead of a job's cursor fetched once the cursor moves. On layers of millions of
// states the cursors of up to 120 jobs walk the child layer at once, more streams than the
// hardware prefetcher follows, and the next child of a job usually lies within a few entries of
// its cursor; 8 entries (one line of Narrow keys) measured best of 0, 8, 16 and 32. Prefetching
// past the layer's end is harmless: prefetches do not fault.
inline constexpr uint32_t cursorLookahead = 8;

// Entries first..first + count - 1 whose set is below child, read without branches. An index
// past `last` reads the entry at last, which is not below a child that is in the layer.
template <typename Key>
inline uint32_t entriesBelow(const LayerView<Key>& layer, uint32_t first, uint32_t count,
                             uint32_t last, Key child) {
  uint32_t below = 0;
  for (uint32_t k = 0; k < count; ++k) below += layer[std::min(first + k, last)] < child;
  return below;
}

// The index of child, known to be at or after `from` if it is in the layer at all: the gallop
// from `from`. notFound when it is not (a numbering fault), after the "expected state not found"
// warning, or counted in `missing` for a window, whose thread leaves the console to the stage's
// caller. Out of line: the expansion's loop keeps its registers for the lookups that end near
// the cursor.
template <bool windowed, typename Key>
[[gnu::noinline]] uint32_t gallopToChild(const LayerView<Key>& layer, uint32_t from, uint32_t last,
                                         Key child, uint32_t& missing) {
  uint32_t x;
  if constexpr (std::is_same_v<Key, Wide>)
    x = nearLowerBound(layer, from, last, child);
  else
    x = lowerBound(layer, from, last, child);
  if (layer[x] == child) return x;
  if constexpr (windowed)
    ++missing;
  else
    warnStateNotFound();
  return notFound;
}

// The index of child after a miss at the cursor `from`, as gallopToChild. On layers of millions
// of states of 100 jobs a fifth of the lookups miss the cursor, four fifths of those by at most
// 4 entries: with `nearFirst` those are compared at once before the gallop. Narrow keys of the
// push expansion miss far less often and go straight to the gallop, which measured faster for
// them; the pricing of parents compares the near entries at both widths.
template <bool windowed, typename Key, bool nearFirst = std::is_same_v<Key, Wide>>
inline uint32_t searchChild(const LayerView<Key>& layer, uint32_t from, uint32_t last, Key child,
                            uint32_t& missing) {
  uint32_t x = from;
  if constexpr (nearFirst) {
    x = std::min(x + 1 + entriesBelow(layer, x + 1, 4, last, child), last);
    if (layer[x] == child) return x;
  }
  return gallopToChild<windowed>(layer, x, last, child, missing);
}

} // namespace precdp
