#include "instance/instance.h"
#include "platform/platform.h"
#include "support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace precdp {
namespace {

namespace fs = std::filesystem;
using testing::captureOutput;

JobSet setOf(std::initializer_list<int> jobs) {
  JobSet set{};
  for (int job : jobs) insertJob(set, job);
  return set;
}

// Every test runs in a fresh empty working directory, where the readers look for their files.
class ReaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    objType = 2;
    resetInstance();
  }

  static void writeFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }

  void selectClass(int n, double os) {
    nVal = static_cast<uint16_t>(n);
    osVal = os;
  }

  // Marks every job slot so that a read which must store nothing can be checked.
  static void markTables() {
    jobCount = 9;
    for (int i = 0; i < maxJobs; ++i) p[i] = dueDate[i] = tardinessWeight[i] = 777;
  }

  static void expectTablesMarkedAndNoArcs() {
    EXPECT_EQ(jobCount, 9);
    for (int i = 0; i < maxJobs; ++i) {
      ASSERT_EQ(p[i], 777) << i;
      ASSERT_EQ(dueDate[i], 777) << i;
      ASSERT_EQ(tardinessWeight[i], 777) << i;
    }
    expectNoArcs();
    EXPECT_TRUE(isEmpty(allJobs));
    EXPECT_EQ(totalP, 0);
  }

  static void expectNoArcs() {
    for (int i = 0; i < maxJobs; ++i) ASSERT_TRUE(isEmpty(pred[i]) && isEmpty(succ[i])) << i;
  }

  testing::ScratchDirectory scratch_;
};

TEST(InstancePaths, FieldsAndPathsHaveTheFixedForms) {
  EXPECT_EQ(osField(0), "0");
  EXPECT_EQ(osField(0.005), "0.005");
  EXPECT_EQ(osField(0.2), "0.2");
  EXPECT_EQ(osField(0.01), "0.01");
  EXPECT_EQ(osField(1.0), "1");
  EXPECT_EQ(osField(0.123456789), "0.123457");
  EXPECT_EQ(osField(0.00001), "1e-05");
  EXPECT_EQ(osField(0.0001), "0.0001");
  EXPECT_EQ(threeDigitField(7), "007");
  EXPECT_EQ(threeDigitField(40), "040");
  EXPECT_EQ(threeDigitField(100), "100");
  EXPECT_EQ(threeDigitField(1000), "1000");

  EXPECT_EQ(standardInstancePath(20, 0, 1), "Instances/1-prec-wet Ins/20-0/20-0-1.txt");
  EXPECT_EQ(standardInstancePath(60, 0.4, 17), "Instances/1-prec-wet Ins/60-0.4/60-0.4-17.txt");
  EXPECT_EQ(standardInstancePath(120, 0.8, 125),
            "Instances/1-prec-wet Ins/120-0.8/120-0.8-125.txt");
  EXPECT_EQ(velmarJobPath(40, 7), "Instances/Data-Velmar/wet040/wet040_007.dat");
  EXPECT_EQ(velmarPrecedencePath(2, 40, 0.005, 1),
            "Instances/Data-Velmar/wt040prec/0.005/wt040_001_0.005.dat");
  EXPECT_EQ(velmarPrecedencePath(1, 100, 0.2, 125),
            "Instances/Data-Velmar/wt100prec/0.2/wt100_125_0.2.dat");
  EXPECT_EQ(velmarPrecedencePath(2, 50, 0.01, 12),
            "Instances/Data-Velmar/wt050prec/0.01/wt050_012_0.01.dat");
  EXPECT_EQ(velmarPrecedencePath(3, 50, 0.01, 12),
            "Instances/Data-Velmar/wet050prec/0.01/wet050_012_0.01.dat");
  EXPECT_EQ(velmarPrecedencePath(0, 50, 0.01, 12), "");
  EXPECT_EQ(velmarPrecedencePath(4, 50, 0.01, 12), "");
}

// n = 3; job 0 before 1, job 2 before 0: the arc read last reaches job 1 through the closure.
const char* const threeJobFile = "3\n4 10 1 2 1 1\n3 7 1 1 0\n5 12 2 3 1 0\n";

