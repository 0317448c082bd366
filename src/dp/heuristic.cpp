// The upper bound of the bounded DP: a feasible sequence from dispatching rules, improved by a
// local search whose every move keeps the precedences.
#include "dp/dp.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace precdp {

int64_t sequenceCost(const uint16_t* sequence) {
  int64_t time = 0, cost = 0;
  for (int k = 0; k < jobCount; ++k) {
    const int j = sequence[k];
    time += p[j];
    if (time > dueDate[j]) cost += int64_t{tardinessWeight[j]} * (time - dueDate[j]);
  }
  return cost;
}

bool sequenceFeasible(const uint16_t* sequence) {
  JobSet placed{};
  for (int k = 0; k < jobCount; ++k) {
    const int j = sequence[k];
    if (j >= jobCount || contains(placed, j)) return false;
    if (!(intersection(pred[j], placed) == pred[j])) return false;
    insertJob(placed, j);
  }
  return true;
}

namespace {

// One sequence under improvement and its cost.
struct Sequence {
  uint16_t job[maxJobs];
  int64_t cost = 0;
};

// Apparent tardiness cost: at time t, the eligible job with the largest
// (w / p) exp(-max(0, d - p - t) / (k pbar)); k = 0 gives earliest due date first.
bool dispatch(double lookAhead, Sequence& out) {
  double meanP = 0;
  for (int j = 0; j < jobCount; ++j) meanP += p[j];
  meanP = jobCount > 0 ? meanP / jobCount : 1;
  JobSet placed{};
  int64_t time = 0;
  for (int k = 0; k < jobCount; ++k) {
    int best = -1;
    double bestPriority = 0;
    for (int j = 0; j < jobCount; ++j) {
      if (contains(placed, j) || !(intersection(pred[j], placed) == pred[j])) continue;
      const double slack = std::max<double>(0, double(dueDate[j]) - p[j] - double(time));
      const double priority = lookAhead > 0 ? (tardinessWeight[j] + 1e-9) / std::max(1, int(p[j])) *
                                                  std::exp(-slack / (lookAhead * meanP))
                                            : -double(dueDate[j]);
      if (best < 0 || priority > bestPriority) best = j, bestPriority = priority;
    }
    if (best < 0) return false; // a cycle: no job can come next
    out.job[k] = static_cast<uint16_t>(best);
    insertJob(placed, best);
    time += p[best];
  }
  out.cost = sequenceCost(out.job);
  return true;
}

// Moves the job at position from to position to, shifting the jobs between.
void moveJob(uint16_t* job, int from, int to) {
  const uint16_t moving = job[from];
  if (from < to)
    std::memmove(job + from, job + from + 1, sizeof(uint16_t) * (to - from));
  else
    std::memmove(job + to + 1, job + to, sizeof(uint16_t) * (from - to));
  job[to] = moving;
}

inline int64_t tardinessAt(int job, int64_t completion) {
  return completion > dueDate[job] ? int64_t{tardinessWeight[job]} * (completion - dueDate[job])
                                   : 0;
}

// Descent over all insertions and swaps that keep the precedences, taking the best move of each
// pass, until none lowers the cost. A job passes over the jobs between its old and new place,
// so the move is feasible exactly when none of them is its successor (moving later) or its
// predecessor (moving earlier); a swap also needs the other job free of them the opposite way.
// Only the jobs from the old to the new place change their completion times, by the moved
// job's p, so each insertion is priced in constant time from the previous one. A swap is priced
// in full only when a bound on its gain beats the best move so far; the jobs between then all
// move by the same amount.
void improve(Sequence& s) {
  const int n = jobCount;
  int64_t finish[maxJobs], costUpTo[maxJobs + 1], weightUpTo[maxJobs + 1];
  for (;;) {
    int64_t time = 0;
    costUpTo[0] = weightUpTo[0] = 0;
    for (int k = 0; k < n; ++k) {
      const int j = s.job[k];
      time += p[j];
      finish[k] = time;
      costUpTo[k + 1] = costUpTo[k] + tardinessAt(j, time);
      weightUpTo[k + 1] = weightUpTo[k] + tardinessWeight[j];
    }
    int64_t bestGain = 0;
    int bestFrom = -1, bestTo = -1;
    bool bestIsSwap = false;
    const auto consider = [&](int64_t gain, int from, int to, bool swap) {
      if (gain > bestGain) bestGain = gain, bestFrom = from, bestTo = to, bestIsSwap = swap;
    };
    for (int from = 0; from < n; ++from) {
      const int j = s.job[from];
      int64_t shifted = 0; // the passed jobs' cost at their new, earlier or later, completion
      for (int to = from + 1; to < n && !contains(succ[j], s.job[to]); ++to) {
        shifted += tardinessAt(s.job[to], finish[to] - p[j]);
        const int64_t old = costUpTo[to + 1] - costUpTo[from];
        consider(old - shifted - tardinessAt(j, finish[to]), from, to, false);
      }
      shifted = 0;
      for (int to = from - 1; to >= 0 && !contains(pred[j], s.job[to]); --to) {
        shifted += tardinessAt(s.job[to], finish[to] + p[j]);
        const int64_t old = costUpTo[from + 1] - costUpTo[to];
        consider(old - shifted - tardinessAt(j, finish[to] - p[s.job[to]] + p[j]), from, to, false);
      }
    }
    for (int from = 0; from < n; ++from) {
      const int first = s.job[from];
      for (int to = from + 1; to < n && !contains(succ[first], s.job[to]); ++to) {
        const int second = s.job[to];
        const int64_t shift = int64_t{p[second]} - p[first];
        const int64_t ends = tardinessAt(second, finish[from] - p[first] + p[second]) +
                             tardinessAt(first, finish[to]);
        const int64_t oldMiddle = costUpTo[to] - costUpTo[from + 1];
        // The jobs between move by shift: later they cost no less, earlier they lose at most
        // their weight times the shift each, and no more than they cost.
        const int64_t middleGain =
            shift >= 0 ? 0 : std::min(oldMiddle, -shift * (weightUpTo[to] - weightUpTo[from + 1]));
        if (costUpTo[to + 1] - costUpTo[from] - oldMiddle - ends + middleGain <= bestGain) continue;
        bool free = true;
        for (int k = from; k < to && free; ++k) free = !contains(pred[second], s.job[k]);
        if (!free) continue;
        int64_t cost = ends;
        for (int k = from + 1; k < to; ++k) cost += tardinessAt(s.job[k], finish[k] + shift);
        consider(costUpTo[to + 1] - costUpTo[from] - cost, from, to, true);
      }
    }
    if (bestFrom < 0) return;
    if (bestIsSwap)
      std::swap(s.job[bestFrom], s.job[bestTo]);
    else
      moveJob(s.job, bestFrom, bestTo);
    s.cost -= bestGain;
  }
}

// A random feasible insertion: a job moved to a random place within the window its
// predecessors and successors leave it.
void perturb(Sequence& s, std::mt19937& random) {
  const int n = jobCount;
  const int from = std::uniform_int_distribution<int>(0, n - 1)(random);
  const int j = s.job[from];
  int low = from, high = from;
  while (low > 0 && !contains(pred[j], s.job[low - 1])) --low;
  while (high < n - 1 && !contains(succ[j], s.job[high + 1])) ++high;
  moveJob(s.job, from, std::uniform_int_distribution<int>(low, high)(random));
}

} // namespace

int64_t buildHeuristicSchedule() {
  Sequence best, trial;
  bool any = false;
  for (const double lookAhead : {0.0, 0.5, 1.0, 2.0, 4.0}) {
    if (!dispatch(lookAhead, trial)) return -1;
    improve(trial);
    if (!any || trial.cost < best.cost) best = trial, any = true;
  }
  // Iterated local search from the best start: a few random insertions, then descent; a worse
  // result is dropped. Seeded, so the same instance always gives the same UB.
  std::mt19937 random(12345);
  for (int round = 0; round < 60 && best.cost > 0 && jobCount > 2; ++round) {
    trial = best;
    for (int kick = 0; kick < 3; ++kick) perturb(trial, random);
    trial.cost = sequenceCost(trial.job);
    improve(trial);
    if (trial.cost < best.cost) best = trial;
  }
  std::memcpy(heuristicSequence, best.job, sizeof(uint16_t) * jobCount);
  return best.cost;
}

} // namespace precdp
