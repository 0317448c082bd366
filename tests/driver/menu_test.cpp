#include "driver/driver.h"

#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace precdp {
namespace {

using testing::captureOutput;
using testing::countOf;

const std::string modePrompt =
    "Enter 1 or 2 [1:start-over (full test) / 2:continue (choose instance)] ";
const std::string nextInstance = "Choose the NEXT UNSOLVED instance:\n";
const std::string datasetPrompt = "dataset [1:Velmar dataset / 2:standard dataset] ";
const std::string standardN = "n [0:20 / 1:40 / 2:60 / 3:80 / 4:100 / 5:120] ";
const std::string standardOs = "OS [0:0 / 1:0.2 / 2:0.4 / 3:0.6 / 4:0.8] ";
const std::string velmarN = "n [0:40 / 1:50 / 2:100] ";
const std::string velmarOs = "OS [0:0 / 1:0.005 / 2:0.01 / 3:0.02 / 4:0.05 / 5:0.1 / 6:0.2] ";
const std::string instancePrompt = "instance number [1-125] ";
const std::string theoremPrompt =
    "Choose precedence theorems [0:None / 1:Kanet (Default) / 2:Emmons] ";
const std::string thresholdPrompt = "Choose OS threshold [0:No threshold (Default)] ";
const std::string invalid = "invalid entry; try again ";

struct MenuRun {
  std::optional<MenuChoice> choice;
  std::string console;
};

MenuRun answer(const std::string& input) {
  std::istringstream entries(input);
  MenuRun run;
  precTheorem = -7;
  osThreshold = -7;
  run.console = captureOutput([&] { run.choice = runMenu(entries); });
  return run;
}

TEST(Menu, StartOverAsksForTheTheoremAndTheThresholdOnly) {
  MenuRun run = answer("1\n1\n0\n");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(run.console, modePrompt + theoremPrompt + thresholdPrompt);
  EXPECT_FALSE(run.choice->continueMode);
  EXPECT_EQ(run.choice->dataset, -1);
  EXPECT_EQ(run.choice->nIndex, -1);
  EXPECT_EQ(run.choice->osIndex, -1);
  EXPECT_EQ(run.choice->instance, -1);
  EXPECT_EQ(precTheorem, 1);
  EXPECT_EQ(osThreshold, 0.0);

  // Entries may share a line or be spread over empty lines.
  run = answer("\n\n  1 2\n\n0.35");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(countOf(run.console, invalid), 0);
  EXPECT_EQ(precTheorem, 2);
  EXPECT_EQ(osThreshold, 0.35);
}

TEST(Menu, ContinueModeAsksForTheNextInstanceWithTheRangesOfTheChosenDataset) {
  MenuRun run = answer("2\n2\n5\n0\n125\n0\n1\n");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(run.console, modePrompt + nextInstance + datasetPrompt + standardN + standardOs +
                             instancePrompt + theoremPrompt + thresholdPrompt);
  EXPECT_TRUE(run.choice->continueMode);
  EXPECT_EQ(run.choice->dataset, 2);
  EXPECT_EQ(run.choice->nIndex, 5);
  EXPECT_EQ(run.choice->osIndex, 0);
  EXPECT_EQ(run.choice->instance, 125);
  EXPECT_EQ(precTheorem, 0);
  EXPECT_EQ(osThreshold, 1.0);

  // Velmar: n index 3 does not exist, OS index 6 does.
  run = answer("2 1 3 2 6 1 2 0.5");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(run.console, modePrompt + nextInstance + datasetPrompt + velmarN + invalid + velmarOs +
                             instancePrompt + theoremPrompt + thresholdPrompt);
  EXPECT_EQ(run.choice->dataset, 1);
  EXPECT_EQ(run.choice->nIndex, 2);
  EXPECT_EQ(run.choice->osIndex, 6);
  EXPECT_EQ(run.choice->instance, 1);

  // Standard: OS index 5 does not exist.
  run = answer("2 2 0 5 4 7 1 0");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(countOf(run.console, invalid), 1);
  EXPECT_EQ(run.choice->osIndex, 4);
  EXPECT_EQ(run.choice->instance, 7);
}

TEST(Menu, EntriesOutsideTheirRangeAreAskedAgainWithoutRepeatingThePrompt) {
  MenuRun run = answer("0 3 2\n"      // mode
                       "0 3 2\n"      // dataset
                       "-1 6 1\n"     // n index
                       "-1 5 3\n"     // OS index
                       "0 126 60\n"   // instance number
                       "3 -2 2\n"     // theorem
                       "1.5 -0.1 1"); // threshold
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(run.console, modePrompt + invalid + invalid + nextInstance + datasetPrompt + invalid +
                             invalid + standardN + invalid + invalid + standardOs + invalid +
                             invalid + instancePrompt + invalid + invalid + theoremPrompt +
                             invalid + invalid + thresholdPrompt + invalid + invalid);
  EXPECT_EQ(run.choice->dataset, 2);
  EXPECT_EQ(run.choice->nIndex, 1);
  EXPECT_EQ(run.choice->osIndex, 3);
  EXPECT_EQ(run.choice->instance, 60);
  EXPECT_EQ(precTheorem, 2);
  EXPECT_EQ(osThreshold, 1.0);

  run = answer("1 0 0");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(countOf(run.console, invalid), 0);
  EXPECT_EQ(osThreshold, 0.0);
}

TEST(Menu, TextThatIsNotANumberIsRefusedWithTheRestOfItsLine) {
  // Each unreadable line costs one refusal; a number too large for the field is unreadable.
  MenuRun run = answer("start over\n2\n"
                       "standard 2 2\n2\n"
                       "99999\n1\n"
                       "x\n2\n"
                       "#\n40\n"
                       "Kanet\n1\n"
                       "none\n0.25\n");
  ASSERT_TRUE(run.choice);
  EXPECT_EQ(countOf(run.console, invalid), 7);
  EXPECT_EQ(countOf(run.console, datasetPrompt), 1);
  EXPECT_EQ(run.choice->dataset, 2);
  EXPECT_EQ(run.choice->nIndex, 1);
  EXPECT_EQ(run.choice->osIndex, 2);
  EXPECT_EQ(run.choice->instance, 40);
  EXPECT_EQ(precTheorem, 1);
  EXPECT_EQ(osThreshold, 0.25);
}

TEST(Menu, EndOfInputAtAnyPromptEndsTheDialogueWithOneMessage) {
  const std::string ended = "ERROR! the input ended before the dialogue was complete -main\n";
  for (const char* input :
       {"", "   \n\n", "2", "2 1 0", "2 2 0 0", "2 2 0 0 5", "1 1", "1 x", "1 1 2", "1 1 abc"}) {
    const MenuRun run = answer(input);
    EXPECT_FALSE(run.choice) << input;
    EXPECT_EQ(countOf(run.console, ended), 1) << input;
    EXPECT_EQ(run.console.substr(run.console.size() - ended.size()), ended) << input;
  }
  // "1 1 2": the threshold 2 is refused before the input ends.
  EXPECT_EQ(countOf(answer("1 1 2").console, invalid), 1);
}

} // namespace
} // namespace precdp
