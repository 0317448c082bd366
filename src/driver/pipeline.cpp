#include "driver/driver.h"

#include "dp/dp.h"
#include "graph/graph.h"
#include "instance/instance.h"
#include "platform/platform.h"
#include "report/report.h"
#include "theorems/theorems.h"

#include <cstdio>

namespace precdp {

int32_t objVal = -1;

bool insRead(int16_t Ins) {
  if (datasettype == 1) return readVelmarInstance(Ins);
  if (datasettype == 2) return readStandardInstance(Ins);
  printMessage("Error! insRead: unexpected datasettype!\n");
  waitKey();
  return false;
}

void writeFileRow(std::ofstream& reportStream, const ResultRow& row) {
  openReportForAppend(reportStream);
  reportStream.precision(5);
  reportStream << row.Ins << '\t' << row.OS1 << '\t' << row.OS2 << '\t' << row.PPt << '\t'
               << row.CPU << '\t' << row.obj << '\t' << row.uas << '\t' << row.ts << std::endl;
  closeReport(reportStream);
}

std::optional<std::vector<uint16_t>> dpSequenceInFilePositions() {
  std::optional<std::vector<uint16_t>> sequence = boundedRun ? boundedSequence() : tracedSequence();
  if (sequence)
    for (uint16_t& job : *sequence) job = filePosition[job];
  return sequence;
}

std::optional<std::vector<uint16_t>> checkSequence(const FileInstance& asRead,
                                                   std::vector<uint16_t> sequence, int32_t obj,
                                                   int16_t Ins) {
  const std::string fault = sequenceFault(asRead, sequence, obj);
  if (fault.empty()) return sequence;
  std::fprintf(stderr, "Error! sequence of instance %d: %s\n", Ins, fault.c_str());
  ++sequenceFaults;
  return std::nullopt;
}

void writeSequenceRow(const ResultRow& row, const std::optional<std::vector<uint16_t>>& sequence) {
  const std::string path = sequenceFilePath(reportPath);
  if (!appendSequenceLine(path, sequenceLine(row.Ins, row.obj, sequence)))
    reportSequenceFileFault(path);
}

namespace {

// The theorem pass chosen by precTheorem; 0 runs none.
void runTheoremPass() {
  if (precTheorem == 1)
    kanetPrec();
  else if (precTheorem == 2)
    emmonsPrec();
}

// Runs the DP (the bounded one in a --bounded run) when OS2 reaches the threshold (never for a
// NaN OS2) and raises the threshold to
// OS2 when it gives no result. A skipped instance gets the no-result mark in the result slot.
void solveUnlessBelowThreshold(double OS2) {
  if (OS2 >= osThreshold) {
    beginProgress();
    boundedRun ? dpSolveBounded() : dpSolve();
    endProgress();
    if (resultSlot() == -1) osThreshold = OS2;
  } else {
    resultSlot() = -1;
  }
}

} // namespace

bool runInstance(int16_t Ins, std::ofstream& reportStream, ClassSums& sums) {
  ResultRow row;
  row.Ins = Ins;
  resetInstance();
  if (!insRead(Ins)) {
    printMessage("ERROR! instance reader failure! -main\n");
    waitKey();
    return false;
  }
  std::optional<FileInstance> asRead; // the file's own jobs and relation, to check against
  if (writeSequences) asRead = snapshotFileInstance();
  computeTimeWindows();
  row.OS1 = orderStrength();
  // The console row is printed piece by piece: a pass's messages show where they occur.
  std::printf("%d\t%4.2f\t", Ins, row.OS1);

  startClock = clockTicks();
  runTheoremPass();
  row.PPt = secondsSince(startClock);
  if (precTheorem > 0) topoRelabel();
  row.OS2 = orderStrength();
  std::printf("%4.2f\t%4.2f\t", row.OS2, row.PPt);
  checkPrecGraph();

  startClock = clockTicks(); // the DP measures its limit maxCPU from here
  solveUnlessBelowThreshold(row.OS2);
  row.CPU = secondsSince(startClock);

  sums.OS1 += row.OS1;
  sums.OS2 += row.OS2;
  sums.PPt += row.PPt;
  sums.CPU += row.CPU;
  objVal = row.obj = resultSlot();
  row.uas = maxLayerSize;
  row.ts = totalStates;
  std::printf("%4.3f\t%d\t%u\t%llu\n", row.CPU, row.obj, row.uas,
              static_cast<unsigned long long>(row.ts));
  writeFileRow(reportStream, row);
  if (writeSequences) {
    std::optional<std::vector<uint16_t>> sequence;
    if (row.obj != -1) sequence = dpSequenceInFilePositions();
    if (sequence) sequence = checkSequence(*asRead, std::move(*sequence), row.obj, Ins);
    writeSequenceRow(row, sequence);
  }
  return true;
}

} // namespace precdp
