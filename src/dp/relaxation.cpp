// The time-indexed relaxation behind pathBound: the front of a state as a path of jobs through
// the time points 0..T, each job of cost w_j max(0, t - d_j) - mu_j when it completes at t.
//
// The front S of a state holds the predecessors of each of its jobs. Every sequence of S
// without idle time that is part of a complete sequence is such a path from 0 to T = sum of p
// over S, each job completing within its window (after its predecessors, before its
// successors) and never right after one of its successors; its cost along the path is the
// sequence's weighted tardiness minus the sum of mu over S. So for any multipliers mu, the
// cheapest such path from 0 to T over all jobs, with repetitions allowed but never the same job
// twice in a row, plus the sum of mu over S bounds the least weighted tardiness of the front
// from below. Jobs of p = 0 stay off the paths, their mu at 0: they cost at least 0, so leaving
// them out only lowers the bound. The multipliers are fitted by a subgradient ascent on the
// full set, then rounded to multiples of 1 / pathScale; costs are scaled by pathScale, so the
// table is exact integers, and as the optimum is an integer, the scaled bound divided by
// pathScale and rounded up still bounds it.
#include "dp/dp.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace precdp {

int64_t pathMultiplier[maxJobs];
std::vector<int64_t> pathTable;

namespace {

// The two cheapest paths ending at one time point whose last jobs differ.
template <typename Value>
struct Ends {
  Value best, second;
  int bestJob, secondJob;
};

template <typename Value>
constexpr Value unreachable = std::numeric_limits<Value>::max() / 4;

// Whether a path may go on with `job` after a path ending in `last` (-1: the empty path): not
// the same job twice in a row, and not a job right after one of its successors.
inline bool mayFollow(int job, int last) {
  return last != job && (last < 0 || !contains(succ[job], last));
}

// Fills ends[0..horizon] for the multipliers mu; Value is double while fitting, int64_t after.
// The jobs are taken in ascending order, so a tie keeps the lower job as the best. In every
// complete sequence a job completes no earlier than its p plus its predecessors' p and no later
// than the total p less its successors' p, in the front of every state too. When the best end
// at the start point may not precede the job, the second is the least path that may, or below
// it: either way no path of the front costs less.
template <typename Value>
void cheapestPaths(const Value* mu, Value scale, uint32_t horizon, std::vector<Ends<Value>>& ends) {
  struct PathJob {
    uint32_t p, dueDate, earliest, latest; // the window of its completion time
    Value weight, mu;                      // the weight in the table's units
    int job;
  };
  PathJob jobs[maxJobs];
  int count = 0;
  uint32_t total = 0; // 32 bits: totalP wraps
  for (int j = 0; j < jobCount; ++j) total += p[j];
  // The times at which a window opens or closes; the jobs open at t are rebuilt only there.
  uint32_t changes[2 * maxJobs];
  int changeCount = 0;
  for (int j = 0; j < jobCount; ++j) {
    if (p[j] == 0) continue;
    uint32_t earliest = p[j], after = 0;
    forEachJob(pred[j], [&](int i) { earliest += i < jobCount ? p[i] : 0; });
    forEachJob(succ[j], [&](int i) { after += i < jobCount ? p[i] : 0; });
    const uint32_t latest = total - std::min(after, total); // below earliest: never open
    jobs[count++] = {p[j],  dueDate[j], earliest, latest, Value(tardinessWeight[j]) * scale,
                     mu[j], j};
    changes[changeCount++] = earliest;
    changes[changeCount++] = latest + 1;
  }
  std::sort(changes, changes + changeCount);
  ends.assign(horizon + 1, {unreachable<Value>, unreachable<Value>, -1, -1});
  ends[0].best = 0;
  PathJob open[maxJobs];
  int openCount = 0;
  for (uint32_t t = 1, change = 0; t <= horizon; ++t) {
    if (change < uint32_t(changeCount) && changes[change] <= t) {
      while (change < uint32_t(changeCount) && changes[change] <= t) ++change;
      openCount = 0;
      for (int k = 0; k < count; ++k)
        if (jobs[k].earliest <= t && t <= jobs[k].latest) open[openCount++] = jobs[k];
    }
    // The two best of t in locals: stores to ends[t] could otherwise alias the reads below it.
    Ends<Value> here = ends[t];
    for (int k = 0; k < openCount; ++k) {
      const PathJob& job = open[k];
      const Ends<Value>& from = ends[t - job.p];
      const Value start = mayFollow(job.job, from.bestJob) ? from.best : from.second;
      if (start >= unreachable<Value>) continue;
      const Value late = t > job.dueDate ? job.weight * Value(t - job.dueDate) : 0;
      const Value cost = start + late - job.mu;
      if (cost < here.best) {
        here.second = here.best, here.secondJob = here.bestJob;
        here.best = cost, here.bestJob = job.job;
      } else if (cost < here.second) {
        here.second = cost, here.secondJob = job.job;
      }
    }
    ends[t] = here;
  }
}

// How often each job occurs on the cheapest path to horizon.
template <typename Value>
void countJobs(const std::vector<Ends<Value>>& ends, uint32_t horizon, int* uses) {
  std::fill(uses, uses + jobCount, 0);
  int job = ends[horizon].bestJob;
  for (uint32_t t = horizon; t > 0 && job >= 0;) {
    ++uses[job];
    const Ends<Value>& from = ends[t - p[job]];
    const int next = job;
    t -= p[job];
    job = mayFollow(next, from.bestJob) ? from.bestJob : from.secondJob;
  }
}

} // namespace

