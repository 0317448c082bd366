#include "instance/instance.h"
#include "support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace precdp {
namespace {

using namespace testing;

// Every test runs in a fresh empty working directory, where the readers look for their files.
class ReaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    objType = 2;
    resetInstance();
  }
  ScratchDirectory scratch_;
};

void selectClass(int n, double os) {
  nVal = static_cast<uint16_t>(n);
  osVal = os;
}

std::vector<uint16_t> firstThree(const uint16_t* table) {
  return {table[0], table[1], table[2]};
}

void expectNoArcs() {
  for (int i = 0; i < maxJobs; ++i) ASSERT_TRUE(isEmpty(pred[i]) && isEmpty(succ[i])) << i;
}

// n = 3; job 0 before 1, job 2 before 0: the arc read last reaches job 1 through the closure.
const char* const threeJobFile = "3\n4 10 1 2 1 1\n3 7 1 1 0\n5 12 2 3 1 0\n";
const char* const threeJobVelmarJobs = "3\n4 10 1 2\n3 7 1 1\n5 12 2 3\n";

void expectThreeJobs(bool withClosure) {
  EXPECT_EQ(jobCount, 3);
  EXPECT_EQ(totalP, 12);
  EXPECT_EQ(allJobs, setOf({0, 1, 2}));
  EXPECT_EQ(firstThree(p), (std::vector<uint16_t>{4, 3, 5}));
  EXPECT_EQ(firstThree(dueDate), (std::vector<uint16_t>{10, 7, 12}));
  EXPECT_EQ(firstThree(earlinessWeight), (std::vector<uint16_t>{1, 1, 2}));
  EXPECT_EQ(firstThree(tardinessWeight), (std::vector<uint16_t>{2, 1, 3}));
  if (!withClosure) return expectNoArcs();
  EXPECT_TRUE(pred[0] == setOf({2}) && pred[1] == setOf({0, 2}) && isEmpty(pred[2]));
  EXPECT_TRUE(succ[2] == setOf({0, 1}) && succ[0] == setOf({1}) && isEmpty(succ[1]));
}

TEST(InstancePaths, FieldsAndPathsHaveTheFixedForms) {
  for (auto [os, text] : {std::pair{0.0, "0"},
                          {0.005, "0.005"},
                          {0.2, "0.2"},
                          {1.0, "1"},
                          {0.123456789, "0.123457"},
                          {0.00001, "1e-05"}})
    EXPECT_EQ(osField(os), text);
  EXPECT_EQ(standardInstancePath(20, 0, 1), "Instances/1-prec-wet Ins/20-0/20-0-1.txt");
  EXPECT_EQ(standardInstancePath(120, 0.8, 125),
            "Instances/1-prec-wet Ins/120-0.8/120-0.8-125.txt");
  EXPECT_EQ(velmarJobPath(40, 7), "Instances/Data-Velmar/wet040/wet040_007.dat");
  EXPECT_EQ(velmarPrecedencePath(1, 100, 0.2, 125),
            "Instances/Data-Velmar/wt100prec/0.2/wt100_125_0.2.dat");
  EXPECT_EQ(velmarPrecedencePath(2, 50, 0.005, 12),
            "Instances/Data-Velmar/wt050prec/0.005/wt050_012_0.005.dat");
  EXPECT_EQ(velmarPrecedencePath(3, 50, 0.01, 12),
            "Instances/Data-Velmar/wet050prec/0.01/wet050_012_0.01.dat");
  EXPECT_EQ(velmarPrecedencePath(0, 50, 0.01, 12) + velmarPrecedencePath(4, 50, 0.01, 12), "");
}

