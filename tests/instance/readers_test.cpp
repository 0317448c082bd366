#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// n = 3; job 0 before 1, job 2 before 0: the arc read last reaches job 1 through the closure.
const char* const threeJobFile = "3\n4 10 1 2 1 1\n3 7 1 1 0\n5 12 2 3 1 0\n";
const char* const threeJobVelmarJobs = "3\n4 10 1 2\n3 7 1 1\n5 12 2 3\n";

void expectThreeJobs(bool withArcs, const std::string& context) {
  SCOPED_TRACE(context);
  EXPECT_TRUE(jobCount == 3 && totalP == 12 && allJobs == setOf({0, 1, 2}));
  const uint16_t values[3][4] = {{4, 10, 1, 2}, {3, 7, 1, 1}, {5, 12, 2, 3}};
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(p[i] == values[i][0] && dueDate[i] == values[i][1] &&
                earlinessWeight[i] == values[i][2] && tardinessWeight[i] == values[i][3])
        << "job " << i;
  if (withArcs) {
    EXPECT_TRUE(pred[0] == setOf({2}) && pred[1] == setOf({0, 2}) && isEmpty(pred[2]));
    EXPECT_TRUE(succ[2] == setOf({0, 1}) && succ[0] == setOf({1}) && isEmpty(succ[1]));
  } else {
    for (int i = 0; i < maxJobs; ++i) ASSERT_TRUE(isEmpty(pred[i]) && isEmpty(succ[i])) << i;
  }
}

TEST(InstancePaths, FieldsAndPathsHaveTheFixedForms) {
  for (auto [os, text] : {std::pair{0.0, "0"},
                          {0.005, "0.005"},
                          {1.0, "1"},
                          {0.123456789, "0.123457"},
                          {0.00001, "1e-05"}})
    EXPECT_EQ(osField(os), text);
  EXPECT_EQ(velmarJobPath(40, 7), "Instances/Data-Velmar/wet040/wet040_007.dat");
  EXPECT_EQ(velmarPrecedencePath(2, 50, 0.005, 12),
            "Instances/Data-Velmar/wt050prec/0.005/wt050_012_0.005.dat");
  EXPECT_EQ(velmarPrecedencePath(3, 50, 0.01, 12),
            "Instances/Data-Velmar/wet050prec/0.01/wet050_012_0.01.dat");
  EXPECT_EQ(velmarPrecedencePath(0, 50, 0.01, 12) + velmarPrecedencePath(4, 50, 0.01, 12), "");
}

// Any layout of the arcs gives the same closure, and the read prints nothing.
TEST(Readers, GoodFilesGiveJobsTotalAndClosure) {
  const char* const precedenceFiles[] = {
      "n 3 arcs 2\n0 1\n2 0\n",      // final line end
      "n 3 arcs 2\n0 1\n2 0",        // ends right after the last digit
      "n 3 arcs 3\n0 1\n2 0\n0 1\n", // duplicated arc
      "a b c d 2 0 0 1 2 1 \n\n",    // implied arc, blank lines at the end
  };
  resetInstance();
  EXPECT_EQ(console([] { EXPECT_TRUE(parseStandardInstance("f", threeJobFile)); }), Console{});
  expectThreeJobs(true, "standard");
  for (const char* text : precedenceFiles) {
    resetInstance();
    EXPECT_EQ(console([&] {
                EXPECT_TRUE(parseVelmarJobs("j", threeJobVelmarJobs) &&
                            parseVelmarPrecedences("p", text));
              }),
              Console{});
    expectThreeJobs(true, text);
  }
  resetInstance();
  EXPECT_TRUE(parseVelmarJobs("j", threeJobVelmarJobs) &&
              parseVelmarPrecedences("p", "four header words here"));
  expectThreeJobs(false, "header only");

  // A count of 0 or below reads no successor: the "1" after -4 is the next processing time.
  resetInstance();
  ASSERT_TRUE(parseStandardInstance("f", "2  7 3 1 1 -4  1 9 2 2 0  trailing words"));
  EXPECT_TRUE(jobCount == 2 && p[1] == 1 && dueDate[1] == 9 && totalP == 8 && isEmpty(succ[0]));
}

