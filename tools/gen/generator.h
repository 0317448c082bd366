// Instance generator: random instances of the standard and the Velmar dataset, in memory, in
// the instance tables, or as the files the readers expect.
//
// The data of one instance depend only on (seed, family, n, order strength, instance number);
// for the Velmar family the job data do not depend on the order strength either, since all
// order strengths of a size share one job file. A subset of a tree is therefore byte-identical
// to the same files of the full tree.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace precdp::gen {

enum class Family { standard, velmar };

struct GeneratorSettings {
  uint64_t seed = 1;
  bool redundantArcs = false;     // list every ordered pair of the closure, not the direct arcs
  bool shuffledNumbering = false; // number the jobs at random instead of topologically
};

struct GeneratedJob {
  uint16_t p, dueDate, earlinessWeight, tardinessWeight;
};

struct GeneratedInstance {
  Family family = Family::standard;
  int n = 0;
  double os = 0; // the class's order strength
  int instanceNo = 1;
  std::vector<GeneratedJob> jobs;
  std::vector<std::pair<int, int>> arcs; // (before, after), ascending; the arcs the files list
  int orderedPairs = 0;                  // pairs ordered by the transitive closure of `arcs`
};

// Due-date parameters of instance k = 1, 2, ...: five instances per (TF, RDD) pair,
// TF = 0.2 (1 + ((k-1) mod 25) div 5) and RDD = 0.2 (1 + (k-1) div 25), both in fifths.
int tardinessFactorFifths(int instanceNo);
int dueDateRangeFifths(int instanceNo);

// The number of ordered pairs nearest to os x n(n-1)/2.
int targetOrderedPairs(int n, double os);

// Processing times 1..100, both weights 1..10, due dates uniform in
// [P(1 - TF - RDD/2), P(1 - TF + RDD/2)] clipped at 0, P the total processing time; a random
// acyclic relation whose closure orders exactly targetOrderedPairs(n, os) pairs. n in 1..120.
GeneratedInstance generateInstance(const GeneratorSettings& settings, Family family, int n,
                                   double os, int instanceNo);

// File contents, in the formats the readers expect.
std::string standardFileText(const GeneratedInstance& instance);
std::string velmarJobFileText(const GeneratedInstance& instance);
std::string velmarPrecedenceFileText(const GeneratedInstance& instance);

// resetInstance, then the jobs and the arcs (through addPrec) into the instance tables.
// jobBit must be built.
void loadGeneratedInstance(const GeneratedInstance& instance);

// Writes `text` to root/path, creating the directories on the way. False with `error` set when
// the file cannot be written completely.
bool writeTextFile(const std::string& root, const std::string& path, const std::string& text,
                   std::string& error);

// ---- Trees of instance files ----------------------------------------------------------------
extern const std::vector<int> standardNValues;     // 20, 40, ..., 120
extern const std::vector<double> standardOsValues; // 0, 0.2, 0.4, 0.6, 0.8
extern const std::vector<int> velmarNValues;       // 40, 50, 100
extern const std::vector<double> velmarOsValues;   // 0.005, 0.01, 0.02, 0.05, 0.1, 0.2

struct TreePlan {
  std::string root = ".";
  std::vector<Family> families = {Family::standard, Family::velmar};
  std::vector<int> nValues;     // empty: each family's own list
  std::vector<double> osValues; // empty: each family's own list
  int count = 125;              // instances 1..count of every class
  GeneratorSettings settings;
};

struct TreeSummary {
  int64_t files = 0;
  int64_t bytes = 0;
  std::map<int, double> maxOsDeviation; // per n: largest |order strength - class value|
};

// Writes every file of the plan. A Velmar order strength of 0 writes no precedence files (the
// reader opens none). `progress` is called after each class with a short description of it.
bool writeTree(const TreePlan& plan, TreeSummary& summary, std::string& error,
               const std::function<void(const std::string&)>& progress = {});

} // namespace precdp::gen
