#include "dp/dp.h"
#include "dp/expand.h"
#include "platform/platform.h"

#include <algorithm>

namespace precdp {

namespace {

// True when pred and succ are mirror images of each other, transitively closed and numbered
// topologically, as addPrec and the relabeling leave them. Then a job of a state is not a
// candidate for the last place exactly when it precedes a job placed before it from that state.
bool plainRelation() {
  JobSet mirror[maxJobs] = {};
  bool plain = true;
  for (int j = 0; j < maxJobs; ++j)
    forEachJob(pred[j], [&](int i) {
      plain = plain && i < j;
      insertJob(mirror[i], j);
    });
  for (int j = 0; j < maxJobs && plain; ++j) {
    plain = mirror[j] == succ[j];
    forEachJob(succ[j], [&](int k) { plain = plain && unionOf(succ[j], succ[k]) == succ[j]; });
  }
  return plain;
}

template <typename Key>
JobTable<Key> jobTable; // one per key width, refilled by every dpSolve

template <typename Key>
void prepareJobs(JobTable<Key>& jobs) {
  for (int j = 0; j < maxJobs; ++j) {
    const int bit = keyBitOfJob(j);
    if (bit >= keyBits<Key>) break;
    JobFacts<Key>& facts = jobs[keyBits<Key> - 1 - bit];
    JobSet cover = pred[j], skip{};
    insertJob(cover, j);
    insertJob(skip, j);
    forEachJob(pred[j], [&](int i) {
      if (contains(succ[i], j)) insertJob(skip, i);
    });
    facts.succ = keyOf<Key>(succ[j].word[0], succ[j].word[1]);
    facts.skip = reversedBits(keyOf<Key>(skip.word[0], skip.word[1]));
    facts.cover = keyOf<Key>(cover.word[0], cover.word[1]);
    facts.p = p[j];
    facts.dueDate = dueDate[j];
    facts.weight = tardinessWeight[j];
    facts.job = static_cast<uint8_t>(j);
  }
}

// The stage for the instance at hand: the narrowest key that holds its jobs, and the plain
// loop where the relation and the times allow it; without the trace and in either of its modes.
using Stage = bool (*)();
struct Stages {
  Stage untraced, entries, packed;
};

template <typename Key, bool plain, Tracing tracing>
bool stage() {
  return expandStage<Key, plain, tracing>(jobTable<Key>);
}

template <typename Key, bool plain>
Stages stagesOf() {
  return {stage<Key, plain, Tracing::none>, stage<Key, plain, Tracing::entries>,
          stage<Key, plain, Tracing::packed>};
}

template <typename Key>
Stages prepareStage(bool exactTimes) {
  prepareJobs(jobTable<Key>);
  if constexpr (std::is_same_v<Key, Narrow>) narrowCandidates.prepare(allJobs);
  if (plainRelation() && exactTimes) {
    preparePricing(jobTable<Key>);
    return stagesOf<Key, true>();
  }
  return stagesOf<Key, false>();
}

Stages prepareStage() {
  uint32_t sumOfP = 0;
  for (int j = 0; j < maxJobs; ++j)
    if (contains(allJobs, j)) sumOfP += p[j];
  // Every time is then the true sum of p over its set, never below the p of one of its jobs.
  const bool exactTimes = sumOfP == totalP;
  return allJobs.word[1] == 0 ? prepareStage<Narrow>(exactTimes) : prepareStage<Wide>(exactTimes);
}

// Whether a traced stage records in place rather than in packed words, where it may pack,
// after a stage of `children` states reached by `searches` searches plus their appends at
// `stage` (the number of jobs outside each child, so its possible parents). Packed words widen
// the lane every search touches; recording in place branches on every lowered cost, and that
// branch costs little where nearly every possible parent reaches each child, as without
// precedence, but several times as much per lowering where precedence thins the parents out
// (measured on the benchmark families at equal lowerings per search). Layers below 2^16
// states pack: their words stay in the cache.
bool recordsInPlace(uint32_t children, uint64_t searches, int stage) {
  constexpr uint32_t cachedLayer = 1u << 16;
  constexpr double reachedShare = 0.75; // parents per child over its possible parents
  if (children < cachedLayer) return false;
  return static_cast<double>(searches + children) >= reachedShare * children * stage;
}

} // namespace

void dpSolve() {
  lookupCount = 0;
  splitTimes = {};
  tracedStages = 0;
  setTimes.prepare();
  appendState(curLayer, allJobs, 0);
  const Stages stages = prepareStage();
  bool tracing = traceCapacity > 0;
  uint64_t traceUsed = 0;
  uint64_t searchesBefore = 0; // lookupCount before the stage in progress
  bool inPlace = false;        // the next traced stage records in place
  // The next traced stage keeps its layer's costs: every layer so far holds every set of its
  // size and kept its costs, as without precedence.
  bool byCosts = true;
  progressStages = jobCount;
  for (uint16_t stagesLeft = jobCount; stagesLeft > 0;) {
    if (!(maxCPU > secondsSince(startClock))) {
      resultSlot() = -1;
      return;
    }
    layerToggle = !layerToggle;
    curLayer = layerToggle;
    prevLayer = !layerToggle;
    --stagesLeft;
    progressStage = static_cast<uint16_t>(jobCount - stagesLeft);
    layerSize[curLayer] = 0;
    Stage run = stages.untraced;
    if (tracing) {
      beginTracedStage(traceUsed, progressStage);
      if (!byCosts) {
        if (!inPlace) packTracedStage(layerSize[prevLayer], stagesLeft + 1u);
        run = stageTrace.mode == Tracing::packed ? stages.packed : stages.entries;
      }
    }
    if (!run()) {
      resultSlot() = -1; // capacity reached: the statistics keep the completed stages
      return;
    }
    if (tracing && byCosts) keepStageCosts(progressStage);
    if (tracing) tracing = endTracedStage(traceUsed, progressStage);
    byCosts = byCosts && holdsEverySet(layerSize[curLayer], stagesLeft);
    inPlace = recordsInPlace(layerSize[curLayer], lookupCount - searchesBefore, progressStage);
    searchesBefore = lookupCount;
    totalStates += layerSize[curLayer];
    if (layerSize[curLayer] > maxLayerSize) maxLayerSize = layerSize[curLayer];
    if (layerSize[curLayer] == 0) {
      resultSlot() = -1; // a cyclic relation left no state: there is no sequence
      return;
    }
  }
}

} // namespace precdp
