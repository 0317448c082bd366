// Precedence graph: time windows of jobs and job pairs, the order strength, the topological
// renumbering of the jobs and the validation of the relation.
#pragma once

#include <cstdint>

namespace precdp {

// Fills earliestStart, latestEnd, pairEarliestStart and pairLatestEnd (rows and columns below
// jobCount) from the closed relation pred/succ, as sums of p on the time scale 0..totalP.
void computeTimeWindows();

// Share of job pairs that pred orders: |{(i, k): k in pred[i]}| / (n(n-1)/2). NaN when n < 2.
double orderStrength();

// Merges domPred/domSucc into pred/succ and renumbers the jobs so that every predecessor has a
// smaller number, moving every per-job value and set member with its job.
void topoRelabel();

// Reports (without changing anything) cycles and predecessors numbered at or above their job.
void checkPrecGraph();

} // namespace precdp
