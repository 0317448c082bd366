// Lower bounds on the front of a state, the layer pruning and the bounded run.
//
// A state S of the backward DP has its tail fixed: the jobs of S still have to be sequenced
// in [0, T] with T = sum of p over S, under the precedences among them. Any lower bound on the
// least weighted tardiness of that front, added to the state's cost, bounds every complete
// sequence through the state from below.
#include "dp/dp.h"
#include "platform/platform.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace precdp {

bool boundedRun = false;
uint16_t heuristicSequence[maxJobs];

namespace {

// The jobs of the instance in descending tardinessWeight / p (Smith's ratio), jobCount entries.
uint16_t ratioOrder[maxJobs];

} // namespace

void prepareBounds() {
  std::iota(ratioOrder, ratioOrder + jobCount, 0);
  std::stable_sort(ratioOrder, ratioOrder + jobCount, [](int a, int b) {
    return uint32_t{tardinessWeight[a]} * p[b] > uint32_t{tardinessWeight[b]} * p[a];
  });
}

// For any multipliers 0 <= u_j <= w_j, w_j max(0, C_j - d_j) >= u_j (C_j - d_j): both the
// tardiness and the lateness are below it when u_j is w_j or 0 or in between. So the least
// sum of u_j (C_j - d_j) over every sequence of S, precedences ignored, is a lower bound; for
// fixed u it is reached by sequencing in descending u_j / p_j (Smith's rule). With u_j either
// w_j (the jobs of a set A) or 0 (sequenced after A, contributing nothing) the rule's order is
// ratioOrder restricted to A, and any A gives a valid bound. A starts as the jobs that can be
// late at all (due before the front's end) and loses, a few times over, the jobs whose own
// term plus the delay they cause to the later jobs of A is negative.
int64_t ratioBound(const JobSet& set, uint32_t frontEnd) {
  int members[maxJobs];
  int count = 0;
  for (int k = 0; k < jobCount; ++k) {
    const int j = ratioOrder[k];
    if (contains(set, j) && dueDate[j] < frontEnd) members[count++] = j;
  }
  int64_t completion[maxJobs];
  int64_t best = 0;
  for (int round = 0; round < 3 && count > 0; ++round) {
    int64_t time = 0, bound = 0;
    for (int k = 0; k < count; ++k) {
      time += p[members[k]];
      completion[k] = time;
      bound += int64_t{tardinessWeight[members[k]]} * (time - dueDate[members[k]]);
    }
    best = std::max(best, bound);
    int64_t weightAfter = 0;
    int kept = count;
    for (int k = count - 1; k >= 0; --k) {
      const int j = members[k];
      const int64_t gain =
          int64_t{tardinessWeight[j]} * (completion[k] - dueDate[j]) + p[j] * weightAfter;
      if (gain < 0)
        members[k] = -1, --kept;
      else
        weightAfter += tardinessWeight[j];
    }
    if (kept == count) break;
    count = static_cast<int>(std::remove(members, members + count, -1) - members);
  }
  return best;
}

// Every job of S completes no earlier than the processing time of its predecessors within S
// plus its own, so its own tardiness is at least what that completion gives.
int64_t headBound(const JobSet& set) {
  int64_t bound = 0;
  forEachJob(set, [&](int j) {
    const JobSet before = intersection(pred[j], set);
    int64_t completion = p[j];
    if (before.word[0] != 0 || before.word[1] != 0)
      forEachJob(before, [&](int i) { completion += p[i]; });
    if (completion > dueDate[j]) bound += int64_t{tardinessWeight[j]} * (completion - dueDate[j]);
  });
  return bound;
}

