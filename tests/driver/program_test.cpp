// End-to-end runs of the built precdp executable in a scratch directory, with its dialogue
// answered from a file (so key waits return at once).
#include "driver/driver.h"
#include "gen/generator.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "support.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace precdp {
namespace {

using namespace testing;

const std::string prompts = "Enter 1 or 2 [1:start-over (full test) / 2:continue (choose "
                            "instance)] Choose precedence theorems [0:None / 1:Kanet (Default) / "
                            "2:Emmons] Choose OS threshold [0:No threshold (Default)] ";
const std::string columns = "Ins\tOS1\tOS2\tPPt\tCPU\tobj\tuas\tts";
const std::string readerFailure = "ERROR! instance reader failure! -main\n";

struct ProgramRun {
  int exitCode = -1;
  std::string console; // standard output and standard error
};

ProgramRun runProgram(const std::string& dialogue) {
  std::ofstream("dialogue.txt") << dialogue;
  const std::string program = std::string(PRECDP_BUILD_DIR) + "/precdp";
  if (!std::filesystem::exists(program)) ADD_FAILURE() << program << " is not built";
  // A run that hangs or floods the console (a dialogue that never gives up, say) is stopped:
  // at 120 s, or at 64 MiB of output (ulimit counts 512-byte blocks). Either fails the test.
  const std::string command =
      "ulimit -f 131072; exec timeout 120 '" + program + "' < dialogue.txt > console.txt 2>&1";
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.console = readTextFile("console.txt");
  return run;
}

void generate(gen::Family family, std::vector<int> n, std::vector<double> os, int count) {
  gen::TreePlan plan;
  plan.families = {family};
  plan.nValues = std::move(n);
  plan.osValues = std::move(os);
  plan.count = count;
  plan.settings.seed = 11;
  gen::TreeSummary summary;
  std::string error;
  ASSERT_TRUE(gen::writeTree(plan, summary, error)) << error;
}

// What the program printed after its last question.
std::string afterDialogue(const std::string& console) {
  const std::string last = "Choose OS threshold [0:No threshold (Default)] ";
  const size_t at = console.find(last);
  return at == std::string::npos ? std::string() : console.substr(at + last.size());
}

std::vector<std::string> linesIn(const std::string& text) {
  return split(text, '\n');
}
std::vector<std::string> fieldsIn(const std::string& line) {
  return split(line, '\t');
}

bool isNumber(const std::string& text, bool negativeAllowed = false) {
  const size_t first = negativeAllowed && text.starts_with("-") ? 1 : 0;
  return text.size() > first && text.find_first_not_of("0123456789", first) == std::string::npos;
}

// A console result row: Ins, OS1 and OS2 "%4.2f", PPt "%4.2f", CPU "%4.3f", obj, uas, ts.
bool isConsoleRow(const std::string& line) {
  const std::vector<std::string> at = fieldsIn(line);
  const auto decimals = [](const std::string& text, size_t count) {
    const size_t point = text.find('.');
    return point != std::string::npos && isNumber(text.substr(0, point)) &&
           text.size() == point + 1 + count && isNumber(text.substr(point + 1));
  };
  return at.size() == 8 && isNumber(at[0]) && fitsPattern(at[1], "#.##") &&
         fitsPattern(at[2], "#.##") && decimals(at[3], 2) && decimals(at[4], 3) &&
         isNumber(at[5], true) && isNumber(at[6]) && isNumber(at[7]);
}

std::vector<std::string> consoleRows(const std::string& console) {
  std::vector<std::string> rows;
  for (const std::string& line : linesIn(console))
    if (isConsoleRow(line)) rows.push_back(line);
  return rows;
}

std::vector<std::string> reportNames() {
  std::vector<std::string> names;
  if (!std::filesystem::is_directory("Reports")) return names;
  for (const auto& entry : std::filesystem::directory_iterator("Reports"))
    names.push_back("Reports/" + entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A file row shows the console row's values with 5 significant digits.
void expectSameRow(const std::string& consoleRow, const std::string& fileRow) {
  const std::vector<std::string> shown = fieldsIn(consoleRow), written = fieldsIn(fileRow);
  ASSERT_EQ(written.size(), 8u) << fileRow;
  for (int field : {0, 5, 6, 7}) EXPECT_EQ(written[field], shown[field]) << fileRow;
  for (int field : {1, 2, 3, 4}) {
    const double tolerance = field == 4 ? 0.0005 : 0.005;
    EXPECT_NEAR(std::stod(written[field]), std::stod(shown[field]), tolerance + 1e-9) << fileRow;
  }
}

TEST(Program, StartOverRunsTheFirstClassUntilItsFilesEnd) {
  ScratchDirectory scratch;
  generate(gen::Family::standard, {20}, {0.8}, 3);
  const ProgramRun run = runProgram("1\n1\n0\n");
  EXPECT_EQ(run.exitCode, 0);
  const std::vector<std::string> rows = consoleRows(run.console);
  ASSERT_EQ(rows.size(), 3u) << run.console;
  std::string expected = prompts + "obj=2-data=2-os=0.8-n=20\n" + columns + "\n";
  for (const std::string& row : rows) expected += row + "\n";
  expected +=
      "Sample file Instances/1-prec-wet Ins/20-0.8/20-0.8-4.txt not found! \n" + readerFailure;
  EXPECT_EQ(run.console, expected);
  for (int Ins = 1; Ins <= 3; ++Ins) EXPECT_EQ(fieldsIn(rows[Ins - 1])[0], std::to_string(Ins));

  const std::vector<std::string> names = reportNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(fitsPattern(names[0], "Reports/####.##.##-##.##.##-o=2-d=2-os=0.8-n=20.txt"))
      << names[0];
  const std::vector<std::string> lines = linesIn(readTextFile(names[0]));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "maxCPU=5401 - maxState=195000000 - prec:Kanet");
  EXPECT_EQ(lines[1], columns);
  for (int row = 0; row < 3; ++row) expectSameRow(rows[row], lines[2 + row]);
}

TEST(Program, ContinueWithVelmarSkipsTheStandardDatasetAndResetsTheThreshold) {
  ScratchDirectory scratch;
  // Order strength 1/3, below the entered threshold 1 that the skipped dataset resets.
  for (int Ins = 1; Ins <= 2; ++Ins) writeVelmarInstance(40, 0.2, Ins, threeJobs(), chainOf(1));
  const ProgramRun run = runProgram("2 1 0 6 1 0 1\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(afterDialogue(run.console).rfind("obj=2-data=1-os=0.2-n=40\n", 0), 0u) << run.console;
  const std::vector<std::string> rows = consoleRows(run.console);
  ASSERT_EQ(rows.size(), 2u) << run.console;
  for (const std::string& row : rows) EXPECT_NE(fieldsIn(row)[5], "-1") << row;
  EXPECT_NE(
      run.console.find("Sample file Instances/Data-Velmar/wet040/wet040_003.dat not found! \n" +
                       readerFailure),
      std::string::npos);
  const std::vector<std::string> names = reportNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_NE(names[0].find("-o=2-d=1-os=0.2-n=40.txt"), std::string::npos);
  EXPECT_EQ(linesIn(readTextFile(names[0]))[0], "maxCPU=3601 - maxState=195000000 - prec:None");
}

TEST(Program, RefusedAndUnreadableEntriesAreAskedAgainAndEndOfInputEndsTheRun) {
  ScratchDirectory scratch;
  // Mode, dataset, n, OS, instance, theorem, threshold, each refused first: out of range, or
  // not a number of its type (the rest of such a line is dropped; 99999 does not fit 16 bits).
  ProgramRun run = runProgram("0\nstart over\n2\n3\n2\n6\n99999\n0\nfour\n4\n0\n126\nx\n1\n"
                              "-2\nKanet\n1\n1.5\nnone\n0\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(countOf(run.console, "invalid entry; try again "), 13) << run.console;
  EXPECT_EQ(countOf(run.console, "n [0:20 / 1:40 / 2:60 / 3:80 / 4:100 / 5:120] "), 1);
  EXPECT_EQ(countOf(run.console, "instance number [1-125] "), 1);
  EXPECT_NE(run.console.find("obj=2-data=2-os=0.8-n=20\n"), std::string::npos);
  EXPECT_NE(run.console.find("20-0.8-1.txt not found! \n" + readerFailure), std::string::npos);

  std::filesystem::remove_all("Reports");
  for (const char* dialogue : {"", "2 2 1", "1 1 abc"}) {
    run = runProgram(dialogue);
    EXPECT_EQ(run.exitCode, 0) << dialogue;
    EXPECT_EQ(countOf(run.console, "ERROR! the input ended before the dialogue was complete"), 1)
        << run.console;
    EXPECT_EQ(run.console.find("obj="), std::string::npos) << run.console;
    EXPECT_FALSE(std::filesystem::exists("Reports")) << dialogue;
  }
}

TEST(Program, ContinueRunsTheChosenClassFromTheChosenInstanceAndAveragesOver125) {
  ScratchDirectory scratch;
  generate(gen::Family::standard, {20}, {0.8, 0.6}, 125);
  // Dataset 2, n 20, OS 0.6, instance 120; Emmons; no threshold.
  const ProgramRun run = runProgram("2 2 0 3 120 2 0\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(afterDialogue(run.console).rfind("obj=2-data=2-os=0.6-n=20\n", 0), 0u) << run.console;
  const std::vector<std::string> rows = consoleRows(run.console);
  ASSERT_EQ(rows.size(), 6u) << run.console;
  EXPECT_EQ(fieldsIn(rows[0])[0], "120");
  EXPECT_NE(run.console.find("20-0.4-1.txt not found! \n" + readerFailure), std::string::npos);
  const std::vector<std::string> names = reportNames();
  ASSERT_EQ(names.size(), 2u); // the class and the next one, which finds no files
  const std::string classFile =
      names[0].find("-os=0.6-") != std::string::npos ? names[0] : names[1];
  const std::vector<std::string> lines = linesIn(readTextFile(classFile));
  ASSERT_EQ(lines.size(), 2u + 6u + 7u);
  EXPECT_EQ(lines[0], "maxCPU=5401 - maxState=195000000 - prec:Emmons");
  EXPECT_EQ(lines[8], "");

  double sums[4] = {0, 0, 0, 0}; // OS1, OS2, PPt, CPU of the six rows
  for (int row = 0; row < 6; ++row) {
    expectSameRow(rows[row], lines[2 + row]);
    for (int column = 0; column < 4; ++column)
      sums[column] += std::stod(fieldsIn(lines[2 + row])[1 + column]);
  }
  const char* labels[6] = {"OS1_ave=", "OS2_ave=", "PP_ave=", "CPU_ave=", "PP=", "CPU="};
  const double expected[6] = {sums[0] / 125, sums[1] / 125, sums[2] / 125,
                              sums[3] / 125, sums[2],       sums[3]};
  std::string consoleBlock;
  for (int line = 0; line < 6; ++line) {
    const std::string& text = lines[9 + line];
    ASSERT_EQ(text.rfind(labels[line], 0), 0u) << text;
    const double value = std::stod(text.substr(std::strlen(labels[line])));
    EXPECT_NEAR(value, expected[line], 1e-4 * std::abs(expected[line]) + 1e-9) << text;
    std::ostringstream fiveDigits; // the written text is the value at precision 5
    fiveDigits.precision(5);
    fiveDigits << value;
    EXPECT_EQ(text, labels[line] + fiveDigits.str());
    char shown[64];
    std::snprintf(shown, sizeof shown, "%s%4.2f\n", labels[line], value);
    consoleBlock += shown;
  }
  EXPECT_GT(sums[0], 3.0); // six order strengths near 0.6: a divisor of 6 would show
  EXPECT_NE(run.console.find(rows[5] + "\n" + consoleBlock + "\nobj=2-data=2-os=0.4-n=20\n"),
            std::string::npos)
      << run.console;
}

TEST(Program, AnUnwritableReportDirectoryKeepsTheRowsOnTheConsole) {
  ScratchDirectory scratch;
  generate(gen::Family::standard, {20}, {0.8}, 2);
  std::ofstream("Reports") << "not a directory\n";
  const ProgramRun run = runProgram("1 1 0\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(consoleRows(run.console).size(), 2u) << run.console;
  EXPECT_EQ(countOf(run.console, "Wrning: report file Reports/"), 1) << run.console;
  EXPECT_NE(run.console.find("-o=2-d=2-os=0.8-n=20.txt cannot be written"), std::string::npos);
  EXPECT_NE(run.console.find(readerFailure), std::string::npos);
}

std::string classKey(int dataset, double os, int n) {
  return "-d=" + std::to_string(dataset) + "-os=" + osField(os) + "-n=" + std::to_string(n);
}

TEST(Program, AFullPlanWalksEveryClassInOrderAndEndsWithTheExitPrompt) {
  ScratchDirectory scratch;
  // Instance 1 of every class has order strength 0, the others 1 (but those of Velmar OS 0).
  std::vector<std::string> order;
  for (int dataset : {2, 1}) {
    const DatasetClasses& classes = *classesOf(dataset);
    for (uint16_t n : classes.nTable)
      for (size_t osIndex = classes.osTable.size(); osIndex-- > 0;) {
        const double os = classes.osTable[osIndex];
        order.push_back(classKey(dataset, os, n));
        for (int Ins = 1; Ins <= instancesPerClass; ++Ins) {
          const Arcs arcs = Ins == 1 ? Arcs{} : chainOf(2);
          if (dataset == 2)
            writeStandardInstance(n, os, Ins, threeJobs(), arcs);
          else if (os == 0) // the job file serves every order strength of its size
            writeVelmarInstance(n, os, Ins, threeJobs());
          else
            writeVelmarPrecedences(n, os, Ins, arcs);
        }
      }
  }
  ASSERT_EQ(order.size(), 51u);

  const ProgramRun run = runProgram("1 0 0.5\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(countOf(run.console, "rror"), 0);
  EXPECT_EQ(consoleRows(run.console).size(), 51u * 125u);
  const std::string end = "\nCPU=0.00\n\nPress any key to exit...\n";
  ASSERT_GE(run.console.size(), end.size());
  EXPECT_EQ(run.console.substr(run.console.size() - end.size()), end);

  std::vector<std::string> classLines;
  for (const std::string& line : linesIn(afterDialogue(run.console)))
    if (line.rfind("obj=", 0) == 0) classLines.push_back(line);
  ASSERT_EQ(classLines.size(), 51u);
  for (size_t at = 0; at < order.size(); ++at) // "-d=D-os=X-n=N" in "obj=2-data=D-os=X-n=N"
    EXPECT_EQ(classLines[at], "obj=2-data=" + order[at].substr(3)) << at;

  const std::vector<std::string> names = reportNames();
  ASSERT_EQ(names.size(), 51u);
  for (const std::string& key : order) {
    const auto name = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
      return name.ends_with(key + ".txt");
    });
    ASSERT_NE(name, names.end()) << key;
    const std::vector<std::string> lines = linesIn(readTextFile(*name));
    ASSERT_EQ(lines.size(), 2u + 125u + 7u) << key;
    EXPECT_EQ(fieldsIn(lines[2])[0], "1");
    EXPECT_EQ(fieldsIn(lines[126])[0], "125");
    EXPECT_EQ(lines[127], "");
    // The entered threshold 0.5 holds for the standard dataset only.
    const bool standard = key.starts_with("-d=2-");
    EXPECT_EQ(fieldsIn(lines[2])[5] == "-1", standard) << key;
    EXPECT_NE(fieldsIn(lines[3])[5], "-1") << key;
  }
}

} // namespace
} // namespace precdp
