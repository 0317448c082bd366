// Pricing 16 children at a time (AVX-512): see the streams in pricing.h.
#include "dp/pricing.h"
#include "dp/search.h"

#include <algorithm>
#include <immintrin.h>

#define PRECDP_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,popcnt,bmi,bmi2")))

namespace precdp {

bool pricingByStreams = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("bmi2");

namespace {

// What a refill found of the parent of `child`: buffered from it on, above the last parent
// (none from it on are offered), or not in the layer.
enum class Refill : uint8_t { buffered, beyond, missing };

// Buffers job i's next parents up to lastParent from the one of `child` on, their costs and,
// `traced`, their indices.
template <typename Key, bool traced>
PRECDP_AVX512 Refill refillStream(ParentStream& s, int32_t* buffer, uint32_t* indices,
                                  const PlainJob& job, int bit, const LayerView<Key>& parents,
                                  uint32_t lastParent, Key lastKey, uint64_t child0,
                                  uint64_t child1, uint32_t& missing) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  const uint32_t kept = s.tail - s.head;
  _mm512_storeu_si512(buffer, _mm512_loadu_si512(buffer + s.head)); // kept < 16
  if constexpr (traced) _mm512_storeu_si512(indices, _mm512_loadu_si512(indices + s.head));
  s.head = 0;
  s.tail = kept;
  const uint64_t bit0 = bit < 64 ? uint64_t{1} << bit : 0,
                 bit1 = bit < 64 ? 0 : uint64_t{1} << (bit - 64);
  const uint64_t parent0 = child0 | bit0, parent1 = child1 | bit1;
  uint32_t x = s.next;
  if (x > lastParent || parents.word0[x] != parent0 || (wide && parents.word1[x] != parent1)) {
    const Key parent = keyOf<Key>(parent0, parent1);
    if (parent > lastKey) return Refill::beyond;
    x = x > lastParent ? notFound
                       : searchChild<true, Key, true>(parents, x, lastParent, parent, missing);
    if (x == notFound) return Refill::missing;
  }
  s.start = x;
  // i is maximal in P: P holds i and none of its successors.
  const __m512i mask0 = _mm512_set1_epi64(static_cast<long long>(bit0 | job.succ[0]));
  const __m512i want0 = _mm512_set1_epi64(static_cast<long long>(bit0));
  const __m512i mask1 = _mm512_set1_epi64(static_cast<long long>(bit1 | job.succ[1]));
  const __m512i want1 = _mm512_set1_epi64(static_cast<long long>(bit1));
  const uint64_t* const word0 = parents.word0;
  const uint64_t* const word1 = parents.word1;
  const int32_t* const cost = parents.costs;
  // The 8 parents from x on, or those of them in the layer, that are i's.
  const auto parentsOfJob = [&](uint32_t x, __mmask8 inLayer) PRECDP_AVX512 {
    const __m512i key0 = _mm512_maskz_loadu_epi64(inLayer, word0 + x);
    __mmask8 k = _mm512_mask_cmpeq_epi64_mask(inLayer, _mm512_and_si512(key0, mask0), want0);
    if constexpr (wide) {
      const __m512i key1 = _mm512_maskz_loadu_epi64(inLayer, word1 + x);
      k &= _mm512_cmpeq_epi64_mask(_mm512_and_si512(key1, mask1), want1);
    }
    return k;
  };
  [[maybe_unused]] const __m512i lane16 =
      _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  uint32_t tail = s.tail;
  bool gap = false;
  // 16 parents at a time while they are all in the layer; a stretch of 16 without one of i's is
  // a gap, and the next refill gallops over it.
  while (!gap && tail <= streamCapacity - 16 && x + 15 <= lastParent) {
    const __mmask16 k = _mm512_kunpackb(parentsOfJob(x + 8, 0xFF), parentsOfJob(x, 0xFF));
    _mm512_storeu_si512(buffer + tail,
                        _mm512_maskz_compress_epi32(k, _mm512_loadu_si512(cost + x)));
    if constexpr (traced)
      _mm512_storeu_si512(indices + tail,
                          _mm512_maskz_compress_epi32(
                              k, _mm512_add_epi32(_mm512_set1_epi32(static_cast<int>(x)), lane16)));
    tail += static_cast<uint32_t>(__builtin_popcount(k));
    // The next refill's lines, wanted some thousand cycles from now.
    for (uint32_t ahead = x + streamCapacity; ahead < x + streamCapacity + 16; ahead += 8) {
      __builtin_prefetch(word0 + ahead);
      if constexpr (wide) __builtin_prefetch(word1 + ahead);
    }
    __builtin_prefetch(cost + x + streamCapacity);
    x += 16;
    gap = k == 0;
  }
  // The layer's last parents.
  while (!gap && tail <= streamCapacity - 8 && x <= lastParent) {
    const __mmask8 inLayer = static_cast<__mmask8>((1u << std::min(8u, lastParent + 1 - x)) - 1);
    const __mmask8 k = parentsOfJob(x, inLayer);
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(buffer + tail),
        _mm256_maskz_compress_epi32(k, _mm256_maskz_loadu_epi32(inLayer, cost + x)));
    if constexpr (traced)
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(indices + tail),
                          _mm256_maskz_compress_epi32(
                              k, _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(x)),
                                                  _mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0))));
    tail += static_cast<uint32_t>(__builtin_popcount(k));
    x += 8;
    gap = k == 0;
  }
  s.tail = tail;
  s.next = x;
  return Refill::buffered;
}

