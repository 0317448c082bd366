// Validation of the relation the DP relies on: no cycle, every predecessor numbered lower.
#include "graph/graph.h"
#include "instance/instance.h"
#include "platform/platform.h"

#include <cstdio>

namespace precdp {

void checkPrecGraph() {
  const int n = jobCount;
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < n; ++k) {
      if (!contains(pred[i], k)) continue;
      if (contains(succ[i], k)) {
        printMessage("Error! cycle in precedence graph!\n");
        waitKey();
      } else if (k >= i) {
        printMessage("Error! not lexicographical-ordered precedence graph!\n");
        waitKey();
      }
    }
  }
}

} // namespace precdp
