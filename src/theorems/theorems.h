// Precedence theorems: one sweep over the job pairs that adds the arcs a dominance rule proves
// (into domPred/domSucc), run with the Kanet rule or with the Emmons rules.
#pragma once

#include <cstdint>

namespace precdp {

// A pair rule: true when the theorem shows that job i may be sequenced before job j. Reads p,
// dueDate, tardinessWeight, earliestStart, latestEnd and (Kanet) the pair windows as they stand.
using PairRule = bool (*)(int i, int j);

bool kanetPairRule(int i, int j);
bool emmonsPairRule(int i, int j);

// Sweeps (i > j) until one adds nothing; each pair not yet ordered by the instance or by an
// earlier theorem arc gets i-before-j if domPairClosure(i, j), else j-before-i if
// domPairClosure(j, i).
void precTheoremPass(PairRule rule);
void kanetPrec();
void emmonsPrec();

} // namespace precdp
