// Precedence theorems: one sweep over the job pairs that adds the arcs a dominance rule proves
// (into domPred/domSucc), run with the Kanet rule or with the Emmons rules.
//
// The pass gives exactly the arcs, sets, heads, tails and pair windows of the plain definition
// (pair windows rebuilt after every arc), but never rebuilds them per arc: the Kanet rule takes
// the two pair sums it needs straight from the sets, and the matrices are filled once at the end.
#pragma once

#include "instance/instance.h"

#include <cstdint>

namespace precdp {

enum class Theorem { kanet, emmons };

// ---- Pair rules: true when the theorem shows that job i may be sequenced before job j -------
// Everything the Kanet rule reads for the pair (i, j); all unsigned 16-bit, as they stand.
struct KanetPair {
  uint16_t pi, pj;             // processing times
  uint16_t wi, wj;             // tardiness weights
  uint16_t di, dj;             // due dates
  uint16_t rj;                 // earliestStart[j]
  uint16_t Li;                 // latestEnd[i]
  uint16_t pairStart, pairEnd; // B = pairEarliestStart[i][j], A = pairLatestEnd[i][j]
};

// Conditions K1..K9. Integer forms are exact (64-bit, so no product can wrap), each fraction is
// its own double division, comparisons are inclusive and fail on NaN.
bool kanetRule(const KanetPair& pair);
KanetPair kanetPairOf(int i, int j, uint16_t pairStart, uint16_t pairEnd);

// The table-reading forms: the Kanet rule takes B and A from the pair-window matrices.
bool kanetPairRule(int i, int j);
bool emmonsPairRule(int i, int j); // E1..E3; reads no pair window

// ---- The pass ---------------------------------------------------------------------------------
// Preconditions: pred/succ closed and mirrored (as addPrec leaves them), windows from
// computeTimeWindows, domPred/domSucc mirrored and disjoint from pred/succ.

// Sums of p over job sets by byte lookups, for the pair windows computed from the sets. Built
// from p and jobCount; the pass builds it itself, other callers of domPairClosure first.
void preparePairSums();
uint16_t pairEarliestStartOf(int a, int b); // sum of p over pred/domPred of a or b
uint16_t pairLatestEndOf(int a, int b);     // sum of p over jobs after neither a nor b

// True when the rule holds for every (k, l), k in {a} or pred[a], l in {b} or succ[b], that the
// instance itself does not order (theorem arcs give no exemption).
bool domPairClosure(int a, int b, Theorem theorem);

// Puts a and all its predecessors before b and all its successors (domPred/domSucc), raising
// earliestStart and lowering latestEnd by the p of each new neighbour. a and b must be
// unordered. An arc closing a cycle prints "Error! DomAddPrec\n", waits for a key, and is added.
// Leaves the pair-window matrices as they were.
void DomAddPrec(int a, int b);

// Both pair-window matrices (rows and columns below jobCount) from pred, succ and the theorem
// arcs, in O(n^2) table lookups.
void rebuildPairWindows();

// When set, called with (a, b) after each arc a-before-b that the sweep adds (tracing, tests).
extern void (*theoremArcObserver)(int a, int b);

// Sweeps (i > j) until one adds nothing; each pair not yet ordered by the instance or by an
// earlier theorem arc gets i-before-j if domPairClosure(i, j), else j-before-i if
// domPairClosure(j, i).
void precTheoremPass(Theorem theorem);
void kanetPrec();
void emmonsPrec();

} // namespace precdp
