#include "instance/instance.h"

#include "dp/dp.h"
#include "platform/platform.h"

#include <cstdio>

namespace precdp {

uint64_t jobBit[jobsPerWord];

uint16_t jobCount = 0;
uint16_t p[maxJobs];
uint16_t dueDate[maxJobs];
uint16_t earlinessWeight[maxJobs];
uint16_t tardinessWeight[maxJobs];
uint16_t totalP = 0;
JobSet allJobs;
JobSet pred[maxJobs];
JobSet succ[maxJobs];
JobSet domPred[maxJobs];
JobSet domSucc[maxJobs];
uint16_t earliestStart[maxJobs];
uint16_t latestEnd[maxJobs];
uint16_t pairEarliestStart[maxJobs][maxJobs];
uint16_t pairLatestEnd[maxJobs][maxJobs];

uint8_t datasettype = 2;
uint8_t objType = 2;
uint16_t nVal = 0;
double osVal = 0.0;
int32_t precTheorem = 0;
double osThreshold = 0.0;

void buildJobBits() {
  jobBit[0] = 1;
  for (int k = 1; k < jobsPerWord; ++k) jobBit[k] = 2 * jobBit[k - 1];
}

bool initTables() {
  buildJobBits();
  return allocateStore(maxState);
}

void resetInstance() {
  const int previousCount = jobCount; // the pair windows were written below this bound only
  for (int i = 0; i < maxJobs; ++i) {
    pred[i] = succ[i] = domPred[i] = domSucc[i] = JobSet{};
    earliestStart[i] = latestEnd[i] = 0;
    for (int j = 0; j < previousCount; ++j) {
      pairEarliestStart[i][j] = pairLatestEnd[i][j] = 0;
      pairEarliestStart[j][i] = pairLatestEnd[j][i] = 0;
    }
  }
  allJobs = JobSet{};
  totalP = 0;
  resetStore();
}

void addPrec(int16_t i, int16_t j, ImpliedArc implied) {
  if (implied == ImpliedArc::stop && contains(succ[i], j)) return;
  const int n = jobCount;
  // The filters are re-read on every step: with a cycle, insertions reach pred[i] and succ[j]
  // themselves while the loops run.
  for (int k = 0; k < n; ++k) {
    if (k != i && !contains(pred[i], k)) continue;
    for (int l = 0; l < n; ++l) {
      if (l != j && !contains(succ[j], l)) continue;
      if (contains(pred[l], k)) continue;
      if (contains(succ[l], k) || k == l) {
        printMessage("Error! addPrec\n");
        waitKey();
      }
      insertJob(pred[l], k);
      insertJob(succ[k], l);
    }
  }
}

} // namespace precdp
