// The instance as read, and the check of a schedule against it.
#include "instance/instance.h"

#include <algorithm>
#include <sstream>

namespace precdp {

FileInstance snapshotFileInstance() {
  FileInstance instance;
  instance.jobCount = jobCount;
  for (int j = 0; j < jobCount; ++j) {
    instance.p[j] = p[j];
    instance.dueDate[j] = dueDate[j];
    instance.tardinessWeight[j] = tardinessWeight[j];
    instance.pred[j] = pred[j];
  }
  return instance;
}

int64_t weightedTardiness(const FileInstance& instance, const std::vector<uint16_t>& sequence) {
  int64_t time = 0, cost = 0;
  for (uint16_t job : sequence) {
    time += instance.p[job];
    cost += std::max<int64_t>(0, time - instance.dueDate[job]) * instance.tardinessWeight[job];
  }
  return cost;
}

std::string sequenceFault(const FileInstance& instance, const std::vector<uint16_t>& sequence,
                          int64_t objective) {
  std::ostringstream fault;
  if (sequence.size() != instance.jobCount) {
    fault << sequence.size() << " jobs in a sequence of an instance with " << instance.jobCount;
    return fault.str();
  }
  JobSet placed{};
  for (uint16_t job : sequence) {
    if (job >= instance.jobCount || contains(placed, job)) {
      fault << "job " << job << " is not one of the instance's jobs or occurs twice";
      return fault.str();
    }
    // pred is closed, so this covers indirect predecessors too.
    if (!isEmpty(without(instance.pred[job], placed))) {
      fault << "job " << job << " comes before one of its predecessors";
      return fault.str();
    }
    insertJob(placed, job);
  }
  const int64_t cost = weightedTardiness(instance, sequence);
  if (cost != objective)
    fault << "weighted tardiness " << cost << " of the sequence differs from obj " << objective;
  return fault.str();
}

} // namespace precdp
