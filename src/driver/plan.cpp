#include "driver/driver.h"

#include "dp/dp.h"
#include "instance/instance.h"
#include "platform/platform.h"
#include "report/report.h"

#include <cstdio>
#include <iostream>

namespace precdp {

namespace {

constexpr uint16_t velmarN[] = {40, 50, 100};
constexpr double velmarOs[] = {0, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2};
constexpr uint16_t standardN[] = {20, 40, 60, 80, 100, 120};
constexpr double standardOs[] = {0, 0.2, 0.4, 0.6, 0.8};

constexpr DatasetClasses velmarClasses{"Velmar dataset", velmarN, velmarOs, "velmar"};
constexpr DatasetClasses standardClasses{"standard dataset", standardN, standardOs, "standard"};

// The order strengths a class may have, apart from the tables that drive the loops.
constexpr double velmarOsList[] = {0.2, 0.1, 0.05, 0.02, 0.01, 0.005, 0};
constexpr double standardOsList[] = {0, 0.2, 0.4, 0.6, 0.8};

// Whether the loops skip a position: only in the continue mode, before the chosen instance.
bool skipped(const MenuChoice& choice, int position, int chosen) {
  return choice.continueMode && position != chosen;
}

// Runs the instances of the current class from the chosen one on. False after a reader failure.
bool runClassInstances(MenuChoice& choice, std::ofstream& reportStream, ClassSums& sums) {
  for (int16_t Ins = 1; Ins <= instancesPerClass; ++Ins) {
    if (choice.continueMode && Ins < choice.instance) continue;
    choice.continueMode = false; // the chosen instance: everything after it runs in full
    if (!runInstance(Ins, reportStream, sums)) return false;
  }
  return true;
}

// One class of the current dataset: report file, check, instances, averages.
bool runClass(MenuChoice& choice, std::ofstream& reportStream) {
  startReport();
  ClassSums sums;
  if (!validClass()) {
    printMessage("ERROR! osVal=%4.3f and/or nVal=%d not valid", osVal, int{nVal});
    waitKey();
    return false;
  }
  if (!runClassInstances(choice, reportStream, sums)) return false;
  writeAverages(reportStream, sums);
  return true;
}

// Every class of datasettype from the choice on; osThreshold is 0 afterwards, also when the
// whole dataset was skipped.
bool runDataset(MenuChoice& choice, std::ofstream& reportStream) {
  const DatasetClasses& classes = *classesOf(datasettype);
  if (!skipped(choice, datasettype, choice.dataset)) {
    for (int nIndex = 0; nIndex < static_cast<int>(classes.nTable.size()); ++nIndex) {
      if (skipped(choice, nIndex, choice.nIndex)) continue;
      nVal = classes.nTable[nIndex];
      for (int osIndex = static_cast<int>(classes.osTable.size()) - 1; osIndex >= 0; --osIndex) {
        if (skipped(choice, osIndex, choice.osIndex)) continue;
        osVal = classes.osTable[osIndex];
        if (!runClass(choice, reportStream)) return false;
      }
    }
  }
  osThreshold = 0;
  return true;
}

} // namespace

const DatasetClasses* classesOf(int datasettype) {
  if (datasettype == 1) return &velmarClasses;
  if (datasettype == 2) return &standardClasses;
  return nullptr;
}

bool validClass() {
  std::span<const double> list;
  if (datasettype == 1)
    list = velmarOsList;
  else if (datasettype == 2)
    list = standardOsList;
  for (double os : list)
    if (osVal == os) return true;
  return false;
}

std::vector<PlanClass> planClasses() {
  std::vector<PlanClass> classes;
  for (uint8_t dataset : {2, 1}) {
    const DatasetClasses& tables = *classesOf(dataset);
    for (uint16_t n : tables.nTable)
      for (auto os = tables.osTable.rbegin(); os != tables.osTable.rend(); ++os)
        classes.push_back({dataset, n, *os});
  }
  return classes;
}

std::string className(const PlanClass& planClass) {
  return std::string(classesOf(planClass.datasettype)->key) + " " + std::to_string(planClass.n) +
         " " + osField(planClass.os);
}

// The dialogue divides by 125 also when the continue mode skipped the first instances.
void writeAverages(std::ofstream& reportStream, const ClassSums& sums, double count) {
  const double values[6] = {sums.OS1 / count, sums.OS2 / count, sums.PPt / count,
                            sums.CPU / count, sums.PPt,         sums.CPU};
  const char* labels[6] = {"OS1_ave=", "OS2_ave=", "PP_ave=", "CPU_ave=", "PP=", "CPU="};
  openReportForAppend(reportStream);
  reportStream.precision(5);
  reportStream << '\n';
  for (int line = 0; line < 6; ++line) reportStream << labels[line] << values[line] << std::endl;
  closeReport(reportStream);
  std::printf("OS1_ave=%4.2f\nOS2_ave=%4.2f\nPP_ave=%4.2f\nCPU_ave=%4.2f\nPP=%4.2f\nCPU=%4.2f\n\n",
              values[0], values[1], values[2], values[3], values[4], values[5]);
}

bool runPlan(MenuChoice choice, std::ofstream& reportStream) {
  for (int dataset : {2, 1}) {
    datasettype = static_cast<uint8_t>(dataset);
    if (!runDataset(choice, reportStream)) return false;
  }
  datasettype = 0;
  return true;
}

int runBench(std::istream& entries) {
  std::ofstream reportStream; // bound to a report file only around each append
  datasettype = 2;
  objType = 2;
  osThreshold = 0;
  const std::optional<MenuChoice> choice = runMenu(entries);
  if (!choice) return 0;
  enableProgressLine(true);
  if (!initTables()) { // its message names the memory it needs
    waitKey();
    return 0;
  }
  // An error stop ends the run at once: the store stays, and no exit prompt is printed.
  if (!runPlan(*choice, reportStream)) return 0;
  releaseTables();
  return 0;
}

} // namespace precdp
