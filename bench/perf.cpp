// precdp-perf [--only TEXT] [section...]: runs the named sections ("dp", "theorems", "sequences",
// "bounded", "threads"), or all of them, and prints the figures; --only keeps the DP workloads
// whose name contains TEXT. Exits 1 when a section's own check fails.
#include "perf.h"

#include "instance/instance.h"
#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace precdp::bench {

std::string workloadFilter;

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void printHeader() {
  std::printf("%-28s %9s %12s %12s %10s %12s %12s %9s\n", "workload", "seconds", "states/s",
              "lookups/s", "uas", "ts", "obj", "peakMiB");
}

void printRow(const std::string& workload, double seconds, uint64_t states, uint64_t lookups,
              uint32_t maxLayer, uint64_t total, int64_t objective) {
  std::printf("%-28s %9.3f %12.4g %12.4g %10u %12llu %12lld %9.1f\n", workload.c_str(), seconds,
              states / seconds, lookups / seconds, maxLayer, static_cast<unsigned long long>(total),
              static_cast<long long>(objective), peakResidentBytes() / 1048576.0);
  std::fflush(stdout);
}

} // namespace precdp::bench

int main(int argc, char** argv) {
  using namespace precdp::bench;
  struct Section {
    const char* name;
    std::function<bool()> run;
  };
  const std::vector<Section> sections = {{"dp", runDpSection},
                                         {"theorems", runTheoremSection},
                                         {"sequences", runSequenceSection},
                                         {"bounded", runBoundedSection},
                                         {"threads", runThreadSection}};
  precdp::buildJobBits();
  std::vector<const char*> names;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
      workloadFilter = argv[++i];
    else
      names.push_back(argv[i]);
  }
  bool ok = true;
  for (const Section& section : sections) {
    bool chosen = names.empty();
    for (const char* name : names) chosen = chosen || std::strcmp(name, section.name) == 0;
    if (!chosen) continue;
    std::printf("== %s ==\n", section.name);
    ok = section.run() && ok;
  }
  return ok ? 0 : 1;
}
