#include "driver/driver.h"

#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace precdp {
namespace {

using testing::captureOutput;

const std::string nextInstance = "Enter 1 or 2 [1:start-over (full test) / 2:continue (choose "
                                 "instance)] Choose the NEXT UNSOLVED instance:\n"
                                 "dataset [1:Velmar dataset / 2:standard dataset] ";
const std::string lastQuestions = "Choose precedence theorems [0:None / 1:Kanet (Default) / "
                                  "2:Emmons] Choose OS threshold [0:No threshold (Default)] ";
const std::string invalid = "invalid entry; try again ";

std::optional<MenuChoice> answer(const std::string& input, std::string& console) {
  std::istringstream entries(input);
  std::optional<MenuChoice> choice;
  console = captureOutput([&] { choice = runMenu(entries); });
  return choice;
}

TEST(Menu, ContinueModeOffersThePositionsOfTheChosenDataset) {
  std::string console;
  std::optional<MenuChoice> choice = answer("2 2 5 0 125 0 1", console);
  ASSERT_TRUE(choice);
  EXPECT_EQ(console, nextInstance + "n [0:20 / 1:40 / 2:60 / 3:80 / 4:100 / 5:120] " +
                         "OS [0:0 / 1:0.2 / 2:0.4 / 3:0.6 / 4:0.8] instance number [1-125] " +
                         lastQuestions);
  EXPECT_TRUE(choice->continueMode);
  EXPECT_EQ(choice->dataset, 2);
  EXPECT_EQ(choice->nIndex, 5);
  EXPECT_EQ(choice->osIndex, 0);
  EXPECT_EQ(choice->instance, 125);
  EXPECT_EQ(precTheorem, 0);
  EXPECT_EQ(osThreshold, 1.0);

  // Velmar has no n position 3 but an OS position 6; the standard dataset has no OS position 5.
  choice = answer("2 1 3 2 6 1 2 0.5", console);
  ASSERT_TRUE(choice);
  EXPECT_EQ(console, nextInstance + "n [0:40 / 1:50 / 2:100] " + invalid +
                         "OS [0:0 / 1:0.005 / 2:0.01 / 3:0.02 / 4:0.05 / 5:0.1 / 6:0.2] "
                         "instance number [1-125] " +
                         lastQuestions);
  EXPECT_EQ(choice->nIndex, 2);
  EXPECT_EQ(choice->osIndex, 6);
  choice = answer("2 2 0 5 4 7 1 0", console);
  ASSERT_TRUE(choice);
  EXPECT_EQ(testing::countOf(console, invalid), 1);
  EXPECT_EQ(choice->osIndex, 4);
}

TEST(Menu, RefusalsRepeatTheEntryNotThePromptAndAcceptBothEndsOfEachRange) {
  std::string console;
  std::optional<MenuChoice> choice = answer("0 3 1 3 -2 2 1.5 -0.1 1", console);
  ASSERT_TRUE(choice);
  EXPECT_EQ(console, "Enter 1 or 2 [1:start-over (full test) / 2:continue (choose instance)] " +
                         invalid + invalid +
                         "Choose precedence theorems [0:None / 1:Kanet (Default) / 2:Emmons] " +
                         invalid + invalid + "Choose OS threshold [0:No threshold (Default)] " +
                         invalid + invalid);
  EXPECT_FALSE(choice->continueMode);
  EXPECT_EQ(choice->instance, -1);
  EXPECT_EQ(precTheorem, 2);
  EXPECT_EQ(osThreshold, 1.0);

  choice = answer("1 0 0", console);
  ASSERT_TRUE(choice);
  EXPECT_EQ(console.find(invalid), std::string::npos);
  EXPECT_EQ(precTheorem, 0);
  EXPECT_EQ(osThreshold, 0.0);
}

} // namespace
} // namespace precdp
