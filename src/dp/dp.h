// DP solver: the two-layer state store and the dynamic program over job sets.
//
// A state is a set S of jobs still to be sequenced in front of an already fixed tail, with the
// least cost found for that tail and the time sum(p over S). The DP runs backwards from the full
// set, removing one job per stage; each layer is kept in strictly ascending set order, so new
// states are appended and existing ones found again by search (dpSolve searches forward from a
// cursor per job; arrBinarySearch is the plain binary search). Where the relation is closed and
// numbered topologically, a stage appends its children first and then prices each one from its
// parents, which it finds in the previous layer the same way.
#pragma once

#include "instance/instance.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace precdp {

inline constexpr uint32_t maxState = 195000000; // states per layer in the program
// Bytes the store reserves per state and layer: two set words and the cost.
inline constexpr uint64_t storeBytesPerState = 2 * sizeof(uint64_t) + sizeof(int32_t);

// ---- State store (structure of arrays, 20 bytes per state and layer) ------------------------
// Entries 0..layerSize[L]-1 of layer L are valid and strictly ascending in setLess order; the
// rest are stale and never read. Nothing is cleared: every entry is written before it is read.
extern uint64_t* stateSet[2][2]; // [layer][word]: the two words of each state's JobSet
extern int32_t* stateCost[2];    // [layer]: least weighted tardiness of the jobs outside the set
extern uint32_t layerSize[2];    // states held in each layer
extern uint32_t layerCapacity;   // entries per array: maxState in the program, less in tests

extern uint8_t curLayer;    // layer being built; after the DP the final layer
extern uint8_t prevLayer;   // the other layer, being expanded
extern uint8_t layerToggle; // negated at each stage; curLayer takes its value

// ---- Times of sets ----------------------------------------------------------------------------
// A state's time, the sum of p over its set, is not stored: it is totalP less the p of the jobs
// outside the set, modulo 2^16, which is what the stages' subtractions of each placed job's p
// leave, wrapped or not. Summed a byte of each set word at a time; consecutive states of a layer
// mostly share their bits above the low 32, whose sum a Recent keeps.
struct SetTimes {
  uint16_t base = 0;         // totalP less the p of every job, modulo 2^16: the empty set's time
  int highBytes = 0;         // bytes of word 1 that hold jobs
  uint16_t sum[2][8][256]{}; // [word][byte][value]: p over the jobs at the bits set in value

  struct Recent {
    uint64_t high0 = ~uint64_t{0}, high1 = ~uint64_t{0}; // never a set's: word 0 has free bits
    uint16_t time = 0;                                   // base plus the p over those bits
  };
  // For the instance in the tables, before a DP reads a time.
  void prepare();
  uint16_t of(uint64_t word0, uint64_t word1, Recent& recent) const {
    if (word0 >> 32 != recent.high0 || word1 != recent.high1) {
      recent.high0 = word0 >> 32;
      recent.high1 = word1;
      uint16_t high = base;
      for (int b = 4; b < 8; ++b) high += sum[0][b][(word0 >> (8 * b)) & 255];
      for (int b = 0; b < highBytes; ++b) high += sum[1][b][(word1 >> (8 * b)) & 255];
      recent.time = high;
    }
    uint16_t time = recent.time;
    for (int b = 0; b < 4; ++b) time += sum[0][b][(word0 >> (8 * b)) & 255];
    return time;
  }
  uint16_t of(uint64_t word0, uint64_t word1) const {
    Recent none;
    return of(word0, word1, none);
  }
};
extern SetTimes setTimes;

// ---- Statistics of the current instance (columns "uas" and "ts") ----------------------------
extern uint32_t maxLayerSize; // largest layer at the end of a completed stage
extern uint64_t totalStates;  // states created by completed stages, plus the initial state
extern uint64_t lookupCount;  // searches for existing states made by the last dpSolve

// ---- Trace of the optimal sequence --------------------------------------------------------------
// Kept only while a trace store is reserved (allocateTrace). For every state built by a stage of
// the run, one entry of traceBytesPerState bytes: the index in the previous layer of the parent
// that gave the state its cost (uint32), then the job that parent placed (one byte, DP
// numbering). One entry, not two arrays, so that a lowered cost records into one cache line.
// A stage whose previous layer holds every set of its size, as without precedence, keeps its
// layer's costs in the first 4 bytes of each entry instead (see keepStageCosts).
// Stage k's layer occupies entries traceStart[k] up to traceStart[k] + its size - 1; stage k = 1
// places the last job of the schedule.
inline constexpr int traceBytesPerState = 5;
extern uint8_t* tracedEntries;           // [traceBytesPerState * entry]: the entries, unaligned
extern uint64_t traceCapacity;           // entries of the trace store; 0 without one
extern uint64_t traceStart[maxJobs + 1]; // [stage]: first entry of that stage's layer
extern uint16_t tracedStages;            // stages of the last dpSolve the trace holds whole

