// Runs of the built precdp executable in the working directory, bounded in time and output.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "support.h"

namespace precdp::testing {

struct ProgramOutput {
  int exitCode = -1;
  std::string out; // standard output, and standard error when it was merged
  std::string err;
};

inline bool hasDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// A console result row: Ins, OS1 and OS2 "%4.2f", PPt "%4.2f", CPU "%4.3f", obj, uas, ts (every
// time in these runs is below 10 s).
inline bool isConsoleRow(const std::string& line) {
  const std::vector<std::string> at = split(line, '\t');
  return at.size() == 8 && hasDigits(at[0]) && fitsPattern(at[1], "#.##") &&
         fitsPattern(at[2], "#.##") && fitsPattern(at[3], "#.##") && fitsPattern(at[4], "#.###") &&
         (at[5] == "-1" || hasDigits(at[5])) && hasDigits(at[6]) && hasDigits(at[7]);
}

// The result rows among the lines of `text`.
inline std::vector<std::string> consoleRows(const std::string& text) {
  std::vector<std::string> rows;
  for (const std::string& line : split(text, '\n'))
    if (isConsoleRow(line)) rows.push_back(line);
  return rows;
}

// The fields of each result row with the timings PPt and CPU blanked: what two runs of the same
// instances must agree on.
inline std::vector<std::vector<std::string>> untimedRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& row : consoleRows(text)) {
    rows.push_back(split(row, '\t'));
    rows.back()[3] = rows.back()[4] = "";
  }
  return rows;
}

inline std::string precdpPath() {
  const std::string program = std::string(PRECDP_BUILD_DIR) + "/precdp";
  if (!std::filesystem::exists(program)) ADD_FAILURE() << program << " is not built";
  return program;
}

// Runs `command` (a shell command line) with standard input from `input`. A run that hangs or
// floods the console is stopped: at 120 s, or at 64 MiB of output (ulimit counts 512-byte
// blocks). Either fails the test.
inline ProgramOutput runCommand(const std::string& command, const std::string& input,
                                bool mergeErrors) {
  const std::string shell = "ulimit -f 131072; exec timeout 120 " + command + " < " + input +
                            (mergeErrors ? " > out.txt 2>&1" : " > out.txt 2> err.txt");
  const int status = std::system(shell.c_str());
  ProgramOutput run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readTextFile("out.txt");
  run.err = mergeErrors ? "" : readTextFile("err.txt");
  return run;
}

// The shell command that runs precdp with `arguments` (shell words).
inline std::string precdpCommand(const std::string& arguments) {
  return std::string("'").append(precdpPath()).append("' ").append(arguments);
}

// precdp with `arguments` and no standard input, the two outputs apart.
inline ProgramOutput runBatchProgram(const std::string& arguments) {
  return runCommand(precdpCommand(arguments), "/dev/null", false);
}

} // namespace precdp::testing