void expectThreeJobData() {
  EXPECT_EQ(jobCount, 3);
  EXPECT_EQ(p[0], 4);
  EXPECT_EQ(p[1], 3);
  EXPECT_EQ(p[2], 5);
  EXPECT_EQ(totalP, 12);
  EXPECT_EQ(dueDate[0], 10);
  EXPECT_EQ(dueDate[1], 7);
  EXPECT_EQ(dueDate[2], 12);
  EXPECT_EQ(earlinessWeight[0], 1);
  EXPECT_EQ(earlinessWeight[1], 1);
  EXPECT_EQ(earlinessWeight[2], 2);
  EXPECT_EQ(tardinessWeight[0], 2);
  EXPECT_EQ(tardinessWeight[1], 1);
  EXPECT_EQ(tardinessWeight[2], 3);
  EXPECT_EQ(allJobs, setOf({0, 1, 2}));
}

void expectThreeJobClosure() {
  EXPECT_EQ(pred[0], setOf({2}));
  EXPECT_EQ(pred[1], setOf({0, 2}));
  EXPECT_TRUE(isEmpty(pred[2]));
  EXPECT_EQ(succ[2], setOf({0, 1}));
  EXPECT_EQ(succ[0], setOf({1}));
  EXPECT_TRUE(isEmpty(succ[1]));
}

TEST_F(ReaderTest, StandardFileGivesJobsTotalAndClosure) {
  selectClass(3, 0.4);
  writeFile(standardInstancePath(3, 0.4, 5), threeJobFile);
  const uint64_t waits = keyWaitCount();
  bool read = false;
  EXPECT_EQ(captureOutput([&] { read = readStandardInstance(5); }), "");
  EXPECT_TRUE(read);
  EXPECT_EQ(keyWaitCount(), waits);
  expectThreeJobData();
  expectThreeJobClosure();
}

TEST_F(ReaderTest, StandardFileTakesItsOwnJobCountAndSkipsNonPositiveCounts) {
  // nVal only names the file. A count of 0 or below reads no successor, so the "1" after the
  // negative count is the next job's processing time.
  selectClass(40, 0.2);
  writeFile(standardInstancePath(40, 0.2, 1), "2  7 3 1 1 -4  1 9 2 2 0  trailing words");
  ASSERT_TRUE(readStandardInstance(1));
  EXPECT_EQ(jobCount, 2);
  EXPECT_EQ(p[0], 7);
  EXPECT_EQ(p[1], 1);
  EXPECT_EQ(dueDate[1], 9);
  EXPECT_EQ(totalP, 8);
  expectNoArcs();
}

TEST_F(ReaderTest, StandardFileOfCapacitySizeUsesBothWords) {
  std::string text = "120\n";
  for (int i = 0; i < 120; ++i) {
    text += "1 0 1 1 ";
    text += i == 59 ? "1 60\n" : i == 60 ? "1 119\n" : i == 0 ? "1 59\n" : "0\n";
  }
  selectClass(120, 0.6);
  writeFile(standardInstancePath(120, 0.6, 3), text);
  ASSERT_TRUE(readStandardInstance(3));
  EXPECT_EQ(jobCount, 120);
  EXPECT_EQ(totalP, 120);
  EXPECT_EQ(pred[119], setOf({0, 59, 60}));
  EXPECT_EQ(succ[0], setOf({59, 60, 119}));
  EXPECT_EQ(allJobs.word[1], (uint64_t{1} << 60) - 1);
}

TEST_F(ReaderTest, MissingFileIsReportedWithItsPathAndStoresNothing) {
  selectClass(60, 0.4);
  markTables();
  const uint64_t waits = keyWaitCount();
  bool read = true;
  const std::string out = captureOutput([&] { read = readStandardInstance(17); });
  EXPECT_FALSE(read);
  EXPECT_EQ(out, "Sample file Instances/1-prec-wet Ins/60-0.4/60-0.4-17.txt not found! \n");
  EXPECT_EQ(keyWaitCount(), waits + 1);
  expectTablesMarkedAndNoArcs();

  selectClass(40, 0.1);
  read = true;
  EXPECT_EQ(captureOutput([&] { read = readVelmarInstance(7); }),
            "Sample file Instances/Data-Velmar/wet040/wet040_007.dat not found! \n");
  EXPECT_FALSE(read);
  expectTablesMarkedAndNoArcs();
}

TEST_F(ReaderTest, SelfSuccessorIsReportedByAddPrecAndTheReadGoesOn) {
  selectClass(2, 0.2);
  writeFile(standardInstancePath(2, 0.2, 1), "2 1 1 1 1 1 0 2 2 2 2 0");
  bool read = false;
  const std::string out = captureOutput([&] { read = readStandardInstance(1); });
  EXPECT_TRUE(read);
  EXPECT_EQ(out, "Error! addPrec\n");
  EXPECT_TRUE(contains(pred[0], 0) && contains(succ[0], 0));
}

