#include "driver/driver.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "platform/platform.h"
#include "report/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace precdp {

namespace {

// One class of a batch run: report file, instances, averages, and its line on standard error.
// False when an instance could not be read and the run must end.
bool runBatchClass(const BatchOptions& options, std::ofstream& reportStream) {
  const int64_t cpuStart = clockTicks();
  const double wallStart = wallSeconds();
  startReport();
  ClassSums sums;
  int rows = 0, solved = 0;
  bool complete = true;
  for (int16_t Ins = options.firstInstance; Ins <= options.lastInstance && complete; ++Ins) {
    complete = runInstance(Ins, reportStream, sums);
    if (!complete) break;
    ++rows;
    if (objVal != -1) ++solved;
  }
  // Averages over the instances run, so a range gives the averages of that range.
  if (complete) writeAverages(reportStream, sums, rows);
  printMessage("class %s: %d rows, %d solved, CPU %.2f s, wall %.2f s%s\n",
               className({datasettype, nVal, osVal}).c_str(), rows, solved, secondsSince(cpuStart),
               wallSeconds() - wallStart, complete ? "" : " (the run stops here)");
  return complete;
}

// The selected classes in plan order. The threshold holds from the first class and goes back to
// 0 after the last class of each dataset, as in the dialogue's full run.
int runSelectedClasses(const BatchOptions& options) {
  std::ofstream reportStream; // bound to a report file only around each append
  osThreshold = options.threshold;
  const std::vector<PlanClass>& classes = options.classes;
  for (size_t index = 0; index < classes.size(); ++index) {
    datasettype = classes[index].datasettype;
    nVal = classes[index].n;
    osVal = classes[index].os;
    if (!runBatchClass(options, reportStream)) return 1;
    if (index + 1 == classes.size() || classes[index + 1].datasettype != datasettype)
      osThreshold = 0;
  }
  datasettype = 0;
  return reportWriteFailed ? 1 : 0;
}

// Reserves the trace store and turns the companion files on.
bool startSequences(uint64_t bytes) {
  if (!allocateTrace(bytes)) {
    std::fprintf(stderr, "precdp: --sequence-memory: %llu bytes cannot be reserved\n",
                 static_cast<unsigned long long>(bytes));
    return false;
  }
  writeSequences = true;
  sequenceFaults = 0;
  return true;
}

} // namespace

int runBatch(int argc, const char* const* argv) {
  BatchOptions options;
  std::string output;
  const int parsed = parseBatchOptions(argc, argv, options, output);
  if (parsed >= 0) {
    std::fputs(output.c_str(), parsed == 0 ? stdout : stderr);
    return parsed;
  }
  if (!changeDirectory(options.root.c_str())) {
    std::fprintf(stderr,
                 "precdp: --root: '%s' cannot be entered: %s\n"
                 "Run 'precdp --help' for the options.\n",
                 options.root.c_str(), std::strerror(errno));
    return 2;
  }
  useBatchConsole(true);
  // Each row reaches a pipe or file as soon as it is complete, so an interrupt loses none.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  enableProgressLine(!options.quiet);
  objType = 2;
  precTheorem = options.precTheorem;
  boundedRun = options.bounded;
  buildJobBits();
  if (!allocateStore(options.storeCapacity)) return 1;
  if (options.sequences && !startSequences(options.sequenceMemory)) {
    freeStore();
    return 1;
  }
  dpThreads =
      options.threads != 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  int code = runSelectedClasses(options);
  if (options.sequences) {
    if (sequenceFaults > 0) code = 1;
    writeSequences = false;
    freeTrace();
  }
  freeStore();
  dpThreads = 1;
  return code;
}

} // namespace precdp
