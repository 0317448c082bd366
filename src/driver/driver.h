// Experiment driver: the start dialogue, the loops over datasets, classes and instances, the
// class averages, and the pipeline that carries one instance from its file to its result row.
#pragma once

#include "dp/dp.h"
#include "instance/instance.h"

#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace precdp {

// ---- Instance classes -----------------------------------------------------------------------
// The classes of one dataset: every n of nTable with every OS of osTable, 125 instances each.
struct DatasetClasses {
  const char* name; // as the menu shows it
  std::span<const uint16_t> nTable;
  std::span<const double> osTable;
  const char* key; // as the command line and the class lists name it: "standard", "velmar"
};

inline constexpr int16_t instancesPerClass = 125;

// The classes of datasettype 1 (Velmar) or 2 (standard); nullptr for any other value.
const DatasetClasses* classesOf(int datasettype);

// True when osVal is one of the order strengths of the current datasettype, compared exactly.
bool validClass();

// One class of the plan.
struct PlanClass {
  uint8_t datasettype;
  uint16_t n;
  double os;
};

// The plan's 51 classes in run order: standard, then Velmar; n upward; OS downward.
std::vector<PlanClass> planClasses();

// "standard 20 0.8": the dataset's key, n, and OS as in the file names.
std::string className(const PlanClass& planClass);

// ---- Instance pipeline ----------------------------------------------------------------------
// Sums over the instances of the current class that ran, in the row's units; averaged over 125.
struct ClassSums {
  double OS1 = 0, OS2 = 0, PPt = 0, CPU = 0;
};

// One result row. PPt and CPU are seconds of CPU time.
struct ResultRow {
  int16_t Ins = 0;
  double OS1 = 0, OS2 = 0, PPt = 0, CPU = 0;
  int32_t obj = -1;
  uint32_t uas = 0;
  uint64_t ts = 0;
};

extern int32_t objVal; // obj of the latest row: the DP's optimum, or -1 for no result

// Reads instance Ins of the current class with the reader of datasettype.
bool insRead(int16_t Ins);

// Appends `row` to the report file: tab-separated, doubles with 5 significant digits.
void writeFileRow(std::ofstream& reportStream, const ResultRow& row);

// Resets, reads, strengthens, relabels, validates and solves instance Ins of the current class
// (the DP only when OS2 reaches osThreshold, which is raised to OS2 when the DP gives no
// result), prints its console row, appends its file row and adds it to `sums`. False after a
// reader failure, when the run must end.
bool runInstance(int16_t Ins, std::ofstream& reportStream, ClassSums& sums);

// ---- Optimal sequences ----------------------------------------------------------------------
// With writeSequences (report.h) every result row gets a line in the companion file: the DP's
// sequence in file positions once it passed the check, "-" otherwise.

// The last run's optimal sequence (dpSolve's, or dpSolveBounded's in a bounded run) in
// processing order as 0-based file positions (the relabeling undone); empty when it kept none.
std::optional<std::vector<uint16_t>> dpSequenceInFilePositions();

// `sequence` when it is a schedule of `asRead` with weighted tardiness obj. Otherwise prints
// "Error! sequence of instance <Ins>: <fault>" on standard error, counts a sequence fault and
// returns nothing.
std::optional<std::vector<uint16_t>>
checkSequence(const FileInstance& asRead, std::vector<uint16_t> sequence, int32_t obj, int16_t Ins);

// Appends the companion line of `row` (with `sequence`, checked or empty) to the file next to
// reportPath; a line that cannot be written is a sequence fault.
void writeSequenceRow(const ResultRow& row, const std::optional<std::vector<uint16_t>>& sequence);

// ---- Experiment plan ------------------------------------------------------------------------
// The menu's answer. In the continue mode, the next instance to run: the dataset, positions in
// its nTable and osTable, and the instance number; all -1 in the start-over mode.
struct MenuChoice {
  bool continueMode = false;
  int16_t dataset = -1;
  int16_t nIndex = -1;
  int16_t osIndex = -1;
  int16_t instance = -1;
};

// Runs the start dialogue on `entries` (prompts on standard output) and sets precTheorem and
// osThreshold. Refused or unreadable entries are asked again; empty when the input ends.
std::optional<MenuChoice> runMenu(std::istream& entries);

// "n [0:20 / 1:40 / ...] " and "OS [0:0 / 1:0.2 / ...] " of a dataset.
std::string nPrompt(const DatasetClasses& classes);
std::string osPrompt(const DatasetClasses& classes);

// Writes the six class averages over `count` instances to the report file and the console.
void writeAverages(std::ofstream& reportStream, const ClassSums& sums,
                   double count = instancesPerClass);

// Walks every class of both datasets (standard first, then Velmar; n upward, OS downward) from
// the menu's choice on. False after an error stop (a reader failure or an invalid class).
bool runPlan(MenuChoice choice, std::ofstream& reportStream);

// The whole program on the dialogue's input: menu, store, plan, release. Always returns 0.
int runBench(std::istream& entries);

// ---- Progress line --------------------------------------------------------------------------
// While a DP runs for more than a second, one line on standard error, redrawn a few times a
// second and erased when the DP ends, before the rest of its row is printed. Only when standard
// error is a terminal: logs and pipes never see it. Off until enabled.
void enableProgressLine(bool on);
void beginProgress();
void endProgress();

// ---- Batch mode -----------------------------------------------------------------------------
inline constexpr const char* precdpVersion = "precdp 1.0";

// The trace store's default size: a quarter of physical memory, at most 8 GiB.
uint64_t defaultSequenceMemory();

// A byte count: decimal digits with an optional suffix K, M or G (2^10, 2^20, 2^30). Empty when
// the text is no such count or the count does not fit 64 bits.
std::optional<uint64_t> parseByteSize(const std::string& text);

// Every setting of a batch run; the defaults are those of a run without options.
struct BatchOptions {
  std::vector<PlanClass> classes = planClasses(); // selected classes, in plan order
  int16_t firstInstance = 1;                      // instances firstInstance..lastInstance of
  int16_t lastInstance = instancesPerClass;       // every class
  int32_t precTheorem = 0;                        // 0 none, 1 Kanet, 2 Emmons
  double threshold = 0;              // osThreshold at the start of the first dataset run
  std::string root = ".";            // holds Instances/; receives Reports/
  uint32_t storeCapacity = maxState; // states per layer of the DP store
  bool bounded = false;              // solve with the bounded DP
  bool listClasses = false;
  bool quiet = false;                                // no progress line
  bool sequences = false;                            // companion files of optimal sequences
  uint64_t sequenceMemory = defaultSequenceMemory(); // bytes of the trace store
  unsigned threads = 1;                              // of each DP stage; 0 is one per core
};

// Reads the command line into `options` without any I/O. -1: the run goes on. Otherwise the
// exit code, with `output` holding what to print: help, version or class list (0, standard
// output), or a usage error, one line naming the problem and a hint to --help (2, standard error).
int parseBatchOptions(int argc, const char* const* argv, BatchOptions& options,
                      std::string& output);

// The program with arguments: no dialogue and no key waits, messages on standard error, one
// line per class there. 0 when every selected instance got its row; 1 when the run stopped early
// or a report file could not be written; 2 for a usage error (nothing read, written or reserved).
int runBatch(int argc, const char* const* argv);

} // namespace precdp
