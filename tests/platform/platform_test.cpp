#include "platform/platform.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace precdp {
namespace {

// Key waits, directories and time stamps are exercised by every test that reads or reports.
TEST(Platform, ClockIsCpuTimeAndExactFarBeyond32BitsOfTicks) {
  const int64_t beforeSleep = clockTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LT(secondsSince(beforeSleep), 0.1); // a sleeping process uses no CPU time

  useSteppedClock(int64_t{6000} * static_cast<int64_t>(clockTicksPerSecond));
  const int64_t reading = clockTicks();
  EXPECT_DOUBLE_EQ(secondsSince(reading), 6000.0);
  useSteppedClock(0);
}

} // namespace
} // namespace precdp
