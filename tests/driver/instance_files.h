// Writes small instance files of both datasets below the working directory, at the paths the
// readers look for, so the driver can be run on instances whose answers are known.
#pragma once

#include "instance/instance.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace precdp::testing {

struct FileJob {
  int p;
  int dueDate;
  int weight; // tardiness weight; the earliness weight is written as 1
};

using Arcs = std::vector<std::pair<int, int>>;

inline std::ofstream createFile(const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return std::ofstream(path);
}

// Class n-os of the standard dataset, instance `instance`: jobs with their successor lists.
inline void writeStandardInstance(int n, double os, int instance, const std::vector<FileJob>& jobs,
                                  const Arcs& arcs = {}) {
  std::ofstream file = createFile(standardInstancePath(n, os, instance));
  file << jobs.size() << '\n';
  for (size_t job = 0; job < jobs.size(); ++job) {
    std::vector<int> successors;
    for (auto [from, to] : arcs)
      if (from == static_cast<int>(job)) successors.push_back(to);
    file << jobs[job].p << ' ' << jobs[job].dueDate << " 1 " << jobs[job].weight << ' '
         << successors.size();
    for (int successor : successors) file << ' ' << successor;
    file << '\n';
  }
}

// Precedence file of instance `instance` of size n and order strength os: four header words,
// then one arc a line.
inline void writeVelmarPrecedences(int n, double os, int instance, const Arcs& arcs) {
  std::ofstream precedenceFile = createFile(velmarPrecedencePath(2, n, os, instance));
  precedenceFile << "header words of four\n";
  for (auto [from, to] : arcs) precedenceFile << from << ' ' << to << '\n';
}

// Job file of instance `instance` of size n, and its precedence file for an os above 0.
inline void writeVelmarInstance(int n, double os, int instance, const std::vector<FileJob>& jobs,
                                const Arcs& arcs = {}) {
  std::ofstream jobFile = createFile(velmarJobPath(n, instance));
  jobFile << jobs.size() << '\n';
  for (const FileJob& job : jobs)
    jobFile << job.p << ' ' << job.dueDate << " 1 " << job.weight << '\n';
  if (os > 0) writeVelmarPrecedences(n, os, instance, arcs);
}

// A 3-job instance; `arcs` 0, 1 or 2 gives order strength 0, 1/3 or 1.
inline std::vector<FileJob> threeJobs() {
  return {{4, 3, 2}, {2, 2, 3}, {3, 6, 1}};
}
inline Arcs chainOf(int arcs) {
  Arcs chain;
  for (int arc = 0; arc < arcs; ++arc) chain.emplace_back(arc, arc + 1);
  return chain;
}

} // namespace precdp::testing
