// Reporting: one tab-separated report file per instance class under "Reports/", its name, its
// two header lines and the DP time limit of the class.
#pragma once

#include <cstddef>
#include <fstream>
#include <string>

namespace precdp {

inline constexpr size_t reportPathSize = 80; // bytes of reportPath, terminating zero included
inline constexpr const char* reportColumns = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts";

// Relative path of the current class's report file; set by startReport, read by every append.
extern char reportPath[reportPathSize];
// Set when a header, row or averages block could not be written; never cleared by the bench.
extern bool reportWriteFailed;

// Current local time as "%Y.%m.%d-%H.%M.%S"; empty when it cannot be formatted.
std::string timeStamp();

// " - prec:None", " - prec:Kanet" or " - prec:Emmons" (every other value).
const char* theoremLabel(int precTheorem);

// "Reports/<time stamp>-o=<objType>-d=<datasettype>-os=<osVal>-n=<nVal>.txt"; a copy above 1
// adds "-<copy>" before ".txt".
std::string reportFileName(const std::string& stamp, int copy = 1);

// Starts the current class: sets maxCPU, prints the class line, creates the report file with
// its two header lines (line 1 shows the store's capacity in use) under the first name of the
// time stamp that no file has yet ("-2", "-3", ... before ".txt" when taken) and prints the
// column header.
void startReport();

// Binds `stream` to reportPath for appending. When that fails the stream is left failed, so
// the writes that follow do nothing; closeReport then tells the user.
void openReportForAppend(std::ofstream& stream);

// Unbinds `stream`. When the open, a write or the close failed, prints one warning naming the
// file, at most once per class: the console lines are then the only record.
void closeReport(std::ofstream& stream);

} // namespace precdp