TEST_F(ReaderTest, StandardFilesGiveJobsTotalAndClosure) {
  selectClass(3, 0.4);
  writeTextFile(standardInstancePath(3, 0.4, 5), threeJobFile);
  EXPECT_EQ(console([] { EXPECT_TRUE(readStandardInstance(5)); }), Console{});
  expectThreeJobs(true);

  // nVal only names the file. A count of 0 or below reads no successor, so the "1" after the
  // negative count is the next job's processing time.
  resetInstance();
  writeTextFile(standardInstancePath(3, 0.4, 6), "2  7 3 1 1 -4  1 9 2 2 0  trailing words");
  ASSERT_TRUE(readStandardInstance(6));
  EXPECT_TRUE(jobCount == 2 && p[0] == 7 && p[1] == 1 && dueDate[1] == 9 && totalP == 8);
  expectNoArcs();

  std::string text = "120\n";
  for (int i = 0; i < 120; ++i)
    text += std::string("1 0 1 1 ") + (i == 59   ? "1 60\n"
                                       : i == 60 ? "1 119\n"
                                       : i == 0  ? "1 59\n"
                                                 : "0\n");
  resetInstance();
  writeTextFile(standardInstancePath(3, 0.4, 7), text);
  ASSERT_TRUE(readStandardInstance(7));
  EXPECT_TRUE(jobCount == 120 && totalP == 120 && allJobs.word[1] == (uint64_t{1} << 60) - 1);
  EXPECT_TRUE(pred[119] == setOf({0, 59, 60}) && succ[0] == setOf({59, 60, 119}));

  // A job that succeeds itself is reported by addPrec, and the read goes on.
  resetInstance();
  writeTextFile(standardInstancePath(3, 0.4, 8), "2 1 1 1 1 1 0 2 2 2 2 0");
  EXPECT_EQ(console([] { EXPECT_TRUE(readStandardInstance(8)); }),
            (Console{"Error! addPrec\n", 1}));
  EXPECT_TRUE(contains(pred[0], 0) && contains(succ[0], 0) && jobCount == 2);
}

TEST_F(ReaderTest, VelmarFilesGiveOneClosureWhateverTheirLayout) {
  const char* const precedenceFiles[] = {
      "n 3 arcs 2\n0 1\n2 0\n",      // final line end
      "n 3 arcs 2\n0 1\n2 0",        // ends right after the last digit
      "n 3 arcs 3\n0 1\n2 0\n0 1\n", // duplicated arc
      "a b c d 2 0 0 1 2 1 \n\n",    // implied arc, blank lines at the end
  };
  selectClass(3, 0.01);
  writeTextFile(velmarJobPath(3, 12), threeJobVelmarJobs);
  for (const char* text : precedenceFiles) {
    resetInstance();
    writeTextFile(velmarPrecedencePath(2, 3, 0.01, 12), text);
    EXPECT_EQ(console([] { EXPECT_TRUE(readVelmarInstance(12)); }), Console{}) << text;
    expectThreeJobs(true);
  }
  // Objective 3 reads the "wet" precedence files.
  resetInstance();
  objType = 3;
  writeTextFile(velmarPrecedencePath(3, 3, 0.01, 12), "h h h h 0 1 2 0");
  EXPECT_TRUE(readVelmarInstance(12));
  expectThreeJobs(true);
  // A header alone adds no arc; order strength 0 has no precedence file, so none is looked for.
  objType = 2;
  for (double os : {0.2, 0.0}) {
    resetInstance();
    selectClass(3, os);
    writeTextFile(velmarPrecedencePath(2, 3, 0.2, 12), "four header words here");
    EXPECT_TRUE(readVelmarInstance(12)) << os;
    expectThreeJobs(false);
  }
}

