// Stages on several threads: obj, uas, ts and the traced sequence as on one thread (and as by
// the scalar pricing), for instances with and without precedence, with jobs in both set words,
// wrapped times, and runs stopped by the layer capacity. Stages of a few parents are split too, so
// that windows are small, many and often empty. Without precedence the stages keep their layers'
// costs; with a few arcs, 20 jobs make layers large enough for the middle stages to record in
// place. Where the relation is not plain (a shuffled numbering, times that wrap) stages split into
// windows, whose rooms are also made too small, so that split stages run again on one thread.
#include "dp/dp.h"
#include "support.h"

#include <gtest/gtest.h>
#include <numeric>
#include <string>
#include <tuple>

namespace precdp {
namespace {

using namespace testing;

// obj, uas, ts, the traced sequence and the warnings printed.
using ThreadRun = std::tuple<int32_t, uint32_t, uint64_t, std::vector<uint16_t>, std::string>;

// With `stages` > 0 the time limit stops the run after that many stages: each clock reading
// then advances by one second.
ThreadRun solveOn(unsigned threads, int stages) {
  dpThreads = threads;
  resetStore();
  useSteppedClock(stages > 0 ? int64_t{1000000000} : 0);
  maxCPU = stages > 0 ? stages + 0.5 : 1e9;
  startClock = clockTicks();
  const Console output = console(dpSolve);
  useSteppedClock(0);
  dpThreads = 1;
  return {resultSlot(), maxLayerSize, totalStates,
          tracedSequence().value_or(std::vector<uint16_t>{}), output.text};
}

struct Case {
  int n;
  double arcChance;
  RandomShape shape;
  uint32_t capacity;    // states per layer; testCapacity unless the run is to stop there
  int stages = 0;       // stages before the time limit stops the run; 0: no limit
  bool windows = false; // not plain: the stages split into windows
};

TEST(DpThreads, SameRunsOnEveryThreadCount) {
  const Case cases[] = {{14, 0.0, {}, testCapacity},
                        {18, 0.0, {50, 9}, testCapacity},
                        {18, 0.0, {}, testCapacity, 10},
                        {70, 0.15, {30, 7}, testCapacity, 30},
                        {18, 0.05, {}, testCapacity},
                        {20, 0.01, {}, testCapacity},
                        {16, 0.05, {20, 5, 0, true}, testCapacity, 0, true},
                        {14, 0.1, {5000, 30000}, testCapacity},
                        {70, 0.15, {30, 7}, testCapacity},
                        {120, 0.2, {30, 7}, testCapacity},
                        {14, 0.0, {}, 1500},
                        {16, 0.05, {}, 800},
                        {66, 0.1, {30, 7}, 1000},
                        {66, 0.2, {2400, 7}, testCapacity, 0, true}};
  std::mt19937 random(7071);
  TraceStore trace(uint64_t{1} << 22);
  const uint32_t savedThreshold = threadedParents;
  const double savedSlack = windowSlack;
  const uint32_t savedChunk = pricingChunk;
  for (const Case& c : cases)
    for (uint32_t threshold : {1u, 300u}) {
      StoreCapacity store(c.capacity);
      loadRandomInstance(random, c.n, c.arcChance, c.shape);
      threadedParents = threshold;
      pricingChunk = threshold == 1 ? 5 : savedChunk; // chunks priced while the layer grows
      const ThreadRun one = solveOn(1, c.stages);
      if (pricingByStreams) { // and by the scalar loop, the same trace
        pricingByStreams = false;
        EXPECT_EQ(solveOn(1, c.stages), one) << "n " << c.n << ", scalar pricing";
        pricingByStreams = true;
      }
      // No slack: large windows outgrow a sampled estimate now and then. Less than none: every
      // window does, and every split stage runs again.
      for (double slack : {savedSlack, 0.0, -0.5}) {
        if (!c.windows && slack != savedSlack) continue; // no windows, no rooms
        windowSlack = slack;
        for (unsigned threads : {2u, 3u, 4u}) {
          EXPECT_EQ(solveOn(threads, c.stages), one)
              << "n " << c.n << ", " << threads << " threads, slack " << slack;
          if (threshold == 1) { // every stage of two parents or more is split
            EXPECT_GT(splitTimes.stages, 0u) << "n " << c.n;
            if (slack < 0 && c.windows) {
              EXPECT_GT(splitTimes.redone, 0u) << "n " << c.n;
            }
          }
        }
      }
      windowSlack = savedSlack;
      EXPECT_EQ(std::get<0>(one) == -1, c.capacity != testCapacity || c.stages > 0) << "n " << c.n;
      EXPECT_GT(std::get<2>(one), 100u) << "n " << c.n;
    }
  threadedParents = savedThreshold;
  pricingChunk = savedChunk;
}

// Without weights every offer ties, and each state keeps its earliest parent: the one that
// adds the least job outside it, so the sequence is the numbering itself.
TEST(DpThreads, TiesKeepTheEarlierParent) {
  std::mt19937 random(5);
  TraceStore trace(uint64_t{1} << 22);
  StoreCapacity store(testCapacity);
  loadRandomInstance(random, 20, 0.01, {20, 0});
  std::vector<uint16_t> numbering(20);
  std::iota(numbering.begin(), numbering.end(), uint16_t{0});
  for (unsigned threads : {1u, 2u})
    EXPECT_EQ(std::get<3>(solveOn(threads, 0)), numbering) << threads << " threads";
}

} // namespace
} // namespace precdp
