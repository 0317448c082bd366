// Sets as keys of a layer, and the bit scans the expansion runs on them.
//
// A set of a layer read as one unsigned integer in the layer order: word 0 alone while every job
// is below 60 (Narrow), otherwise word 1 above word 0 (Wide). Job j is key bit j (j < 60) or
// j + 4 (j >= 60); bits 60..63 of word 0 are always zero.
#pragma once

#include "dp/dp.h"
#include "instance/instance.h"

#include <cstdint>
#include <type_traits>

namespace precdp {

using Narrow = uint64_t;
using Wide = unsigned __int128;

template <typename Key>
inline constexpr int keyBits = sizeof(Key) * 8;
template <typename Key>
inline constexpr int keyWords = sizeof(Key) / 8;

// Word w of a key (w < keyWords), and the key of `bits` at word w and nothing else.
template <typename Key>
inline uint64_t wordOf(Key key, int w) {
  return static_cast<uint64_t>(key >> (64 * w));
}
template <typename Key>
inline Key atWord(uint64_t bits, int w) {
  return Key{bits} << (64 * w);
}

template <typename Key>
inline Key keyOf(uint64_t word0, uint64_t word1) {
  if constexpr (std::is_same_v<Key, Wide>) return (Wide{word1} << 64) | word0;
  return word0; // a Narrow key is only formed while word 1 is empty
}

inline int keyBitOfJob(int job) {
  return job < jobsPerWord ? job : job + 4;
}

// A layer's states at one key width, from entry `first` of the layer on: what the expansion
// reads and writes of them. Entry i of the view is entry first + i of the layer.
template <typename Key>
struct LayerView {
  uint64_t* word0;
  uint64_t* word1;
  int32_t* costs;

  LayerView(int layer, uint32_t first = 0)
      : word0(stateSet[layer][0] + first), word1(stateSet[layer][1] + first),
        costs(stateCost[layer] + first) {}

  Key operator[](uint32_t i) const {
    if constexpr (std::is_same_v<Key, Wide>) return keyOf<Key>(word0[i], word1[i]);
    return word0[i];
  }
  int32_t cost(uint32_t i) const { return costs[i]; }
  void setCost(uint32_t i, int32_t cost) const { costs[i] = cost; }
  // Entry i's time, for entries read in ascending order through `recent`.
  uint16_t time(uint32_t i, SetTimes::Recent& recent) const {
    return setTimes.of(word0[i], std::is_same_v<Key, Wide> ? word1[i] : 0, recent);
  }
  // The key of a new entry; its cost is written by whoever holds it.
  void appendKey(uint32_t i, Key key) const {
    word0[i] = static_cast<uint64_t>(key);
    if constexpr (std::is_same_v<Key, Wide>)
      word1[i] = static_cast<uint64_t>(key >> 64);
    else
      word1[i] = 0;
  }
  // Fetches entry i's key, both words of it.
  void prefetchKey(uint32_t i) const {
    __builtin_prefetch(&word0[i]);
    if constexpr (std::is_same_v<Key, Wide>) __builtin_prefetch(&word1[i]);
  }
  // Fetches what a lookup of entry i reads, its key, and with `cost` what it writes.
  void prefetch(uint32_t i, bool cost) const {
    __builtin_prefetch(&word0[i]);
    if (cost) __builtin_prefetch(&costs[i], 1);
  }
};

// ---- Bit scans ----------------------------------------------------------------------------------
// The jobs of a state are visited highest first. Scanning the bit-reversed key from its lowest
// bit keeps the loop's own dependency to x & (x - 1); a highest-bit scan (bsr where lzcnt is not
// guaranteed) sits on that path and costs several cycles per job. Arguments are never zero.
inline uint64_t reversedBits(uint64_t x) {
  x = __builtin_bswap64(x);
  x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
  x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
  return ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
}
inline Wide reversedBits(Wide x) {
  return (Wide{reversedBits(static_cast<uint64_t>(x))} << 64) |
         reversedBits(static_cast<uint64_t>(x >> 64));
}

inline int lowestBit(uint64_t x) {
  return __builtin_ctzll(x);
}
inline int lowestBit(Wide x) {
  const uint64_t low = static_cast<uint64_t>(x);
  return low != 0 ? __builtin_ctzll(low) : 64 + __builtin_ctzll(static_cast<uint64_t>(x >> 64));
}

inline int highestBit(uint64_t x) {
  return 63 - __builtin_clzll(x);
}
inline int highestBit(Wide x) {
  const uint64_t high = static_cast<uint64_t>(x >> 64);
  return high != 0 ? 127 - __builtin_clzll(high) : highestBit(static_cast<uint64_t>(x));
}

// Key bits 0..bit (bit < keyBits - 1).
template <typename Key>
inline Key bitsUpTo(int bit) {
  return (Key{2} << bit) - 1;
}

} // namespace precdp