// The lanes of 16 children whose minimal jobs hold key bit `bit`.
PRECDP_AVX512 inline __mmask16 childrenWith(__m512i low, __m512i high, uint64_t bit) {
  const __m512i b = _mm512_set1_epi64(static_cast<long long>(bit));
  return _mm512_kunpackb(_mm512_test_epi64_mask(high, b), _mm512_test_epi64_mask(low, b));
}

// The jobs minimal outside each child of the group of `lanes` children from `group` on (none in
// lanes past them), their union, and the children's times.
template <typename Key, bool arcs>
PRECDP_AVX512 inline void
minimalJobs(const LayerView<Key>& children, uint32_t group, uint32_t lanes,
            const UnionTable& successors, const uint64_t (&notJobs)[2], uint64_t (&minimal0)[16],
            uint64_t (&minimal1)[16], uint64_t& union0, uint64_t& union1, uint32_t (&time)[16],
            UnionTable::Recent& recent, SetTimes::Recent& recentTime) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  union0 = union1 = 0;
  for (uint32_t l = 0; l < 16; ++l) {
    uint64_t m0 = 0, m1 = 0;
    time[l] = 0;
    if (l < lanes) {
      const uint64_t set0 = children.word0[group + l], set1 = wide ? children.word1[group + l] : 0;
      time[l] = setTimes.of(set0, set1, recentTime);
      m0 = ~(set0 | notJobs[0]);
      m1 = wide ? ~(set1 | notJobs[1]) : 0;
      if constexpr (arcs) { // a job outside with a predecessor outside is not minimal
        uint64_t later0, later1;
        successors.of(m0, m1, recent, later0, later1);
        m0 &= ~later0;
        m1 &= ~later1;
      }
    }
    minimal0[l] = m0;
    minimal1[l] = m1;
    union0 |= m0;
    union1 |= m1;
  }
}

// Records the lanes [0, lanes) of a group from `first` on in the trace: packed, the words of
// their costs and parents with jobs; otherwise their parents and jobs.
template <Tracing tracing>
PRECDP_AVX512 inline void record(const StageTrace& trace, uint32_t first, uint32_t lanes,
                                 __m512i cost, __m512i parent, __m512i job) {
  alignas(64) int32_t costs[16];
  alignas(64) uint32_t parents[16], jobs[16];
  _mm512_store_si512(costs, cost);
  _mm512_store_si512(parents, parent);
  if constexpr (tracing == Tracing::packed) {
    for (uint32_t l = 0; l < lanes; ++l) trace.words[first + l] = packedOffer(costs[l], parents[l]);
  } else {
    _mm512_store_si512(jobs, job);
    for (uint32_t l = 0; l < lanes; ++l)
      recordInTrace(trace, first + l, parents[l], static_cast<uint8_t>(jobs[l]));
  }
}

