// What the pricing of plain stages shares between its scalar loop (pricing.cpp) and its
// AVX-512 loop (streams.cpp): the job table it reads, byte tables of unions of the jobs'
// predecessors and successors, and the streams of parents' costs.
#pragma once

#include "dp/expand.h"
#include "dp/keys.h"

#include <algorithm>
#include <cstdint>

namespace precdp {

// Job i at its key bit, in key words: what the scalar pricing reads first, then what appending
// and the streams' filters read.
struct PlainJob {
  uint64_t withSuccessors[2]; // i and succ[i]: once i is outside C, none of them is minimal there
  int32_t slack;              // dueDate - p: the child's time above it is i's lateness
  uint32_t weight;
  uint32_t cursor; // a lower bound on the index of the next parent C + {i}
  uint8_t job;
  uint64_t succ[2];
};

template <typename Key>
using PlainJobTable = PlainJob[keyBits<Key>];

// The union of the jobs' sets of a set of jobs (their successors, their predecessors), a byte
// of the set at a time: without the chain of dependent reads of a walk over its jobs, and
// without its branches. Entry [w][b][v] is the union over the jobs of byte value v at byte b of
// word w.
struct UnionTable {
  int bytes[2]; // bytes of each word that hold jobs
  uint64_t entry[2][8][256][2];

  // `setOf(bit, w)`: word w of the set of the job at key bit `bit`.
  template <typename Key, typename SetOf>
  void prepare(const uint64_t (&notJobs)[2], const SetOf& setOf) {
    for (int w = 0; w < keyWords<Key>; ++w) {
      const uint64_t jobs = ~notJobs[w];
      bytes[w] = jobs == 0 ? 0 : highestBit(jobs) / 8 + 1;
      // A byte without jobs reads entry 0 only: the low 4 bytes of word 0 are read without a
      // bound.
      for (int b = bytes[w]; b < 4; ++b) entry[w][b][0][0] = entry[w][b][0][1] = 0;
      for (int b = 0; b < bytes[w]; ++b) {
        entry[w][b][0][0] = entry[w][b][0][1] = 0;
        for (int v = 1; v < 256; ++v) {
          const int bit = 8 * b + __builtin_ctz(v);
          const bool job = ((jobs >> bit) & 1) != 0;
          for (int x = 0; x < 2; ++x)
            entry[w][b][v][x] = entry[w][b][v & (v - 1)][x] | (job ? setOf(64 * w + bit, x) : 0);
        }
      }
    }
    if constexpr (keyWords<Key> == 1) bytes[1] = 0;
  }
  // The union over bytes [from, to) of word w of `set`.
  void add(int w, uint64_t set, int from, int to, uint64_t& union0, uint64_t& union1) const {
    for (int b = from; b < to; ++b) {
      const uint64_t(&e)[2] = entry[w][b][(set >> (8 * b)) & 255];
      union0 |= e[0];
      union1 |= e[1];
    }
  }
  // The union over a set, for sets in ascending order, which mostly share their bits above the
  // low 32: the union over those is kept from the last set that had them.
  struct Recent {
    uint64_t high0 = ~uint64_t{0}, high1 = ~uint64_t{0}; // never a set's: word 0 has free bits
    uint64_t union0 = 0, union1 = 0;
  };
  void of(uint64_t set0, uint64_t set1, Recent& recent, uint64_t& union0, uint64_t& union1) const {
    if (set0 >> 32 != recent.high0 || set1 != recent.high1) {
      recent.high0 = set0 >> 32;
      recent.high1 = set1;
      recent.union0 = recent.union1 = 0;
      add(0, set0, 4, bytes[0], recent.union0, recent.union1);
      add(1, set1, 0, bytes[1], recent.union0, recent.union1);
    }
    union0 = recent.union0;
    union1 = recent.union1;
    add(0, set0, 0, 4, union0, union1);
  }
};

// ---- Pricing by parent streams (AVX-512) -------------------------------------------------------
// Both layers of a plain stage hold every set of their size. So for a job i, the parents P in
// which i is maximal, ascending, are exactly the parents C + {i} of the children C in which i is
// minimal outside, ascending: the k-th such child takes the k-th such parent. Each job then
// streams its parents' costs by a filter on their keys, with no key compared per child, and the
// children are priced 16 at a time, each job's offers expanded into the lanes of its children.
inline constexpr uint32_t streamCapacity = 128; // costs buffered per job

struct ParentStream {
  uint32_t head, tail; // buffered costs [head, tail) of the job's next parents
  uint32_t next;       // the first parent not yet scanned
  uint32_t start;      // where the last refill began: a lower bound on the next parent
};

template <typename Key>
struct Streams {
  ParentStream stream[keyBits<Key>];
  // 16 past the end: a refill moves the 16 entries from the head to the front.
  alignas(64) int32_t cost[keyBits<Key>][streamCapacity + 16];
  alignas(64) uint32_t parent[keyBits<Key>][streamCapacity + 16]; // their indices, traced
};

// Prices the children [begin, end) of the window from the parents up to `lastParent`, as the
// scalar loop does, and adds the parents read to `reads`. False, with the cursors as they were,
// if a parent was not where the rule puts it: the caller then prices the range by the cursors.
// Needs AVX-512.
template <typename Key, bool arcs, Tracing tracing>
bool priceByStreams(PlainJobTable<Key>& plainJob, Streams<Key>& streams,
                    const UnionTable& successors, const ChildWindow<Key>& window, uint32_t begin,
                    uint32_t end, const uint64_t (&notJobs)[2], uint32_t lastParent,
                    uint64_t& reads);

} // namespace precdp
