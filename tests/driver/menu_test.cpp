#include "driver/driver.h"

#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sstream>

namespace precdp {
namespace {

const std::string mode = "Enter 1 or 2 [1:start-over (full test) / 2:continue (choose instance)] ";
const std::string next = "Choose the NEXT UNSOLVED instance:\n"
                         "dataset [1:Velmar dataset / 2:standard dataset] ";
const std::string standardClasses = "n [0:20 / 1:40 / 2:60 / 3:80 / 4:100 / 5:120] ";
const std::string standardOs = "OS [0:0 / 1:0.2 / 2:0.4 / 3:0.6 / 4:0.8] ";
const std::string velmarClasses = "n [0:40 / 1:50 / 2:100] ";
const std::string velmarOs = "OS [0:0 / 1:0.005 / 2:0.01 / 3:0.02 / 4:0.05 / 5:0.1 / 6:0.2] ";
const std::string instance = "instance number [1-125] ";
const std::string theorem = "Choose precedence theorems [0:None / 1:Kanet (Default) / 2:Emmons] ";
const std::string threshold = "Choose OS threshold [0:No threshold (Default)] ";
const std::string invalid = "invalid entry; try again ";

// Each range accepted at both ends and refused just outside, by dataset (Velmar has no n
// position 3 but an OS position 6); a refusal repeats
// the entry, not the prompt.
TEST(Menu, PromptsAndRangesOfEachEntry) {
  struct Case {
    std::string input, console;
    MenuChoice choice;
    int32_t theorem;
    double threshold;
  };
  const Case cases[] = {
      {"2 2 5 0 125 0 1",
       mode + next + standardClasses + standardOs + instance + theorem + threshold,
       {true, 2, 5, 0, 125},
       0,
       1.0},
      // 99999 does not fit 16 bits: the rest of its line is dropped.
      {"2\n99999 x\n1 3 2 6 1 2 0.5",
       mode + next + invalid + velmarClasses + invalid + velmarOs + instance + theorem + threshold,
       {true, 1, 2, 6, 1},
       2,
       0.5},
      {"0\nstart over\n3 1 3 -2 2 1.5 -0.1 1",
       mode + invalid + invalid + invalid + theorem + invalid + invalid + threshold + invalid +
           invalid,
       {},
       2,
       1.0},
      {"1 0 0", mode + theorem + threshold, {}, 0, 0.0}};
  for (const Case& c : cases) {
    std::istringstream entries(c.input);
    std::optional<MenuChoice> choice;
    EXPECT_EQ(testing::console([&] { choice = runMenu(entries); }).text, c.console) << c.input;
    ASSERT_TRUE(choice) << c.input;
    EXPECT_TRUE(choice->continueMode == c.choice.continueMode &&
                choice->dataset == c.choice.dataset && choice->nIndex == c.choice.nIndex &&
                choice->osIndex == c.choice.osIndex && choice->instance == c.choice.instance)
        << c.input;
    EXPECT_EQ(precTheorem, c.theorem) << c.input;
    EXPECT_EQ(osThreshold, c.threshold) << c.input;
  }
}

} // namespace
} // namespace precdp