// Each refusal names the routine, the file and the item, waits for a key, and stores nothing
// (for a bad precedence file: nothing beyond the job file).
TEST(Readers, BadFilesAreRefusedBeforeAnythingIsStored) {
  enum Kind { standard, velmarJobs, velmarPrecedences };
  const std::tuple<Kind, const char*, const char*> cases[] = {
      {standard, "121", "job count: 121 is outside 0..120"},
      {standard, "2 1 1 1 1 1 2  1 1 1 1 0", "successor of job 0: 2 is outside 0..1"},
      {standard, "2 1 1 1 1 0  1 1 1 1 1 -1", "successor of job 1: -1 is outside 0..1"},
      {standard, "2 1 1 1 1 1 99999999999999999999 1 1 1 1 0",
       "successor of job 0: 99999999999999999999 is outside 0..1"},
      {standard, "1 65536 1 1 1 0", "processing time of job 0: 65536 is outside 0..65535"},
      {standard, "1 1 1 1 65536 0", "tardiness weight of job 0: 65536 is outside 0..65535"},
      {standard, "1 1 1 1 1 32768", "successor count of job 0: 32768 is outside -32768..32767"},
      {standard, "2 1 1 1 1 0 1 x7 1 1 0", "due date of job 1: \"x7\" is not a number"},
      {standard, "1 1 1 1 --1 0", "tardiness weight of job 0: \"--1\" is not a number"},
      {standard, "", "job count: the file ends early"},
      {standard, "2 1 1 1 1 3 1 1", "successor of job 0: the file ends early"},
      {standard, "2 40000 1 1 1 0 30000 1 1 1 0", "total processing time 70000 is above 65535"},
      {standard, "1 65535 0 0 32769 0",
       "largest possible cost 2147516415 (sum of tardiness weight x total processing time) is "
       "above 2147483647"},
      {velmarJobs, "2 1 1 1 1 1 1 one 1", "earliness weight of job 1: \"one\" is not a number"},
      {velmarJobs, "2 1 1 1 1 1 1 1", "tardiness weight of job 1: the file ends early"},
      {velmarJobs, "2 60000 1 1 1 6000 1 1 1", "total processing time 66000 is above 65535"},
      {velmarPrecedences, "h h h", "header word 4: the file ends early"},
      {velmarPrecedences, "h h h h 0 1 1 3", "second job of arc 2: 3 is outside 0..2"},
      {velmarPrecedences, "h h h h 0 1 2", "second job of arc 2: the file ends early"},
      {velmarPrecedences, "h h h h 0 1\n2 0\nend of arcs\n",
       "first job of arc 3: \"end\" is not a number"},
  };
  for (const auto& [kind, text, problem] : cases) {
    resetInstance();
    jobCount = 9; // marks, to see that nothing is stored
    for (int i = 0; i < maxJobs; ++i) p[i] = dueDate[i] = tardinessWeight[i] = 777;
    if (kind == velmarPrecedences) {
      ASSERT_TRUE(parseVelmarJobs("j", threeJobVelmarJobs));
    }
    const auto parse = kind == standard     ? parseStandardInstance
                       : kind == velmarJobs ? parseVelmarJobs
                                            : parseVelmarPrecedences;
    const char* routine = kind == standard ? "readStandardInstance" : "readVelmarInstance";
    EXPECT_EQ(console([&] { EXPECT_FALSE(parse("f", text)) << text; }),
              (Console{"Error! " + std::string(routine) + ": f: " + problem + "\n", 1}));
    if (kind == velmarPrecedences) {
      expectThreeJobs(false, text);
      continue;
    }
    EXPECT_TRUE(jobCount == 9 && isEmpty(allJobs) && totalP == 0) << text;
    for (int i = 0; i < maxJobs; ++i)
      ASSERT_TRUE(p[i] == 777 && tardinessWeight[i] == 777 && isEmpty(pred[i])) << text;
  }
  resetInstance(); // the largest cost that still fits
  EXPECT_TRUE(parseStandardInstance("f", "1 65535 0 0 32768 0") && totalP == 65535);
}

} // namespace
} // namespace precdp