namespace {

// The subgradient ascent between calls, so that fitPathBound can go on where it stopped.
struct Ascent {
  double mu[maxJobs], bestMu[maxJobs];
  double direction[maxJobs]; // the last step's, deflected
  double bestValue, step;
  double checkpoint; // bestValue 100 rounds ago
  int rounds, stale, staleRounds;
  double target;
  uint32_t horizon;
  bool finished; // the path was a sequence, or the bound reached the target
};
Ascent ascent;
std::vector<Ends<double>> fitEnds;

// One round: the cheapest path for mu, then mu moved by a Polyak step towards the target. The
// direction is the subgradient 1 - (uses of j on the path), plus the last direction where the
// two point apart (deflected by 1.5 times its projection), which damps the zigzag between
// rounds. The step factor halves after staleRounds rounds without a better bound.
void ascend() {
  Ascent& a = ascent;
  cheapestPaths(a.mu, 1.0, a.horizon, fitEnds);
  double value = fitEnds[a.horizon].best;
  for (int j = 0; j < jobCount; ++j) value += a.mu[j];
  if (value > a.bestValue + 1e-9)
    a.bestValue = value, std::copy(a.mu, a.mu + jobCount, a.bestMu), a.stale = 0;
  else if (++a.stale >= a.staleRounds)
    a.step /= 2, a.stale = 0;
  int uses[maxJobs];
  countJobs(fitEnds, a.horizon, uses);
  double gradient[maxJobs], across = 0, previous = 0, norm = 0;
  for (int j = 0; j < jobCount; ++j) {
    gradient[j] = p[j] > 0 ? 1.0 - uses[j] : 0.0;
    across += gradient[j] * a.direction[j];
    previous += a.direction[j] * a.direction[j];
    norm += gradient[j] * gradient[j];
  }
  // Past 100 rounds, a rise of less than one cost in 100 rounds leaves the bound at the full set
  // where it is.
  bool settled = false;
  if (a.rounds % 100 == 99) {
    settled = a.bestValue < a.checkpoint + 1;
    a.checkpoint = a.bestValue;
  }
  a.finished = norm == 0 || value >= a.target || a.step < 1e-4 || settled;
  if (a.finished) return;
  const double deflection = across < 0 ? -1.5 * across / previous : 0.0;
  norm = 0;
  for (int j = 0; j < jobCount; ++j) {
    a.direction[j] = gradient[j] + deflection * a.direction[j];
    norm += a.direction[j] * a.direction[j];
  }
  const double length = a.step * (a.target - value) / norm;
  for (int j = 0; j < jobCount; ++j) a.mu[j] += length * a.direction[j];
}

} // namespace

void beginPathFit(int64_t target) {
  Ascent& a = ascent;
  a.horizon = 0;
  for (int j = 0; j < jobCount; ++j) a.horizon += p[j];
  std::fill(a.mu, a.mu + maxJobs, 0.0);
  std::fill(a.bestMu, a.bestMu + maxJobs, 0.0);
  std::fill(a.direction, a.direction + maxJobs, 0.0);
  a.bestValue = a.checkpoint = -std::numeric_limits<double>::infinity();
  // Up to 50 jobs the cautious steps reach the bound of the 50- and 100-round attempts sooner;
  // at 100 jobs the longer ones reach that of the 250-round attempt sooner.
  a.step = jobCount <= 50 ? 1.0 : 2.0;
  a.staleRounds = jobCount <= 50 ? 20 : 30;
  a.rounds = a.stale = 0;
  a.target = double(target);
  a.finished = false;
}

void fitPathBound(int rounds) {
  Ascent& a = ascent;
  for (; a.rounds < rounds && !a.finished; ++a.rounds) ascend();
  for (int j = 0; j < jobCount; ++j) pathMultiplier[j] = std::llround(a.bestMu[j] * pathScale);
  std::vector<Ends<int64_t>> exact;
  cheapestPaths(pathMultiplier, pathScale, a.horizon, exact);
  pathTable.resize(a.horizon + 1);
  for (uint32_t t = 0; t <= a.horizon; ++t) pathTable[t] = exact[t].best;
}

int64_t pathBound(const JobSet& set, uint32_t frontEnd) {
  int64_t bound = pathTable[frontEnd];
  forEachJob(set, [&](int j) { bound += pathMultiplier[j]; });
  return ceilUnscaled(bound);
}

} // namespace precdp
