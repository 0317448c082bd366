// precdp-gen: writes the instance files that precdp reads, below --root (default: the current
// directory). Without options: the full default tree of both datasets, 125 instances a class.
#include "gen/generator.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>

namespace {

using namespace precdp::gen;

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Writes the benchmark instance tree that precdp reads: the standard dataset below "
      "\"Instances/1-prec-wet Ins/\", the Velmar dataset below \"Instances/Data-Velmar/\"."};
  TreePlan plan;
  std::string family = "all";
  app.add_option("--root", plan.root, "directory that receives Instances/")->capture_default_str();
  app.add_option("--family", family, "dataset to write")
      ->check(CLI::IsMember({"standard", "velmar", "all"}))
      ->capture_default_str();
  app.add_option("--n", plan.nValues, "job counts (default: each dataset's own)")
      ->check(CLI::Range(1, 120));
  app.add_option("--os", plan.osValues, "order strengths (default: each dataset's own)")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--count", plan.count, "instances 1..K of every class")
      ->check(CLI::Range(1, 999))
      ->capture_default_str();
  app.add_option("--seed", plan.settings.seed, "random seed; the same seed writes the same bytes")
      ->capture_default_str();
  app.add_flag("--redundant-arcs", plan.settings.redundantArcs,
               "list every ordered pair of the closure, not only the direct arcs");
  app.add_flag("--shuffle-jobs", plan.settings.shuffledNumbering,
               "number the jobs at random instead of topologically");
  CLI11_PARSE(app, argc, argv);
  if (family == "standard") plan.families = {Family::standard};
  if (family == "velmar") plan.families = {Family::velmar};

  // Progress goes to standard error once the run has taken longer than a moment.
  const double start = wallSeconds();
  const auto progress = [&](const std::string& done) {
    if (wallSeconds() - start > 1.0) std::fprintf(stderr, "precdp-gen: %s done\n", done.c_str());
  };
  TreeSummary summary;
  std::string error;
  if (!writeTree(plan, summary, error, progress)) {
    std::fprintf(stderr, "precdp-gen: %s\n", error.c_str());
    return 1;
  }
  std::printf("precdp-gen: %lld files, %.1f MB below %s in %.2f s\n",
              static_cast<long long>(summary.files), summary.bytes / 1e6, plan.root.c_str(),
              wallSeconds() - start);
  for (const auto& [n, deviation] : summary.maxOsDeviation)
    std::printf("  n %3d: largest |order strength - class value| %.6f\n", n, deviation);
  return 0;
}
