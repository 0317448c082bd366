#include "platform/platform.h"
#include "support.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace precdp {
namespace {

TEST(Platform, KeyWaitReturnsAtOnceWithoutATerminal) {
  const uint64_t before = keyWaitCount();
  waitKey(); // standard input is /dev/null in the suite: must not block
  EXPECT_EQ(keyWaitCount(), before + 1);
}

TEST(Platform, ClockIsMonotonicCpuTimeAndCanBeStepped) {
  const int64_t start = clockTicks();
  volatile uint64_t spin = 0;
  for (int i = 0; i < 20000000; ++i) spin = spin + i;
  EXPECT_GT(secondsSince(start), 0.0);
  EXPECT_LT(secondsSince(start), 60.0);

  useSteppedClock(5);
  const int64_t first = clockTicks();
  EXPECT_EQ(clockTicks() - first, 5);
  // A difference far beyond 32 bits of ticks is still exact in seconds.
  useSteppedClock(int64_t{6000} * static_cast<int64_t>(clockTicksPerSecond));
  const int64_t reading = clockTicks();
  EXPECT_DOUBLE_EQ(secondsSince(reading), 6000.0);
  useSteppedClock(0);
}

TEST(Platform, MakeDirectoryAcceptsAnExistingDirectory) {
  char pattern[] = "/tmp/precdp-dir-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string path = std::string(pattern) + "/Reports";
  EXPECT_TRUE(makeDirectory(path.c_str()));
  EXPECT_TRUE(makeDirectory(path.c_str()));
  EXPECT_FALSE(makeDirectory((path + "/missing/deeper").c_str()));
  rmdir(path.c_str());
  rmdir(pattern);
}

TEST(Platform, TimeStampHasTheReportFileForm) {
  EXPECT_TRUE(testing::fitsPattern(localTimeStamp(), "####.##.##-##.##.##"));
}

} // namespace
} // namespace precdp