const char* const threeJobVelmarJobs = "3\n4 10 1 2\n3 7 1 1\n5 12 2 3\n";

TEST_F(ReaderTest, VelmarPrecedenceFileEndingsDuplicatesAndImpliedArcsGiveOneClosure) {
  const std::vector<std::string> precedenceFiles = {
      "n 3 arcs 2\n0 1\n2 0\n",      // final line end
      "n 3 arcs 2\n0 1\n2 0",        // ends right after the last digit
      "n 3 arcs 3\n0 1\n2 0\n0 1\n", // duplicated arc
      "a b c d 2 0 0 1 2 1 \n\n",    // implied arc, blank lines at the end
  };
  for (const std::string& text : precedenceFiles) {
    resetInstance();
    selectClass(3, 0.01);
    writeFile(velmarJobPath(3, 12), threeJobVelmarJobs);
    writeFile(velmarPrecedencePath(2, 3, 0.01, 12), text);
    bool read = false;
    EXPECT_EQ(captureOutput([&] { read = readVelmarInstance(12); }), "") << text;
    EXPECT_TRUE(read) << text;
    expectThreeJobData();
    expectThreeJobClosure();
  }
}

TEST_F(ReaderTest, VelmarHeaderOnlyAndOrderStrengthZeroAddNoArcs) {
  selectClass(3, 0.2);
  writeFile(velmarJobPath(3, 1), threeJobVelmarJobs);
  writeFile(velmarPrecedencePath(2, 3, 0.2, 1), "four header words here");
  EXPECT_TRUE(readVelmarInstance(1));
  expectThreeJobData();
  expectNoArcs();

  // Order strength 0 has no precedence file, so none is looked for.
  resetInstance();
  selectClass(3, 0);
  EXPECT_TRUE(readVelmarInstance(1));
  expectThreeJobData();
  expectNoArcs();
}

TEST_F(ReaderTest, VelmarObjectiveChoosesThePrecedenceFiles) {
  selectClass(3, 0.05);
  writeFile(velmarJobPath(3, 2), threeJobVelmarJobs);
  writeFile(velmarPrecedencePath(3, 3, 0.05, 2), "h h h h 0 1 2 0");
  objType = 3;
  EXPECT_TRUE(readVelmarInstance(2));
  expectThreeJobClosure();

  // Any other objective has no precedence path: the open of the empty path fails.
  resetInstance();
  objType = 5;
  bool read = true;
  EXPECT_EQ(captureOutput([&] { read = readVelmarInstance(2); }), "Sample file  not found! \n");
  EXPECT_FALSE(read);
}

TEST_F(ReaderTest, MissingVelmarPrecedenceFileKeepsTheJobData) {
  selectClass(3, 0.02);
  writeFile(velmarJobPath(3, 4), threeJobVelmarJobs);
  const uint64_t waits = keyWaitCount();
  bool read = true;
  const std::string out = captureOutput([&] { read = readVelmarInstance(4); });
  EXPECT_FALSE(read);
  EXPECT_EQ(out,
            "Sample file Instances/Data-Velmar/wt003prec/0.02/wt003_004_0.02.dat not found! \n");
  EXPECT_EQ(keyWaitCount(), waits + 1);
  expectThreeJobData();
  expectNoArcs();
}

struct BadFile {
  std::string text;
  std::string problem; // the message after "Error! <routine>: <path>: "
};

