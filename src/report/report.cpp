#include "report/report.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>

namespace precdp {

char reportPath[reportPathSize] = "";
bool reportWriteFailed = false;

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

std::string reportFileName(const std::string& stamp) {
  std::ostringstream name;
  name << "Reports/" << stamp << "-o=" << int{objType} << "-d=" << int{datasettype}
       << "-os=" << osField(osVal) << "-n=" << nVal << ".txt";
  return name.str();
}

void startReport() {
  maxCPU = datasettype == 1 ? 3601.0 : 5401.0;
  std::cout << "obj=" << int{objType} << "-data=" << int{datasettype} << "-os=" << osField(osVal)
            << "-n=" << nVal << std::endl;
  makeDirectory("Reports"); // an existing directory is fine; a failure shows at the open
  const std::string name = reportFileName(timeStamp());
  // The class tables keep the name below 60 characters; a longer one is cut, never overrun.
  const size_t length = std::min(name.size(), reportPathSize - 1);
  std::memcpy(reportPath, name.data(), length);
  reportPath[length] = '\0';

  lossReported = false;
  std::ofstream header(reportPath, std::ios::out | std::ios::trunc);
  header << "maxCPU=" << maxCPU << " - maxState=" << layerCapacity << theoremLabel(precTheorem)
         << std::endl;
  header << reportColumns << std::endl;
  closeReport(header);
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

} // namespace precdp
