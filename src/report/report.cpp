#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

namespace precdp {

char reportPath[reportPathSize] = "";
bool reportWriteFailed = false;
bool writeSequences = false;
uint64_t sequenceFaults = 0;

namespace {
bool lossReported = false; // the current class's warning has been printed
} // namespace

std::string timeStamp() {
  return localTimeStamp();
}

const char* theoremLabel(int precTheorem) {
  if (precTheorem == 0) return " - prec:None";
  if (precTheorem == 1) return " - prec:Kanet";
  return " - prec:Emmons";
}

std::string reportFileName(const std::string& stamp, int copy) {
  std::ostringstream name;
  name << "Reports/" << stamp << "-o=" << int{objType} << "-d=" << int{datasettype}
       << "-os=" << osField(osVal) << "-n=" << nVal;
  if (copy > 1) name << '-' << copy;
  name << ".txt";
  return name.str();
}

namespace {

// Creates the class's file under the first free name of `stamp`: two runs that start the same
// class in the same second (two theorems at once, a plan over many cores) must not truncate
// each other's rows. Exclusive creation makes the claim atomic across processes. When the file
// cannot be created at all, the plain name is returned and the failed writes are reported.
std::string claimReportFile(const std::string& stamp) {
  constexpr int maxCopies = 10000;
  for (int copy = 1; copy <= maxCopies; ++copy) {
    const std::string name = reportFileName(stamp, copy);
    if (std::FILE* file = std::fopen(name.c_str(), "wx")) {
      std::fclose(file);
      return name;
    }
    if (errno != EEXIST) break;
  }
  return reportFileName(stamp);
}

} // namespace

void startReport() {
  maxCPU = datasettype == 1 ? 3601.0 : 5401.0;
  std::cout << "obj=" << int{objType} << "-data=" << int{datasettype} << "-os=" << osField(osVal)
            << "-n=" << nVal << std::endl;
  makeDirectory("Reports"); // an existing directory is fine; a failure shows at the open
  const std::string name = claimReportFile(timeStamp());
  // The class tables keep the name below 60 characters; a longer one is cut, never overrun.
  const size_t length = std::min(name.size(), reportPathSize - 1);
  std::memcpy(reportPath, name.data(), length);
  reportPath[length] = '\0';

  lossReported = false;
  std::ofstream header(reportPath, std::ios::out | std::ios::trunc);
  header << "maxCPU=" << maxCPU << " - maxState=" << layerCapacity << theoremLabel(precTheorem)
         << (boundedRun ? " - bounded" : "") << std::endl;
  header << reportColumns << std::endl;
  closeReport(header);
  if (writeSequences) {
    const std::string sequencePath = sequenceFilePath(reportPath);
    if (!startSequenceFile(sequencePath)) reportSequenceFileFault(sequencePath);
  }
  std::printf("%s\n", reportColumns);
}

void openReportForAppend(std::ofstream& stream) {
  stream.open(reportPath, std::ios::out | std::ios::app);
  if (stream.is_open())
    stream.clear();
  else
    stream.setstate(std::ios::failbit);
}

void closeReport(std::ofstream& stream) {
  if (stream.is_open()) stream.close(); // sets failbit itself when the close fails
  if (!stream.fail()) return;
  reportWriteFailed = true;
  if (lossReported) return;
  lossReported = true;
  printMessage("Wrning: report file %s cannot be written; its lines are on the console only\n",
               reportPath);
}

std::string sequenceFilePath(const std::string& reportPath) {
  const std::string suffix = ".txt";
  const bool txt =
      reportPath.size() >= suffix.size() &&
      reportPath.compare(reportPath.size() - suffix.size(), suffix.size(), suffix) == 0;
  return (txt ? reportPath.substr(0, reportPath.size() - suffix.size()) : reportPath) + ".seq.tsv";
}

std::string sequenceLine(int Ins, int32_t obj,
                         const std::optional<std::vector<uint16_t>>& sequence) {
  std::string line = std::to_string(Ins) + '\t' + std::to_string(obj) + '\t';
  if (!sequence) return line + '-';
  for (size_t at = 0; at < sequence->size(); ++at) {
    if (at > 0) line += ' ';
    line += std::to_string((*sequence)[at]);
  }
  return line;
}

namespace {
bool writeLine(const std::string& path, const std::string& line, std::ios::openmode mode) {
  std::ofstream file(path, std::ios::out | mode);
  file << line << '\n';
  file.close();
  return !file.fail();
}
} // namespace

bool startSequenceFile(const std::string& path) {
  return writeLine(path, sequenceColumns, std::ios::trunc);
}

bool appendSequenceLine(const std::string& path, const std::string& line) {
  return writeLine(path, line, std::ios::app);
}

void reportSequenceFileFault(const std::string& path) {
  std::fprintf(stderr, "Error! sequence file %s cannot be written\n", path.c_str());
  ++sequenceFaults;
}

} // namespace precdp
