#include "dp/dp.h"
#include "instance/instance.h"
#include "support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace precdp {
namespace {

using namespace testing;

void loadEmptyJobs(int n) {
  loadInstance(std::vector<Job>(n, {1, 0, 1}));
}

// The chain 119 -> 60 -> 59 -> 0 runs against the numbering and across the word boundary, so
// a job placed in the wrong word or bit shows as a wrong pair.
TEST(AddPrec, ClosureIsTheSameInAnyArcOrder) {
  const int chain[] = {119, 60, 59, 0};
  for (const std::vector<int>& order : {std::vector{2, 0, 1}, {0, 1, 2}, {1, 2, 0}}) {
    loadEmptyJobs(120);
    for (int k : order) addPrec(chain[k], chain[k + 1]); // arc k: chain[k] before chain[k + 1]
    int orderedPairs = 0;
    for (int j = 0; j < maxJobs; ++j)
      for (int k = 0; k < maxJobs; ++k) orderedPairs += contains(pred[j], k);
    EXPECT_EQ(orderedPairs, 6);
    for (int a = 0; a < 4; ++a)
      for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(contains(pred[chain[b]], chain[a]), a < b) << a << " " << b;
        EXPECT_EQ(contains(succ[chain[a]], chain[b]), a < b) << a << " " << b;
      }
  }
}

// The readers' tests give implied and repeated arcs, which must pass without a word.
TEST(AddPrec, ACycleIsReportedPerPairAndAdded) {
  loadEmptyJobs(3);
  EXPECT_EQ(console([] { addPrec(2, 2); }), (Console{"Error! addPrec\n", 1}));
  EXPECT_TRUE(contains(pred[2], 2) && contains(succ[2], 2));

  loadEmptyJobs(2);
  addPrec(0, 1);
  EXPECT_EQ(console([] { addPrec(1, 0); }),
            (Console{"Error! addPrec\nError! addPrec\nError! addPrec\n", 3}));
  EXPECT_TRUE(pred[0] == setOf({0, 1}) && pred[1] == setOf({0, 1}) && succ[0] == setOf({0, 1}));
}

#ifndef __SANITIZE_ADDRESS__ // the sanitizer's own reservations do not fit a small address space
TEST(InitTables, StoreThatCannotBeObtainedIsReportedNotThrown) {
  // In a child process limited to 4 GiB of address space the 8.58 GB store cannot exist: the
  // call must come back with false and a message naming the memory needed.
  EXPECT_EXIT(
      {
        const Console out = console([] {
          rlimit limit{uint64_t{4} << 30, uint64_t{4} << 30};
          setrlimit(RLIMIT_AS, &limit);
          if (initTables() || stateSet[0][0] != nullptr || layerCapacity != 0) std::_Exit(1);
        });
        std::_Exit(out.text.find("7800000000 bytes") != std::string::npos ? 7 : 2);
      },
      ::testing::ExitedWithCode(7), "");
}
#endif

// Job 0 before job 2; the sequence 0, 2, 1 completes at 2, 3, 6 and costs 0 + 3 + 8.
TEST(SequenceFault, NamesWhatKeepsASequenceFromBeingAScheduleOfTheObjective) {
  loadInstance({{2, 2, 1}, {3, 2, 2}, {1, 2, 3}}, {{0, 2}});
  const FileInstance instance = snapshotFileInstance();
  struct Case {
    std::vector<uint16_t> sequence;
    int64_t objective;
    std::string fault;
  };
  const Case cases[] = {
      {{0, 2, 1}, 11, ""},
      {{0, 2, 1}, 10, "weighted tardiness 11 of the sequence differs from obj 10"},
      {{2, 0, 1}, 14, "job 2 comes before one of its predecessors"},
      {{0, 2}, 3, "2 jobs in a sequence of an instance with 3"},
      {{0, 2, 2}, 6, "job 2 is not one of the instance's jobs or occurs twice"},
      {{0, 2, 3}, 3, "job 3 is not one of the instance's jobs or occurs twice"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sequenceFault(instance, c.sequence, c.objective), c.fault) << c.objective;
  // Completion times beyond 16 bits are summed exactly, not wrapped as the DP's times are.
  loadInstance({{60000, 0, 1000}, {60000, 0, 1000}});
  EXPECT_EQ(sequenceFault(snapshotFileInstance(), {1, 0}, 180000000), "");
}

} // namespace
} // namespace precdp