// ---- Time limit -----------------------------------------------------------------------------
extern double maxCPU;      // DP time limit in seconds of CPU time, set per class
extern int64_t startClock; // clockTicks reading from which the limit is measured

// ---- Progress ---------------------------------------------------------------------------------
// When set, the expansion calls progressHook at the first parent of every stage and every
// progressInterval parents after it, with the states of the layer built so far. dpSolve keeps
// progressStage (the stage being built, 1..progressStages) current. Null: no calls at all.
using ProgressHook = void (*)(uint32_t statesBuilt);
inline constexpr uint32_t progressInterval = 1u << 16;
extern ProgressHook progressHook;
extern uint16_t progressStage;
extern uint16_t progressStages;

// ---- Threads --------------------------------------------------------------------------------
// Threads that build one stage; 1 in the dialogue. Every count gives the same layers, results,
// statistics and trace. A stage of fewer than threadedParents parents per thread runs on one.
// A plain stage prices its children on the threads as they are appended. Otherwise a split
// stage builds each window above the first at an estimate of the states below it plus
// windowSlack of that estimate, and runs again on one thread when a window outgrows its room:
// the slack trades the memory above the layer's end against such redone stages.
extern unsigned dpThreads;
extern uint32_t threadedParents;
extern double windowSlack;
extern uint32_t pricingChunk; // children a thread prices at a time in a plain stage (>= 1)
// Untraced plain stages price 16 children at a time with AVX-512 where the processor has it;
// false takes the scalar loop, which gives the same layers and counts.
extern bool pricingByStreams;

// Where the split stages of the last dpSolve spent their time, in thread CPU seconds, so that
// the loss to imbalance and to the serial steps around the threads can be told apart.
struct SplitTimes {
  uint32_t stages = 0; // stages split over threads
  uint32_t redone = 0; // of those, stages whose windows were thrown away and built on one thread
  double windows = 0;  // the windows' expansions (a plain stage: each thread's appending and
                       // pricing), summed over threads and stages
  double slowest = 0;  // the slowest thread's part of each stage, summed over stages
  double placing = 0;  // splitting the stage and estimating the rooms, before the threads start
  double moving = 0;   // moving the windows down to their final place
};
extern SplitTimes splitTimes;

// ---- Operations -----------------------------------------------------------------------------
// Reserves both layers at `capacity` states each without touching them. On failure prints a
// message naming the bytes needed, keeps nothing and returns false.
bool allocateStore(uint32_t capacity);
void freeStore();
// Frees the store, prints "Press any key to exit...\n" and waits for a key.
void releaseTables();
// The DP half of resetInstance: counters and layer indices back to their start values.
void resetStore();

// Index of `set` in layer `layer`, searching from index `lo`; -1 (after a warning and a key
// wait) when it is not there.
int64_t arrBinarySearch(int layer, int64_t lo, const JobSet& set);
// Prints "Wrning: expected state not found - arrBinarySearch\n" and waits for a key.
void warnStateNotFound();

// The state at `index` of layer `layer`, read and written at any key width; the expansion's own
// view of a layer is LayerView (keys.h).
inline JobSet stateSetAt(int layer, uint32_t index) {
  return {{stateSet[layer][0][index], stateSet[layer][1][index]}};
}
inline int32_t stateCostAt(int layer, uint32_t index) {
  return stateCost[layer][index];
}
inline void setStateCost(int layer, uint32_t index, int32_t cost) {
  stateCost[layer][index] = cost;
}
inline uint16_t stateTimeAt(int layer, uint32_t index) {
  return setTimes.of(stateSet[layer][0][index], stateSet[layer][1][index]);
}
// Fetches the lines a lookup of the state reads and writes.
inline void prefetchState(int layer, uint32_t index) {
  __builtin_prefetch(&stateSet[layer][0][index]);
  __builtin_prefetch(&stateCost[layer][index], 1);
}

inline void appendState(int layer, const JobSet& set, int32_t cost) {
  const uint32_t index = layerSize[layer]++;
  stateSet[layer][0][index] = set.word[0];
  stateSet[layer][1][index] = set.word[1];
  stateCost[layer][index] = cost;
}

