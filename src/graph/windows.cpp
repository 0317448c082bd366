#include "graph/graph.h"
#include "instance/instance.h"

namespace precdp {

void computeTimeWindows() {
  const int n = jobCount;
  for (int i = 0; i < n; ++i) {
    earliestStart[i] = 0;
    latestEnd[i] = totalP;
    for (int k = 0; k < n; ++k) {
      pairEarliestStart[i][k] = pairEarliestStart[k][i] = 0;
      pairLatestEnd[i][k] = pairLatestEnd[k][i] = 0;
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      // A job in both pred and succ of i (a cycle) counts in the head alone.
      if (contains(pred[i], j))
        earliestStart[i] = static_cast<uint16_t>(earliestStart[i] + p[j]);
      else if (contains(succ[i], j))
        latestEnd[i] = static_cast<uint16_t>(latestEnd[i] - p[j]);
      uint16_t pairStart = 0, pairEnd = 0;
      for (int k = 0; k < n; ++k) {
        if (contains(pred[i], k) || contains(pred[j], k))
          pairStart = static_cast<uint16_t>(pairStart + p[k]);
        if (!contains(succ[i], k) && !contains(succ[j], k))
          pairEnd = static_cast<uint16_t>(pairEnd + p[k]);
      }
      pairEarliestStart[i][j] = pairEarliestStart[j][i] = pairStart;
      pairLatestEnd[i][j] = pairLatestEnd[j][i] = pairEnd;
    }
  }
}

double orderStrength() {
  const int32_t n = jobCount;
  int32_t ordered = 0;
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k)
      if (contains(pred[i], k)) ++ordered;
  const int32_t pairs = ((n - 1) * n) / 2;
  return static_cast<double>(ordered) / static_cast<double>(pairs); // 0/0 is NaN for n < 2
}

} // namespace precdp
