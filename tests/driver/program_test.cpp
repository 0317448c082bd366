// End-to-end runs of the built precdp executable in a scratch directory, with its dialogue
// answered from a file (so key waits return at once).
#include "driver/driver.h"
#include "gen/generator.h"
#include "instance/instance.h"
#include "instance_files.h"
#include "program_run.h"
#include "support.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

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
  std::string console;           // standard output and standard error
  std::vector<std::string> rows; // the console's result rows
  std::string afterDialogue;     // what it printed after its last question
};

ProgramRun runProgram(const std::string& dialogue) {
  writeTextFile("dialogue.txt", dialogue);
  const ProgramOutput output = runCommand(precdpCommand(""), "dialogue.txt", true);
  ProgramRun run;
  run.exitCode = output.exitCode;
  run.console = output.out;
  run.rows = consoleRows(run.console);
  const std::string last = "Choose OS threshold [0:No threshold (Default)] ";
  const size_t at = run.console.find(last);
  if (at != std::string::npos) run.afterDialogue = run.console.substr(at + last.size());
  return run;
}

// A file row shows the console row's values with 5 significant digits.
void expectSameRow(const std::string& consoleRow, const std::string& fileRow) {
  const std::vector<std::string> shown = split(consoleRow, '\t'), written = split(fileRow, '\t');
  ASSERT_EQ(written.size(), 8u) << fileRow;
  for (int field : {0, 5, 6, 7}) EXPECT_EQ(written[field], shown[field]) << fileRow;
  for (int field : {1, 2, 3, 4})
    EXPECT_NEAR(std::stod(written[field]), std::stod(shown[field]), field == 4 ? 0.0005 : 0.005)
        << fileRow;
}

TEST(Program, StartOverRunsTheFirstClassUntilItsFilesEndWithOrWithoutItsReportFile) {
  ScratchDirectory scratch;
  generateStandard20({0.8}, 3);
  const ProgramRun run = runProgram("1\n1\n0\n");
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.rows.size(), 3u) << run.console;
  std::string expected = prompts + "obj=2-data=2-os=0.8-n=20\n" + columns + "\n";
  for (int Ins = 1; Ins <= 3; ++Ins) {
    expected += run.rows[Ins - 1] + "\n";
    EXPECT_EQ(split(run.rows[Ins - 1], '\t')[0], std::to_string(Ins));
  }
  expected +=
      "Sample file Instances/1-prec-wet Ins/20-0.8/20-0.8-4.txt not found! \n" + readerFailure;
  EXPECT_EQ(run.console, expected);

  const std::vector<std::string> names = reportNames();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(fitsPattern(names[0], "Reports/####.##.##-##.##.##-o=2-d=2-os=0.8-n=20.txt"))
      << names[0];
  const std::vector<std::string> lines = split(readTextFile(names[0]), '\n');
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "maxCPU=5401 - maxState=195000000 - prec:Kanet");
  EXPECT_EQ(lines[1], columns);
  for (int row = 0; row < 3; ++row) expectSameRow(run.rows[row], lines[2 + row]);

  // The batch mode gives the same rows but for the timings, and stops at the missing file with
  // exit 1, its messages on standard error and the rows before it in the report file.
  std::filesystem::remove_all("Reports");
  const ProgramOutput batch = runBatchProgram("--n 20 --instances 1-4 --theorem kanet "
                                              "--max-state 5000");
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_EQ(untimedRows(batch.out), untimedRows(run.console)) << batch.out;
  EXPECT_EQ(batch.out.find("rror"), std::string::npos) << batch.out;
  EXPECT_TRUE(batch.err.starts_with("Sample file Instances/1-prec-wet Ins/20-0.8/20-0.8-4.txt "
                                    "not found! \n" +
                                    readerFailure +
                                    "class standard 20 0.8: 3 rows, 3 solved, CPU "))
      << batch.err;
  EXPECT_EQ(reportLines("-o=2-d=2-os=0.8-n=20.txt").size(), 5u);

  // Where the report directory cannot be made the rows stay on the console, one warning names
  // the file, and the batch mode ends with exit 1.
  std::filesystem::remove_all("Reports");
  writeTextFile("Reports", "not a directory\n");
  const ProgramOutput unwritableBatch =
      runBatchProgram("--n 20 --os 0.8,0.6 --instances 1-3 --max-state 5000");
  EXPECT_EQ(unwritableBatch.exitCode, 1);
  EXPECT_EQ(consoleRows(unwritableBatch.out).size(), 3u) << unwritableBatch.out;
  EXPECT_EQ(countOf(unwritableBatch.err, "Wrning: report file Reports/"), 2); // once per class
  EXPECT_NE(unwritableBatch.err.find("-o=2-d=2-os=0.8-n=20.txt cannot be written"),
            std::string::npos);

  // The end of the input in the dialogue ends the run at once, without a report.
  std::filesystem::remove_all("Reports");
  const ProgramRun ended = runProgram("2 2 1");
  EXPECT_EQ(ended.exitCode, 0);
  EXPECT_EQ(countOf(ended.console, "ERROR! the input ended before the dialogue was complete"), 1);
  EXPECT_FALSE(std::filesystem::exists("Reports"));
}