namespace {

// A candidate state of the layer being built; sorted by set in the layer order, then by cost.
struct Candidate {
  uint64_t word1, word0;
  int32_t cost;
  uint16_t time;
  bool operator<(const Candidate& other) const {
    if (word1 != other.word1) return word1 < other.word1;
    if (word0 != other.word0) return word0 < other.word0;
    return cost < other.cost;
  }
};

std::vector<Candidate> candidates; // kept between runs so its memory is reused

inline int64_t frontBound(const JobSet& set, uint32_t frontEnd) {
  return std::max(ratioBound(set, frontEnd), headBound(set));
}

// Sorts candidates[from..] into candidates[..from) (already sorted, one per set), keeps the
// cheapest candidate of each set and drops those whose cost plus bound reaches upperBound.
void settleCandidates(size_t& settled, int64_t upperBound) {
  std::sort(candidates.begin(), candidates.end());
  size_t kept = 0;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    if (kept > 0 && candidates[kept - 1].word0 == c.word0 && candidates[kept - 1].word1 == c.word1)
      continue; // a dearer candidate of a set already kept
    if (c.cost + frontBound(JobSet{{c.word0, c.word1}}, c.time) >= upperBound) continue;
    candidates[kept++] = c;
  }
  candidates.resize(kept);
  settled = kept;
}

// Expands prevLayer into curLayer. Children come out of order and are sorted at the end (and
// whenever the unsorted ones outgrow the sorted ones), so a dropped parent loses nothing the
// layer order relies on. False when the layer reached its capacity.
bool expandBelow(int64_t upperBound) {
  candidates.clear();
  size_t settled = 0;
  const size_t stopSize = layerCapacity - 1;
  for (uint32_t s = 0; s < layerSize[prevLayer]; ++s) {
    const JobSet set{{stateSet[prevLayer][0][s], stateSet[prevLayer][1][s]}};
    const uint16_t time = stateTime[prevLayer][s];
    const int64_t cost = stateCost[prevLayer][s];
    forEachJob(set, [&](int j) {
      const JobSet after = intersection(succ[j], set);
      if (after.word[0] != 0 || after.word[1] != 0) return; // j cannot be last in set
      const int64_t childCost =
          cost + (time > dueDate[j] ? int64_t{tardinessWeight[j]} * (time - dueDate[j]) : 0);
      if (childCost >= upperBound) return;
      JobSet child = set;
      removeJob(child, j);
      candidates.push_back({child.word[1], child.word[0], static_cast<int32_t>(childCost),
                            static_cast<uint16_t>(time - p[j])});
    });
    if (candidates.size() - settled > std::max<size_t>(settled, 1u << 20))
      settleCandidates(settled, upperBound);
    if (settled >= stopSize) return false;
  }
  settleCandidates(settled, upperBound);
  if (settled >= stopSize) return false;
  for (size_t i = 0; i < settled; ++i) {
    const Candidate& c = candidates[i];
    appendState(curLayer, JobSet{{c.word0, c.word1}}, c.cost, c.time);
  }
  return true;
}

} // namespace

void dpSolveBelow(int64_t upperBound) {
  lookupCount = 0;
  prepareBounds();
  appendState(curLayer, allJobs, 0, totalP);
  for (uint16_t stagesLeft = jobCount; stagesLeft > 0;) {
    if (!(maxCPU > secondsSince(startClock))) {
      resultSlot() = -1;
      return;
    }
    layerToggle = !layerToggle;
    curLayer = layerToggle;
    prevLayer = !layerToggle;
    --stagesLeft;
    layerSize[curLayer] = 0;
    if (!expandBelow(upperBound)) {
      resultSlot() = -1; // capacity reached: the statistics keep the completed stages
      return;
    }
    totalStates += layerSize[curLayer];
    maxLayerSize = std::max(maxLayerSize, layerSize[curLayer]);
    if (layerSize[curLayer] == 0) break; // every completion costs upperBound or more
  }
  if (layerSize[curLayer] == 0) resultSlot() = static_cast<int32_t>(upperBound);
}

void dpSolveBounded() {
  uint32_t sumOfP = 0;
  for (int j = 0; j < jobCount; ++j) sumOfP += p[j];
  const int64_t heuristicCost = buildHeuristicSchedule();
  // Wrapped 16-bit times would make a state's time differ from the sum over its front.
  if (heuristicCost < 0 || sumOfP != totalP)
    dpSolve();
  else
    dpSolveBelow(heuristicCost);
}

} // namespace precdp