template <typename Key, bool arcs, Tracing tracing>
PRECDP_AVX512 bool priceGroups(PlainJobTable<Key>& plainJob, Streams<Key>& streams,
                               const UnionTable& successors, const ChildWindow<Key>& window,
                               uint32_t begin, uint32_t end, const uint64_t (&notJobs)[2],
                               uint32_t lastParent, uint64_t& reads) {
  constexpr bool wide = std::is_same_v<Key, Wide>;
  constexpr bool traced = tracing != Tracing::none;
  const LayerView<Key> parents(prevLayer), children(curLayer, window.offset);
  const Key lastKey = parents[lastParent];
  uint32_t missing = 0; // a parent not found is warned of by the scalar loop that prices again
  for (int bit = 0; bit < keyBits<Key>; ++bit)
    streams.stream[bit] = {0, 0, plainJob[bit].cursor, plainJob[bit].cursor};
  alignas(64) uint64_t minimal0[16], minimal1[16];
  alignas(64) uint32_t times[16];
  uint64_t groupReads = 0;
  UnionTable::Recent recent;
  SetTimes::Recent recentTime;
  for (uint32_t group = begin; group < end; group += 16) {
    const uint32_t lanes = std::min<uint32_t>(16, end - group);
    uint64_t union0, union1;
    minimalJobs<Key, arcs>(children, group, lanes, successors, notJobs, minimal0, minimal1, union0,
                           union1, times, recent, recentTime);
    const __m512i low0 = _mm512_load_si512(minimal0), high0 = _mm512_load_si512(minimal0 + 8);
    const __m512i low1 = _mm512_load_si512(minimal1), high1 = _mm512_load_si512(minimal1 + 8);
    const __mmask16 inLayer = static_cast<__mmask16>((1u << lanes) - 1);
    const __m512i time = _mm512_load_si512(times);
    const __m512i zero = _mm512_set1_epi32(0);
    __m512i best = _mm512_set1_epi32(INT32_MAX);
    // Traced, each lane's parent (packed: with its job, as in the trace words) and job; a tie
    // keeps the earlier parent, the offers of each lane coming in the order of their parents.
    [[maybe_unused]] __m512i bestParent = _mm512_set1_epi32(-1), bestJob = zero;
    const auto offers = [&](uint64_t jobs, int word) PRECDP_AVX512 __attribute__((always_inline)) {
      while (jobs != 0) {
        const int bit = lowestBit(jobs) + 64 * word;
        jobs &= jobs - 1;
        __mmask16 k = word == 0 ? childrenWith(low0, high0, uint64_t{1} << bit)
                                : childrenWith(low1, high1, uint64_t{1} << (bit - 64));
        uint32_t count = static_cast<uint32_t>(__builtin_popcount(k));
        ParentStream& s = streams.stream[bit];
        int32_t* const buffer = streams.cost[bit];
        while (__builtin_expect(s.tail - s.head < count, 0)) {
          // The child of the first parent not buffered: the lane of k's (kept + 1)-th bit.
          const uint32_t lane =
              static_cast<uint32_t>(__builtin_ctz(_pdep_u32(1u << (s.tail - s.head), k)));
          const uint64_t c0 = children.word0[group + lane];
          const uint64_t c1 = wide ? children.word1[group + lane] : 0;
          const Refill refill =
              refillStream<Key, traced>(s, buffer, streams.parent[bit], plainJob[bit], bit, parents,
                                        lastParent, lastKey, c0, c1, missing);
          if (refill == Refill::missing) return false;
          if (refill == Refill::beyond) { // only the lanes of the parents buffered are offered
            count = s.tail - s.head;
            k = static_cast<__mmask16>(_pdep_u32((1u << count) - 1, k));
          }
        }
        const __m512i cost = _mm512_maskz_expandloadu_epi32(k, buffer + s.head);
        [[maybe_unused]] __m512i parent;
        if constexpr (traced)
          parent = _mm512_maskz_expandloadu_epi32(k, streams.parent[bit] + s.head);
        s.head += count;
        const PlainJob& i = plainJob[bit];
        const __m512i lateness =
            _mm512_maskz_max_epi32(k, _mm512_sub_epi32(time, _mm512_set1_epi32(i.slack)), zero);
        const __m512i tardiness =
            _mm512_mullo_epi32(lateness, _mm512_set1_epi32(static_cast<int>(i.weight)));
        const __m512i candidate = _mm512_add_epi32(cost, tardiness);
        if constexpr (!traced) {
          best = _mm512_mask_min_epi32(best, k, best, candidate);
        } else {
          const __mmask16 take = k & (_mm512_cmplt_epi32_mask(candidate, best) |
                                      _mm512_cmpeq_epi32_mask(bestParent, _mm512_set1_epi32(-1)));
          best = _mm512_mask_mov_epi32(best, take, candidate);
          const __m512i job = _mm512_set1_epi32(i.job);
          if constexpr (tracing == Tracing::packed) {
            bestParent = _mm512_mask_mov_epi32(
                bestParent, take,
                _mm512_or_si512(_mm512_maskz_slli_epi32(take, parent, packedJobBits), job));
          } else {
            bestParent = _mm512_mask_mov_epi32(bestParent, take, parent);
            bestJob = _mm512_mask_mov_epi32(bestJob, take, job);
          }
        }
        groupReads += count;
      }
      return true;
    };
    if (!offers(union0, 0)) return false;
    if constexpr (wide)
      if (!offers(union1, 1)) return false;
    if constexpr (tracing != Tracing::packed)
      _mm512_mask_storeu_epi32(children.costs + group, inLayer, best);
    if constexpr (traced) record<tracing>(window.trace, group, lanes, best, bestParent, bestJob);
  }
  for (int bit = 0; bit < keyBits<Key>; ++bit) plainJob[bit].cursor = streams.stream[bit].start;
  reads += groupReads;
  return true;
}

} // namespace