TEST(Program, ContinueRunsTheChosenClassFromTheChosenInstanceAndAveragesOver125) {
  ScratchDirectory scratch;
  generateStandard20({0.8, 0.6}, 125);
  // Dataset 2, n 20, OS 0.6, instance 120; Emmons; no threshold.
  const ProgramRun run = runProgram("2 2 0 3 120 2 0\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.afterDialogue.starts_with("obj=2-data=2-os=0.6-n=20\n")) << run.console;
  ASSERT_EQ(run.rows.size(), 6u) << run.console;
  EXPECT_EQ(split(run.rows[0], '\t')[0], "120");
  EXPECT_NE(run.console.find("20-0.4-1.txt not found! \n" + readerFailure), std::string::npos);
  EXPECT_EQ(reportNames().size(), 2u); // the class and the next one, which finds no files
  const std::vector<std::string> lines = reportLines("-os=0.6-n=20.txt");
  ASSERT_EQ(lines.size(), 2u + 6u + 7u);
  EXPECT_EQ(lines[0], "maxCPU=5401 - maxState=195000000 - prec:Emmons");
  EXPECT_EQ(lines[8], "");

  double sums[4] = {0, 0, 0, 0}; // OS1, OS2, PPt, CPU of the six rows
  for (int row = 0; row < 6; ++row) {
    expectSameRow(run.rows[row], lines[2 + row]);
    for (int column = 0; column < 4; ++column)
      sums[column] += std::stod(split(lines[2 + row], '\t')[1 + column]);
  }
  EXPECT_GT(sums[0], 3.0);     // six order strengths near 0.6: a divisor of 6 would show
  EXPECT_GT(sums[1], sums[0]); // OS2 counts the arcs of the pass
  const std::string labels[6] = {"OS1_ave=", "OS2_ave=", "PP_ave=", "CPU_ave=", "PP=", "CPU="};
  std::string consoleBlock;
  for (int line = 0; line < 6; ++line) {
    const std::string& text = lines[9 + line];
    ASSERT_TRUE(text.starts_with(labels[line])) << text;
    const double value = std::stod(text.substr(labels[line].size()));
    const double expected = line < 4 ? sums[line] / 125 : sums[line - 2];
    EXPECT_NEAR(value, expected, 1e-4 * std::abs(expected) + 1e-9) << text;
    char shown[64];
    std::snprintf(shown, sizeof shown, "%s%4.2f\n", labels[line].c_str(), value);
    consoleBlock += shown;
  }
  EXPECT_NE(run.console.find(run.rows[5] + "\n" + consoleBlock + "\nobj=2-data=2-os=0.4-n=20\n"),
            std::string::npos)
      << run.console;
}

// The last standard class is followed by the first Velmar class, with the threshold back at 0;
// the last Velmar class ends the plan.
TEST(Program, ThePlanGoesOnToTheVelmarDatasetAndEndsWithTheExitPrompt) {
  ScratchDirectory scratch;
  writeStandardInstance(120, 0, 125, threeJobs());
  writeVelmarInstance(40, 0.2, 1, threeJobs());
  writeVelmarInstance(40, 0, 2, threeJobs()); // the job file without its precedence file
  writeVelmarInstance(100, 0, 125, threeJobs());
  ProgramRun run = runProgram("2 2 5 0 125 0 0.5\n");
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.rows.size(), 2u) << run.console;
  // Order strength 0 is below the entered threshold, which holds for the standard dataset only.
  EXPECT_TRUE(run.afterDialogue.starts_with("obj=2-data=2-os=0-n=120\n")) << run.console;
  EXPECT_EQ(split(run.rows[0], '\t')[5], "-1");
  EXPECT_NE(run.console.find("CPU=0.00\n\nobj=2-data=1-os=0.2-n=40\n"), std::string::npos);
  EXPECT_NE(split(run.rows[1], '\t')[5], "-1");
  EXPECT_TRUE(run.console.ends_with(velmarPrecedencePath(2, 40, 0.2, 2) + " not found! \n" +
                                    readerFailure));

  run = runProgram("2 1 2 0 125 0 0\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.rows.size(), 1u) << run.console;
  EXPECT_TRUE(run.afterDialogue.starts_with("obj=2-data=1-os=0-n=100\n")) << run.console;
  EXPECT_TRUE(run.console.ends_with("\nCPU=0.00\n\nPress any key to exit...\n"));
  EXPECT_EQ(countOf(run.console, "rror"), 0);
}

} // namespace
} // namespace precdp
