// Topological renumbering: merge the theorem arcs, sort the jobs on their predecessor counts and
// apply the new numbering in place by exchanges of two jobs.
#include "graph/graph.h"
#include "instance/instance.h"

#include <cstdlib>
#include <utility>
#include <vector>

namespace precdp {

namespace {

const uint16_t* predCount = nullptr; // the counts of the call in progress, for the comparison

// qsort's comparison on two job numbers: their predecessor counts, compared unsigned.
int comparePredCount(const void* first, const void* second) {
  const uint16_t a = *static_cast<const uint16_t*>(first);
  const uint16_t b = *static_cast<const uint16_t*>(second);
  if (predCount[a] > predCount[b]) return 1;
  if (predCount[a] < predCount[b]) return -1;
  return 0;
}

// Exchanges the rows of k and j, then the member bits k and j in every row.
void exchangeInSets(JobSet* sets, int n, int k, int j) {
  std::swap(sets[k], sets[j]);
  for (int m = 0; m < n; ++m) {
    const bool hasK = contains(sets[m], k), hasJ = contains(sets[m], j);
    if (hasK == hasJ) continue;
    if (hasK) {
      removeJob(sets[m], k);
      insertJob(sets[m], j);
    } else {
      removeJob(sets[m], j);
      insertJob(sets[m], k);
    }
  }
}

void exchangeJobs(int n, int k, int j) {
  exchangeInSets(succ, n, k, j);
  exchangeInSets(pred, n, k, j);
  for (uint16_t* values :
       {p, dueDate, earlinessWeight, tardinessWeight, earliestStart, latestEnd, filePosition})
    std::swap(values[k], values[j]);
}

} // namespace

void topoRelabel() {
  const int n = jobCount;
  for (int j = 0; j < n; ++j) {
    pred[j] = unionOf(pred[j], domPred[j]);
    succ[j] = unionOf(succ[j], domSucc[j]);
  }
  std::vector<uint16_t> counts(n), newOrder(n); // newOrder[k]: old number of the job to be k
  for (int j = 0; j < n; ++j) {
    newOrder[j] = static_cast<uint16_t>(j);
    for (int k = 0; k < n; ++k)
      if (contains(pred[j], k)) ++counts[j];
  }
  if (n > 1) { // an empty vector has no data for qsort
    predCount = counts.data();
    std::qsort(newOrder.data(), n, sizeof(uint16_t), comparePredCount);
    predCount = nullptr;
  }
  for (int k = n - 1; k >= 0; --k) {
    const int j = newOrder[k];
    if (j == k) continue;
    exchangeJobs(n, k, j);
    // The job that stood at k now stands at j; exactly one of the unfixed entries names it.
    for (int m = 0; m < k; ++m) {
      if (newOrder[m] == k) {
        newOrder[m] = static_cast<uint16_t>(j);
        break;
      }
    }
    newOrder[k] = static_cast<uint16_t>(k);
  }
}

} // namespace precdp
