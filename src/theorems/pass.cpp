// The theorem sweep, the closure test, the arc insertion and the pair-window rebuild.
//
// The pass never keeps the pair-window matrices current while it runs. A window is a sum of p
// over a union of job sets, so the Kanet rule gets the value the matrix would hold from the sets
// themselves (sixteen byte-table lookups per sum); the matrices are written once, at the end.
#include "theorems/theorems.h"

#include "platform/platform.h"

#include <bit>
#include <cstdio>

namespace precdp {

void (*theoremArcObserver)(int a, int b) = nullptr;

namespace {

constexpr int bytesPerWord = 8;

// pSumOfByte[c][x]: sum of p (16-bit, wrapping) over the jobs whose bits are set in x at byte c
// of a JobSet; bytes 0..7 are word 0, bytes 8..15 word 1. Jobs at or above jobCount count 0.
uint16_t pSumOfByte[2 * bytesPerWord][256];
JobSet countedJobs; // {0..jobCount-1}, the jobs the sums may count

JobSet jobsBelow(int n) {
  JobSet set{};
  for (int job = 0; job < n; ++job) insertJob(set, job);
  return set;
}

uint16_t sumOfP(const JobSet& set) {
  uint16_t sum = 0;
  for (int word = 0; word < 2; ++word) {
    uint64_t bits = set.word[word] & countedJobs.word[word];
    for (int byte = 0; byte < bytesPerWord && bits != 0; ++byte, bits >>= 8)
      sum = static_cast<uint16_t>(sum + pSumOfByte[word * bytesPerWord + byte][bits & 0xff]);
  }
  return sum;
}

JobSet withJob(JobSet set, int job) {
  insertJob(set, job);
  return set;
}

// Like forEachJob, but stops at the first job for which test(job) is false; returns whether
// every member passed.
template <typename Test>
bool allJobsPass(const JobSet& set, Test test) {
  for (int word = 0; word < 2; ++word)
    for (uint64_t bits = set.word[word]; bits != 0; bits &= bits - 1)
      if (!test(word * jobsPerWord + std::countr_zero(bits))) return false;
  return true;
}

bool ruleHolds(Theorem theorem, int i, int j) {
  if (theorem == Theorem::emmons) return emmonsPairRule(i, j);
  return kanetRule(kanetPairOf(i, j, pairEarliestStartOf(i, j), pairLatestEndOf(i, j)));
}

bool ordered(int i, int j) {
  return contains(pred[i], j) || contains(succ[i], j) || contains(domPred[i], j) ||
         contains(domSucc[i], j);
}

// One sweep over the pairs (i > j); true when it added an arc.
bool sweep(Theorem theorem) {
  const int n = jobCount;
  bool changed = false;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < i; ++j) {
      if (ordered(i, j)) continue;
      int before = i, after = j; // i first: ties put the higher number in front
      if (!domPairClosure(i, j, theorem)) {
        if (!domPairClosure(j, i, theorem)) continue;
        before = j, after = i;
      }
      DomAddPrec(before, after);
      if (theoremArcObserver != nullptr) theoremArcObserver(before, after);
      changed = true;
    }
  }
  return changed;
}

} // namespace

void preparePairSums() {
  const int n = jobCount;
  countedJobs = jobsBelow(n);
  for (int word = 0; word < 2; ++word) {
    for (int byte = 0; byte < bytesPerWord; ++byte) {
      uint16_t* sums = pSumOfByte[word * bytesPerWord + byte];
      sums[0] = 0;
      for (int bits = 1; bits < 256; ++bits) {
        const int bit = byte * 8 + std::countr_zero(static_cast<unsigned>(bits));
        const int job = word * jobsPerWord + bit;
        const uint16_t value = bit < jobsPerWord && job < n ? p[job] : 0;
        sums[bits] = static_cast<uint16_t>(sums[bits & (bits - 1)] + value);
      }
    }
  }
}

uint16_t pairEarliestStartOf(int a, int b) {
  return sumOfP(unionOf(unionOf(pred[a], pred[b]), unionOf(domPred[a], domPred[b])));
}

uint16_t pairLatestEndOf(int a, int b) {
  const JobSet after = unionOf(unionOf(succ[a], succ[b]), unionOf(domSucc[a], domSucc[b]));
  return sumOfP(without(countedJobs, after));
}

bool domPairClosure(int a, int b, Theorem theorem) {
  const JobSet firsts = intersection(withJob(pred[a], a), countedJobs);
  const JobSet seconds = intersection(withJob(succ[b], b), countedJobs);
  return allJobsPass(firsts, [&](int k) {
    // l in succ[k] is k in pred[l] (mirror): pairs the instance orders are exempt.
    return allJobsPass(without(seconds, succ[k]), [&](int l) { return ruleHolds(theorem, k, l); });
  });
}

void DomAddPrec(int a, int b) {
  const JobSet countable = jobsBelow(jobCount);
  const JobSet firsts = intersection(withJob(unionOf(pred[a], domPred[a]), a), countable);
  const JobSet seconds = intersection(withJob(unionOf(succ[b], domSucc[b]), b), countable);
  forEachJob(firsts, [&](int k) {
    // By the mirror invariants, l already after k is l in succ[k] or domSucc[k], and k already
    // after l (a cycle) is l in pred[k] or domPred[k].
    const JobSet fresh = without(seconds, unionOf(succ[k], domSucc[k]));
    const JobSet backwards = intersection(fresh, withJob(unionOf(pred[k], domPred[k]), k));
    forEachJob(backwards, [](int) {
      printMessage("Error! DomAddPrec\n");
      waitKey();
    });
    uint16_t lostTail = 0;
    forEachJob(fresh, [&](int l) {
      insertJob(domPred[l], k);
      earliestStart[l] = static_cast<uint16_t>(earliestStart[l] + p[k]);
      lostTail = static_cast<uint16_t>(lostTail + p[l]);
    });
    domSucc[k] = unionOf(domSucc[k], fresh);
    latestEnd[k] = static_cast<uint16_t>(latestEnd[k] - lostTail);
  });
}

void rebuildPairWindows() {
  preparePairSums();
  const int n = jobCount;
  for (int a = 0; a < n; ++a) {
    for (int b = 0; b <= a; ++b) {
      pairEarliestStart[a][b] = pairEarliestStart[b][a] = pairEarliestStartOf(a, b);
      pairLatestEnd[a][b] = pairLatestEnd[b][a] = pairLatestEndOf(a, b);
    }
  }
}

void precTheoremPass(Theorem theorem) {
  preparePairSums(); // p and jobCount stay fixed during the pass
  bool added = false;
  while (sweep(theorem)) added = true;
  if (added) rebuildPairWindows();
}

void kanetPrec() {
  precTheoremPass(Theorem::kanet);
}

void emmonsPrec() {
  precTheoremPass(Theorem::emmons);
}

} // namespace precdp
