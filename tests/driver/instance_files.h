// Writes small instance files of both datasets below the working directory, at the paths and in
// the formats the readers expect, so the driver can be run on instances whose answers are known.
#pragma once

#include "gen/generator.h"
#include "instance/instance.h"
#include "support.h"

#include <vector>

namespace precdp::testing {

// The jobs with an earliness weight of 1, and the arcs.
inline gen::GeneratedInstance fileInstance(const std::vector<Job>& jobs, const Arcs& arcs) {
  gen::GeneratedInstance instance;
  instance.n = static_cast<int>(jobs.size());
  for (const Job& job : jobs) instance.jobs.push_back({job.p, job.dueDate, 1, job.weight});
  instance.arcs = arcs;
  return instance;
}

// The files of instance Ins of class (n, os): for Velmar the job file, shared by every order
// strength of the size, and the precedence file for an os above 0.
inline void writeInstanceFiles(gen::Family family, int n, double os, int Ins,
                               const gen::GeneratedInstance& instance) {
  if (family == gen::Family::standard)
    return writeTextFile(standardInstancePath(n, os, Ins), gen::standardFileText(instance));
  writeTextFile(velmarJobPath(n, Ins), gen::velmarJobFileText(instance));
  if (os > 0)
    writeTextFile(velmarPrecedencePath(2, n, os, Ins), gen::velmarPrecedenceFileText(instance));
}
inline void writeStandardInstance(int n, double os, int Ins, const std::vector<Job>& jobs,
                                  const Arcs& arcs = {}) {
  writeInstanceFiles(gen::Family::standard, n, os, Ins, fileInstance(jobs, arcs));
}
inline void writeVelmarInstance(int n, double os, int Ins, const std::vector<Job>& jobs,
                                const Arcs& arcs = {}) {
  writeInstanceFiles(gen::Family::velmar, n, os, Ins, fileInstance(jobs, arcs));
}

// Generated standard instances 1..count of n = 20 for each order strength in `os`.
inline void generateStandard20(const std::vector<double>& os, int count) {
  const gen::TreePlan plan{.families = {gen::Family::standard},
                           .nValues = {20},
                           .osValues = os,
                           .count = count,
                           .settings = {.seed = 11}};
  gen::TreeSummary summary;
  std::string error;
  ASSERT_TRUE(gen::writeTree(plan, summary, error)) << error;
}

// A 3-job instance; chainOf(0, 1 or 2) gives order strength 0, 1/3 or 1.
inline std::vector<Job> threeJobs() {
  return {{4, 3, 2}, {2, 2, 3}, {3, 6, 1}};
}
inline Arcs chainOf(int arcs) {
  Arcs chain;
  for (int arc = 0; arc < arcs; ++arc) chain.emplace_back(arc, arc + 1);
  return chain;
}

} // namespace precdp::testing