TEST_F(ReaderTest, BadStandardFilesAreRefusedBeforeAnythingIsStored) {
  const std::vector<BadFile> cases = {
      {"121", "job count: 121 is outside 0..120"},
      {"-1 1 1 1 1 0", "job count: -1 is outside 0..120"},
      {"2 1 1 1 1 1 2  1 1 1 1 0", "successor of job 0: 2 is outside 0..1"},
      {"2 1 1 1 1 0  1 1 1 1 1 -1", "successor of job 1: -1 is outside 0..1"},
      {"2 1 1 1 1 1 99999999999999999999 1 1 1 1 0",
       "successor of job 0: 99999999999999999999 is outside 0..1"},
      {"1 65536 1 1 1 0", "processing time of job 0: 65536 is outside 0..65535"},
      {"1 1 -1 1 1 0", "due date of job 0: -1 is outside 0..65535"},
      {"1 1 1 70000 1 0", "earliness weight of job 0: 70000 is outside 0..65535"},
      {"1 1 1 1 65536 0", "tardiness weight of job 0: 65536 is outside 0..65535"},
      {"1 1 1 1 1 32768", "successor count of job 0: 32768 is outside -32768..32767"},
      {"2 1 1 1 1 0 1 x7 1 1 0", "due date of job 1: \"x7\" is not a number"},
      {"2 1 1 1 1 0 1 7.5 1 1 0", "due date of job 1: \"7.5\" is not a number"},
      {"two", "job count: \"two\" is not a number"},
      {"", "job count: the file ends early"},
      {"2 1 1 1 1 0 1 1", "earliness weight of job 1: the file ends early"},
      {"2 1 1 1 1 3 1 1", "successor of job 0: the file ends early"},
      {"2 40000 1 1 1 0 30000 1 1 1 0", "total processing time 70000 is above 65535"},
      {"1 65535 0 0 32769 0", "largest possible cost 2147516415 (sum of tardiness weight x "
                              "total processing time) is above 2147483647"},
  };
  selectClass(4, 0.8);
  const std::string path = standardInstancePath(4, 0.8, 9);
  for (const BadFile& bad : cases) {
    resetInstance();
    markTables();
    writeFile(path, bad.text);
    const uint64_t waits = keyWaitCount();
    bool read = true;
    const std::string out = captureOutput([&] { read = readStandardInstance(9); });
    EXPECT_FALSE(read) << bad.text;
    EXPECT_EQ(out, "Error! readStandardInstance: " + path + ": " + bad.problem + "\n");
    EXPECT_EQ(keyWaitCount(), waits + 1) << bad.text;
    expectTablesMarkedAndNoArcs();
  }
  // The largest cost that still fits is accepted.
  resetInstance();
  writeFile(path, "1 65535 0 0 32768 0");
  EXPECT_TRUE(readStandardInstance(9));
  EXPECT_EQ(totalP, 65535);
}

TEST_F(ReaderTest, BadVelmarJobFilesAreRefusedBeforeAnythingIsStored) {
  const std::vector<BadFile> cases = {
      {"130 1 1 1 1", "job count: 130 is outside 0..120"},
      {"2 1 1 1 1 1 1 one 1", "earliness weight of job 1: \"one\" is not a number"},
      {"2 1 1 1 1 1 1 1", "tardiness weight of job 1: the file ends early"},
      {"2 60000 1 1 1 6000 1 1 1", "total processing time 66000 is above 65535"},
  };
  selectClass(2, 0.1);
  const std::string path = velmarJobPath(2, 3);
  writeFile(velmarPrecedencePath(2, 2, 0.1, 3), "h h h h 0 1");
  for (const BadFile& bad : cases) {
    resetInstance();
    markTables();
    writeFile(path, bad.text);
    bool read = true;
    const std::string out = captureOutput([&] { read = readVelmarInstance(3); });
    EXPECT_FALSE(read) << bad.text;
    EXPECT_EQ(out, "Error! readVelmarInstance: " + path + ": " + bad.problem + "\n");
    expectTablesMarkedAndNoArcs();
  }
}

TEST_F(ReaderTest, BadVelmarPrecedenceFilesKeepTheJobDataAndAddNoArc) {
  const std::vector<BadFile> cases = {
      {"h h h", "header word 4: the file ends early"},
      {"h h h h 0 1 1 3", "second job of arc 2: 3 is outside 0..2"},
      {"h h h h -1 1", "first job of arc 1: -1 is outside 0..2"},
      {"h h h h 0 1 2", "second job of arc 2: the file ends early"},
      {"h h h h 0 1\n2 0\nend of arcs\n", "first job of arc 3: \"end\" is not a number"},
      {"h h h h 0 1 2 0x1", "second job of arc 2: \"0x1\" is not a number"},
  };
  selectClass(3, 0.005);
  writeFile(velmarJobPath(3, 8), threeJobVelmarJobs);
  const std::string path = velmarPrecedencePath(2, 3, 0.005, 8);
  for (const BadFile& bad : cases) {
    resetInstance();
    writeFile(path, bad.text);
    const uint64_t waits = keyWaitCount();
    bool read = true;
    const std::string out = captureOutput([&] { read = readVelmarInstance(8); });
    EXPECT_FALSE(read) << bad.text;
    EXPECT_EQ(out, "Error! readVelmarInstance: " + path + ": " + bad.problem + "\n");
    EXPECT_EQ(keyWaitCount(), waits + 1) << bad.text;
    expectThreeJobData();
    expectNoArcs();
  }
}

} // namespace
} // namespace precdp