// Reserves a trace store of at most `bytes` bytes without touching it; dpSolve then records
// every run's parents as far as the store holds them. False (nothing reserved) when the memory
// cannot be obtained.
bool allocateTrace(uint64_t bytes);
void freeTrace();

// The jobs of the last dpSolve's optimal sequence in processing order (DP numbering); empty when
// the run gave no result or its trace did not fit into the trace store.
std::optional<std::vector<uint16_t>> tracedSequence();

// The result slot: the cost at entry 0 of the final layer; -1 means no result.
inline int32_t& resultSlot() {
  return stateCost[curLayer][0];
}

// Solves the current instance (jobs numbered topologically). Afterwards resultSlot() holds the
// least total weighted tardiness, or -1 when the time limit or the layer capacity stopped the run
// or the relation admits no sequence.
void dpSolve();

// ---- Bounded DP (heuristic.cpp, relaxation.cpp, bound.cpp) ------------------------------------
// A feasible sequence of cost UB bounds the optimum from above; a state S with cost K whose
// front jobs cannot be sequenced in [0, time of S] for less than UB - K is dropped, and so is
// one whose front's best sequence is known (its cost with K then counts as a feasible one).
// What is left still holds an optimal path unless one of those gave the optimum, so the result
// stays exact.
extern bool boundedRun; // the pipeline solves with dpSolveBounded; set by --bounded only
extern uint16_t heuristicSequence[maxJobs]; // the best feasible sequence found, jobCount entries

// Total weighted tardiness of `sequence` (jobCount jobs), and whether it is a permutation of
// the jobs that respects pred.
int64_t sequenceCost(const uint16_t* sequence);
bool sequenceFeasible(const uint16_t* sequence);

// Dispatching (ATC with several look-ahead factors, EDD) over the jobs whose predecessors are
// placed, each improved by swaps and insertions that keep the precedences, then a seeded
// perturbation search. Fills heuristicSequence and returns its cost; -1 when the relation admits
// no sequence.
int64_t buildHeuristicSchedule();

// A lower bound on the least weighted tardiness of sequencing the jobs of a set S from time 0
// (relaxation.cpp): pathTable[T] + the sum of pathMultiplier over S, T the sum of p over S.
// beginPathFit starts fitting the multipliers for the current instance towards `target`, a
// known feasible cost; fitPathBound goes on until `rounds` rounds in all, then fills both.
// Table and multipliers are in units of 1 / pathScale of a cost; ceilUnscaled turns a sum of
// them into the least whole cost at or above it.
inline constexpr int pathScaleBits = 10;
inline constexpr int64_t pathScale = int64_t{1} << pathScaleBits;
inline int64_t ceilUnscaled(int64_t scaled) {
  return (scaled + pathScale - 1) >> pathScaleBits; // arithmetic shift: rounds towards -inf
}
extern int64_t pathMultiplier[maxJobs];
extern std::vector<int64_t> pathTable; // [t], t = 0..sum of p
void beginPathFit(int64_t target);
void fitPathBound(int rounds);
int64_t pathBound(const JobSet& set, uint32_t frontEnd);

// The DP with every state of cost K dropped when K + bound >= the incumbent, the least cost of
// a feasible sequence known: upperBound at first, lowered by the states' fronts sequenced by
// due dates. Afterwards the result slot holds the optimum: the DP's result or the incumbent,
// whichever is less (the incumbent alone when no state is left); -1 at the time limit or the
// layer capacity. uas and ts count the states kept. Its layers are in no set order. When the
// bound without multipliers keeps too many states, the exact DP is tried on layers of at most
// exactProbeCapacity states (up to 50 jobs again on larger ones after the first fitted bound
// keeps too many); when that solves the instance, the run is the exact DP's: its result,
// statistics, trace and layers.
// `upperBoundSequence` is a feasible sequence of cost upperBound (jobCount jobs) or null when
// none is known. With a trace store it records its kept states' parents in it.
void dpSolveBelow(int64_t upperBound, const uint16_t* upperBoundSequence = nullptr);
inline constexpr uint32_t exactProbeCapacity = 1u << 14;
// dpSolveBelow with the heuristic's UB; plain dpSolve when there is no feasible sequence or the
// 16-bit times wrap.
void dpSolveBounded();

// The sequence behind the last dpSolveBounded's or dpSolveBelow's result (DP numbering): the
// DP's own, traced like tracedSequence's, or the incumbent's when that is the result: the upper
// bound's sequence or a front closed in due-date order with the tail of its state. Empty when
// the run gave no result, its trace did not hold every state of its final attempt, or the
// incumbent's sequence is not known.
std::optional<std::vector<uint16_t>> boundedSequence();

} // namespace precdp