// Compiled for any processor: the caller calls it only where AVX-512 is.
template <typename Key, bool arcs, Tracing tracing>
bool priceByStreams(PlainJobTable<Key>& plainJob, Streams<Key>& streams,
                    const UnionTable& successors, const ChildWindow<Key>& window, uint32_t begin,
                    uint32_t end, const uint64_t (&notJobs)[2], uint32_t lastParent,
                    uint64_t& reads) {
  return priceGroups<Key, arcs, tracing>(plainJob, streams, successors, window, begin, end, notJobs,
                                         lastParent, reads);
}

#define PRECDP_BY_STREAMS(Key, arcs)                                                               \
  template bool priceByStreams<Key, arcs, Tracing::none>(                                          \
      PlainJobTable<Key>&, Streams<Key>&, const UnionTable&, const ChildWindow<Key>&, uint32_t,    \
      uint32_t, const uint64_t(&)[2], uint32_t, uint64_t&);                                        \
  template bool priceByStreams<Key, arcs, Tracing::entries>(                                       \
      PlainJobTable<Key>&, Streams<Key>&, const UnionTable&, const ChildWindow<Key>&, uint32_t,    \
      uint32_t, const uint64_t(&)[2], uint32_t, uint64_t&);                                        \
  template bool priceByStreams<Key, arcs, Tracing::packed>(                                        \
      PlainJobTable<Key>&, Streams<Key>&, const UnionTable&, const ChildWindow<Key>&, uint32_t,    \
      uint32_t, const uint64_t(&)[2], uint32_t, uint64_t&);
PRECDP_BY_STREAMS(Narrow, true)
PRECDP_BY_STREAMS(Narrow, false)
PRECDP_BY_STREAMS(Wide, true)
#undef PRECDP_BY_STREAMS

} // namespace precdp
