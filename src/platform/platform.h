// The thin layer between the bench and the operating system: messages and key waits, the clock,
// directories, local time stamps and the untouched reservation of large arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace precdp {

// ---- Messages and key waits -----------------------------------------------------------------
// Error and warning messages. On the console (the dialogue) they go to standard output, inside
// the rows where they occur; in the batch console they go to standard error, after whatever
// standard output holds so far, so pipes of rows stay clean.
void printMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Batch console: messages to standard error and no key waits. Off (the dialogue) at start.
void useBatchConsole(bool on);

// Flushes standard output, then waits for one key press without echo when standard input is a
// terminal (the terminal mode is restored before returning). When standard input is a pipe, a
// file or closed, it returns at once, so scripted runs never hang and never lose piped input.
// In the batch console it only flushes.
void waitKey();

// Number of waitKey calls so far in this process (whether or not they blocked).
uint64_t keyWaitCount();

// ---- Clock ----------------------------------------------------------------------------------
// Process CPU time in ticks. 64-bit, so a difference never wraps within any time limit.
int64_t clockTicks();
inline constexpr double clockTicksPerSecond = 1e9; // ticks are nanoseconds

// Seconds of CPU time since the reading startTicks.
inline double secondsSince(int64_t startTicks) {
  return static_cast<double>(clockTicks() - startTicks) / clockTicksPerSecond;
}

// Seconds on a steady wall clock from an arbitrary origin.
double wallSeconds();

// CPU seconds of the calling thread alone (the process clock sums all threads).
double threadSeconds();

// Makes every later clockTicks reading advance by exactly stepTicks from the previous one, so a
// time limit can be reached after a known number of readings. 0 restores the real clock.
void useSteppedClock(int64_t stepTicks);

// ---- Files and time stamps ------------------------------------------------------------------
// Creates one directory level; an existing directory is not an error. False on failure.
bool makeDirectory(const char* path);

// Makes `path` the working directory. False (errno set) when it cannot be entered.
bool changeDirectory(const char* path);

// True when standard error is a terminal.
bool standardErrorIsTerminal();

// Current local time as "%Y.%m.%d-%H.%M.%S"; empty if it cannot be formatted.
std::string localTimeStamp();

// ---- Memory ---------------------------------------------------------------------------------
// Asks the kernel to back [start, start + bytes) with transparent huge pages where it can.
// Only whole 2 MiB-aligned extents inside the range are affected; nothing is touched.
void adviseHugePages(void* start, size_t bytes);

// Physical memory of the machine, in bytes; 0 when it cannot be read.
uint64_t physicalMemoryBytes();

// Peak resident set size of this process, in bytes.
uint64_t peakResidentBytes();

} // namespace precdp
