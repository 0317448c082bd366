// Lower bounds on the front of a state, the layer pruning and the bounded run.
//
// A state S of the backward DP has its tail fixed: the jobs of S still have to be sequenced
// in [0, T] with T = sum of p over S, under the precedences among them. Any lower bound on the
// least weighted tardiness of that front, added to the state's cost, bounds every complete
// sequence through the state from below.
#include "dp/dp.h"
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>
#include <numeric>
#include <span>
#include <vector>

namespace precdp {

bool boundedRun = false;
uint16_t heuristicSequence[maxJobs];

namespace {

// The layer being built is kept in arrival order, not in set order: the bounded loop never
// searches a layer by order, so a dropped child costs nothing. A table of slots, a power of two
// at least twice the layer's size, finds each set's entry by hash with linear probing; a slot
// holds the entry's index plus one in its low half and the hash's high half above (0: empty).
std::vector<uint64_t> slots;
uint64_t slotMask = 0;
uint32_t layerLimit = 0; // states the layer being built may hold

inline uint64_t hashOf(uint64_t word0, uint64_t word1) {
  uint64_t h =
      word0 * 0x9E3779B97F4A7C15ull ^ (word1 + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full;
  return h ^ (h >> 29);
}

void resizeSlots(uint64_t count) {
  slots.assign(count, 0);
  slotMask = count - 1;
  for (uint32_t i = 0; i < layerSize[curLayer]; ++i) {
    const JobSet set = stateSetAt(curLayer, i);
    const uint64_t h = hashOf(set.word[0], set.word[1]);
    uint64_t at = h & slotMask;
    while (slots[at] != 0) at = (at + 1) & slotMask;
    slots[at] = (h & 0xFFFFFFFF00000000ull) | (i + 1);
  }
}

// A child that passed the bound, waiting for its turn in offerChild.
struct Offer {
  uint64_t word0, word1, hash;
  int32_t cost;
  uint8_t job; // the job its parent placed
};

// Puts a child into curLayer, or lowers the cost of its entry; `traced` also records the parent
// that gave the entry its cost. False when the layer is full.
template <bool traced>
inline bool offerChild(const Offer& o, uint32_t parent) {
  const uint64_t tag = o.hash & 0xFFFFFFFF00000000ull;
  uint64_t at = o.hash & slotMask;
  for (; slots[at] != 0; at = (at + 1) & slotMask) {
    if ((slots[at] & 0xFFFFFFFF00000000ull) != tag) continue;
    const uint32_t i = static_cast<uint32_t>(slots[at]) - 1;
    if (stateSetAt(curLayer, i) == JobSet{{o.word0, o.word1}}) {
      if (o.cost < stateCostAt(curLayer, i)) {
        setStateCost(curLayer, i, o.cost);
        if constexpr (traced) recordInTrace(stageTrace, i, parent, o.job);
      }
      return true;
    }
  }
  if (layerSize[curLayer] >= layerLimit) return false;
  if constexpr (traced) recordInTrace(stageTrace, layerSize[curLayer], parent, o.job);
  slots[at] = tag | (layerSize[curLayer] + 1);
  appendState(curLayer, JobSet{{o.word0, o.word1}}, o.cost);
  if (2 * uint64_t{layerSize[curLayer]} > slots.size()) resizeSlots(2 * slots.size());
  return true;
}

// Offers the children of one parent, having first fetched their slots and then the entries
// those slots point at into the cache: the probes of one parent then overlap their misses
// instead of taking them one after another. The fetches are hints; offerChild alone decides.
template <bool traced>
bool offerAll(const Offer* offers, int count, uint32_t parent) {
  for (int k = 0; k < count; ++k) __builtin_prefetch(&slots[offers[k].hash & slotMask]);
  for (int k = 0; k < count; ++k) {
    const uint32_t i = static_cast<uint32_t>(slots[offers[k].hash & slotMask]);
    if (i == 0) continue;
    prefetchState(curLayer, i - 1);
  }
  for (int k = 0; k < count; ++k)
    if (!offerChild<traced>(offers[k], parent)) return false;
  return true;
}

// The jobs by due dates tightened along the precedences (a job due no later than each of its
// successors' tightened due date less that successor's p), then by number: an order that meets
// the precedences more often than plain due dates do.
uint16_t closingOrder[maxJobs];

void prepareClosingOrder() {
  int64_t due[maxJobs];
  for (int j = 0; j < jobCount; ++j) due[j] = dueDate[j];
  for (int pass = 0, changed = 1; pass < jobCount && changed; ++pass) {
    changed = 0;
    for (int i = 0; i < jobCount; ++i)
      forEachJob(succ[i], [&](int j) {
        if (j < jobCount && due[j] - p[j] < due[i]) due[i] = due[j] - p[j], changed = 1;
      });
  }
  std::iota(closingOrder, closingOrder + jobCount, 0);
  std::stable_sort(closingOrder, closingOrder + jobCount,
                   [&](int a, int b) { return due[a] < due[b]; });
}

// Weighted tardiness of the jobs of `set` sequenced from 0 in closingOrder; -1 when that
// order breaks a precedence among them or the cost passes `limit`. A job may come next when
// none of its predecessors in the set is still unplaced. The cost only grows as jobs are
// added, so a partial sum above the limit already decides.
int64_t closingCost(const JobSet& set, int64_t limit) {
  JobSet unplaced = set;
  int64_t time = 0, cost = 0;
  for (int k = 0; k < jobCount; ++k) {
    const int j = closingOrder[k];
    if (!contains(unplaced, j)) continue;
    removeJob(unplaced, j);
    if (meets(pred[j], unplaced)) return -1;
    time += p[j];
    if (time > dueDate[j]) cost += int64_t{tardinessWeight[j]} * (time - dueDate[j]);
    if (cost > limit) return -1;
    if (isEmpty(unplaced)) break;
  }
  return cost;
}

// The sequence of cost `incumbent` when it is known: the upper bound's own, or a front in
// closingOrder followed by the tail of the state whose front it was (DP numbering).
uint16_t incumbentSequence[maxJobs];
bool incumbentKnown = false;

// The incumbent's sequence through the state at `index` of stage `stage`'s layer, whose whole
// trace back to the full set is recorded: its front in closingOrder, then its tail, each step
// back one stage nearer the full set giving the next job of the schedule.
void keepClosedSequence(const JobSet& front, int stage, uint32_t index) {
  int k = 0;
  for (int c = 0; c < jobCount; ++c)
    if (contains(front, closingOrder[c])) incumbentSequence[k++] = closingOrder[c];
  traceTail(stage, index, front, incumbentSequence + k);
  incumbentKnown = true;
}

// Expands prevLayer, the layer of stage parentStage, into curLayer, keeping only the children
// that pass the bound: the tail's cost plus pathBound of the front stays below the incumbent,
// the least cost of a complete sequence known. The front's multiplier sum is the parent's less
// the placed job's. `traced`: the stages up to parentStage are recorded whole, and this one
// records its children's parents too.
//
// A parent whose front sequenced in closingOrder costs no more than its bound is closed: that
// sequence is an optimal front, so the best sequence through the parent is known; it may lower
// the incumbent and the parent has no children. Any other parent's front sequence, with its
// tail, is a feasible sequence too and may lower the incumbent as well. False when the layer
// reached its limit.
template <bool traced>
bool expandBelow(int64_t& incumbent, int parentStage) {
  resizeSlots(uint64_t{1} << 12);
  Offer offers[maxJobs];
  for (uint32_t s = 0; s < layerSize[prevLayer]; ++s) {
    const JobSet set = stateSetAt(prevLayer, s);
    const uint16_t time = stateTimeAt(prevLayer, s);
    const int64_t cost = stateCostAt(prevLayer, s);
    int64_t multipliers = 0;
    forEachJob(set, [&](int j) { multipliers += pathMultiplier[j]; });
    const int64_t bound = std::max<int64_t>(ceilUnscaled(pathTable[time] + multipliers), 0);
    if (cost + bound >= incumbent) continue; // the incumbent fell since the parent was kept
    // Past this limit the front neither closes the parent nor lowers the incumbent.
    const int64_t front = closingCost(set, std::max(bound, incumbent - cost - 1));
    if (front >= 0) {
      if (cost + front < incumbent) {
        incumbent = cost + front;
        if constexpr (traced)
          keepClosedSequence(set, parentStage, s);
        else
          incumbentKnown = false;
      }
      if (front <= bound) continue;
    }
    int count = 0;
    forEachJob(set, [&](int j) {
      const JobSet after = intersection(succ[j], set);
      if (after.word[0] != 0 || after.word[1] != 0) return; // j cannot be last in set
      const int64_t childCost =
          cost + (time > dueDate[j] ? int64_t{tardinessWeight[j]} * (time - dueDate[j]) : 0);
      const uint16_t childTime = static_cast<uint16_t>(time - p[j]);
      const int64_t childFront = pathTable[childTime] + multipliers - pathMultiplier[j];
      if (childCost + std::max<int64_t>(ceilUnscaled(childFront), 0) >= incumbent) return;
      JobSet child = set;
      removeJob(child, j);
      offers[count++] = {child.word[0], child.word[1], hashOf(child.word[0], child.word[1]),
                         static_cast<int32_t>(childCost), static_cast<uint8_t>(j)};
    });
    if (!offerAll<traced>(offers, count, s)) return false;
  }
  return true;
}

} // namespace

namespace {

enum class Outcome { solved, overBudget, stopped };

// What the last run knows of the sequence behind its result.
bool belowRan = false;         // the last run was dpSolveBelow's, not the exact DP's
bool attemptRecorded = false;  // the trace holds every stage the final attempt completed
bool resultFromLayers = false; // the result is the empty front's entry, not the incumbent

// The DP from the full set with the bound as fitted so far, in the layers as they stand. Gives
// up, with no result, when its stages would keep more than stateBudget states; the statistics
// then count its completed stages. While the trace store has room, every stage records its
// states' parents from the store's start, as the exact DP's trace does.
Outcome boundedAttempt(int64_t& incumbent, uint64_t stateBudget) {
  const uint64_t statesBefore = totalStates;
  bool tracing = traceCapacity > 0;
  uint64_t traceUsed = 0;
  tracedStages = 0;
  attemptRecorded = false;
  layerSize[curLayer] = 0;
  appendState(curLayer, allJobs, 0);
  for (uint16_t stagesLeft = jobCount; stagesLeft > 0;) {
    if (!(maxCPU > secondsSince(startClock))) {
      resultSlot() = -1;
      return Outcome::stopped;
    }
    layerToggle = !layerToggle;
    curLayer = layerToggle;
    prevLayer = !layerToggle;
    --stagesLeft;
    const int stage = jobCount - stagesLeft;
    layerSize[curLayer] = 0;
    const uint64_t budgetLeft = stateBudget - (totalStates - statesBefore);
    layerLimit = static_cast<uint32_t>(std::min<uint64_t>(layerCapacity - 2, budgetLeft));
    if (tracing) beginTracedStage(traceUsed, stage);
    if (!(tracing ? expandBelow<true>(incumbent, stage - 1)
                  : expandBelow<false>(incumbent, stage - 1))) {
      if (layerLimit == budgetLeft) return Outcome::overBudget;
      resultSlot() = -1; // capacity reached: the statistics keep the completed stages
      return Outcome::stopped;
    }
    if (tracing) tracing = endTracedStage(traceUsed, stage);
    totalStates += layerSize[curLayer];
    maxLayerSize = std::max(maxLayerSize, layerSize[curLayer]);
    if (layerSize[curLayer] == 0) break; // every completion costs the incumbent or more
  }
  attemptRecorded = tracing;
  // The empty front's entry holds the best sequence the layers kept; the incumbent the best
  // one seen otherwise.
  resultFromLayers = !(layerSize[curLayer] == 0 || incumbent < resultSlot());
  if (!resultFromLayers) resultSlot() = static_cast<int32_t>(incumbent);
  return Outcome::solved;
}

// The exact DP on a store of at most `capacity` states per layer. True when it solved the
// instance; otherwise it gave no result and the statistics are back to what they were.
bool exactWithinProbe(uint32_t capacity) {
  const uint32_t fullCapacity = layerCapacity, uas = maxLayerSize;
  const uint64_t ts = totalStates;
  resetStore();
  layerCapacity = std::min(layerCapacity, capacity); // the arrays stay as large
  dpSolve();
  layerCapacity = fullCapacity;
  if (resultSlot() >= 0) return true;
  maxLayerSize = uas;
  totalStates = ts;
  lookupCount = 0;
  return false;
}

} // namespace

// The bound without multipliers (one pass over the time points) solves the small instances of
// many precedences with a few hundred states, before the fit's first rounds cost more than
// their whole DP. Past that budget the bound is weak against the instance, and a bounded state
// costs about ten of the exact DP's: an exact DP of layers within exactProbeCapacity is then
// the cheaper run, and it stops within a few stages where the layers grow beyond. Larger exact
// layers cost more than the fit that solves the instance with a few thousand states: up to 50
// jobs 50 rounds (about 8 ms at 40 jobs) mostly do. Where they keep more than 2^14 states, as
// on many instances of few precedences, an exact DP of layers up to 2^17 states mostly costs
// less than the next rounds; at 100 jobs 25 rounds mostly do. The long fit
// (about a second at 100 jobs) is paid only when a cheaper bound lets the states grow. uas and
// ts count the states of every attempt, or the exact DP's alone.
void dpSolveBelow(int64_t upperBound, const uint16_t* upperBoundSequence) {
  struct Level {
    int rounds;           // of the multipliers' fit, in all
    uint64_t stateBudget; // states the attempt may keep before the next level takes over
    uint32_t exactLayers; // of the exact DP tried when the attempt runs out of budget; 0: none
  };
  constexpr Level small[] = {{0, 1u << 12, exactProbeCapacity},
                             {50, 1u << 14, 1u << 17},
                             {100, 1u << 16, 0},
                             {250, 1u << 19, 0},
                             {3000, UINT64_MAX, 0}};
  constexpr Level large[] = {{0, 1u << 12, exactProbeCapacity},
                             {25, 1u << 16, 0},
                             {250, 1u << 19, 0},
                             {3000, UINT64_MAX, 0}};
  const std::span<const Level> levels = jobCount <= 50 ? std::span<const Level>(small) : large;
  lookupCount = 0;
  belowRan = true;
  setTimes.prepare(); // for every attempt, and unchanged by the exact DP's probes
  incumbentKnown = upperBoundSequence != nullptr;
  if (incumbentKnown)
    std::copy(upperBoundSequence, upperBoundSequence + jobCount, incumbentSequence);
  int64_t incumbent = upperBound;
  if (upperBound <= 0) {
    // No sequence costs less than 0, so the bound 0 drops the full set at once: the fit and
    // the closing order would go unused.
    pathTable.assign(totalP + 1, 0);
    std::fill(pathMultiplier, pathMultiplier + jobCount, 0);
    boundedAttempt(incumbent, UINT64_MAX);
    return;
  }
  beginPathFit(upperBound);
  prepareClosingOrder();
  for (const Level& level : levels) {
    fitPathBound(level.rounds);
    if (boundedAttempt(incumbent, level.stateBudget) != Outcome::overBudget) return;
    if (level.exactLayers > 0 && exactWithinProbe(level.exactLayers)) {
      belowRan = false;
      return;
    }
  }
}

void dpSolveBounded() {
  uint32_t sumOfP = 0;
  for (int j = 0; j < jobCount; ++j) sumOfP += p[j];
  const int64_t heuristicCost = buildHeuristicSchedule();
  belowRan = false;
  // Wrapped 16-bit times would make a state's time differ from the sum over its front.
  if (heuristicCost < 0 || sumOfP != totalP)
    dpSolve();
  else
    dpSolveBelow(heuristicCost, heuristicSequence);
}

std::optional<std::vector<uint16_t>> boundedSequence() {
  if (!belowRan) return tracedSequence();
  if (!attemptRecorded || resultSlot() == -1) return std::nullopt;
  if (resultFromLayers) return tracedSequence();
  if (!incumbentKnown) return std::nullopt;
  return std::vector<uint16_t>(incumbentSequence, incumbentSequence + jobCount);
}

} // namespace precdp