// A missing file is named; each refusal names the routine, the file and the item. Nothing is
// stored (for the Velmar precedence file: nothing beyond the job file).
TEST_F(ReaderTest, MissingAndBadFilesAreRefusedBeforeAnythingIsStored) {
  enum Kind { standard, velmarJobs, velmarPrecedences };
  const std::tuple<Kind, const char*, const char*> cases[] = {
      {standard, nullptr, nullptr}, // no file
      {velmarJobs, nullptr, nullptr},
      {velmarPrecedences, nullptr, nullptr},
      {standard, "121", "job count: 121 is outside 0..120"},
      {standard, "2 1 1 1 1 1 2  1 1 1 1 0", "successor of job 0: 2 is outside 0..1"},
      {standard, "2 1 1 1 1 0  1 1 1 1 1 -1", "successor of job 1: -1 is outside 0..1"},
      {standard, "2 1 1 1 1 1 99999999999999999999 1 1 1 1 0",
       "successor of job 0: 99999999999999999999 is outside 0..1"},
      {standard, "1 65536 1 1 1 0", "processing time of job 0: 65536 is outside 0..65535"},
      {standard, "1 1 -1 1 1 0", "due date of job 0: -1 is outside 0..65535"},
      {standard, "1 1 1 70000 1 0", "earliness weight of job 0: 70000 is outside 0..65535"},
      {standard, "1 1 1 1 65536 0", "tardiness weight of job 0: 65536 is outside 0..65535"},
      {standard, "1 1 1 1 1 32768", "successor count of job 0: 32768 is outside -32768..32767"},
      {standard, "2 1 1 1 1 0 1 x7 1 1 0", "due date of job 1: \"x7\" is not a number"},
      {standard, "2 1 1 1 1 0 1 7.5 1 1 0", "due date of job 1: \"7.5\" is not a number"},
      {standard, "", "job count: the file ends early"},
      {standard, "2 1 1 1 1 0 1 1", "earliness weight of job 1: the file ends early"},
      {standard, "2 1 1 1 1 3 1 1", "successor of job 0: the file ends early"},
      {standard, "2 40000 1 1 1 0 30000 1 1 1 0", "total processing time 70000 is above 65535"},
      {standard, "1 65535 0 0 32769 0",
       "largest possible cost 2147516415 (sum of tardiness weight x total processing time) is "
       "above 2147483647"},
      {velmarJobs, "130 1 1 1 1", "job count: 130 is outside 0..120"},
      {velmarJobs, "2 1 1 1 1 1 1 one 1", "earliness weight of job 1: \"one\" is not a number"},
      {velmarJobs, "2 1 1 1 1 1 1 1", "tardiness weight of job 1: the file ends early"},
      {velmarJobs, "2 60000 1 1 1 6000 1 1 1", "total processing time 66000 is above 65535"},
      {velmarPrecedences, "h h h", "header word 4: the file ends early"},
      {velmarPrecedences, "h h h h 0 1 1 3", "second job of arc 2: 3 is outside 0..2"},
      {velmarPrecedences, "h h h h -1 1", "first job of arc 1: -1 is outside 0..2"},
      {velmarPrecedences, "h h h h 0 1 2", "second job of arc 2: the file ends early"},
      {velmarPrecedences, "h h h h 0 1\n2 0\nend of arcs\n",
       "first job of arc 3: \"end\" is not a number"},
      {velmarPrecedences, "h h h h 0 1 2 0x1", "second job of arc 2: \"0x1\" is not a number"},
  };
  selectClass(3, 0.1);
  for (const auto& [kind, text, problem] : cases) {
    const std::string path = kind == standard     ? standardInstancePath(3, 0.1, 9)
                             : kind == velmarJobs ? velmarJobPath(3, 9)
                                                  : velmarPrecedencePath(2, 3, 0.1, 9);
    writeTextFile(velmarJobPath(3, 9), threeJobVelmarJobs);
    writeTextFile(velmarPrecedencePath(2, 3, 0.1, 9), "h h h h 0 1");
    if (text != nullptr) writeTextFile(path, text);
    if (text == nullptr) std::filesystem::remove(path);
    resetInstance();
    jobCount = 9; // marks, to see that nothing is stored
    for (int i = 0; i < maxJobs; ++i) p[i] = dueDate[i] = tardinessWeight[i] = 777;
    const auto read = kind == standard ? readStandardInstance : readVelmarInstance;
    const std::string routine = kind == standard ? "readStandardInstance" : "readVelmarInstance";
    const std::string message = problem == nullptr
                                    ? "Sample file " + path + " not found! \n"
                                    : "Error! " + routine + ": " + path + ": " + problem + "\n";
    EXPECT_EQ(console([&] { EXPECT_FALSE(read(9)) << path; }), (Console{message, 1}));
    if (kind == velmarPrecedences) {
      expectThreeJobs(false);
      continue;
    }
    EXPECT_TRUE(jobCount == 9 && isEmpty(allJobs) && totalP == 0) << message;
    for (int i = 0; i < maxJobs; ++i)
      ASSERT_TRUE(p[i] == 777 && dueDate[i] == 777 && tardinessWeight[i] == 777) << message;
    expectNoArcs();
  }
  // The largest cost that still fits is accepted.
  resetInstance();
  writeTextFile(standardInstancePath(3, 0.1, 9), "1 65535 0 0 32768 0");
  EXPECT_TRUE(readStandardInstance(9));
  EXPECT_EQ(totalP, 65535);
}

} // namespace
} // namespace precdp
