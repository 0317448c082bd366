#include "platform/platform.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace precdp {
namespace {

// Key waits, directories and time stamps are exercised by every test that reads or reports, and
// the stepped clock by those that time a run.
TEST(Platform, ClockIsCpuTime) {
  const int64_t beforeSleep = clockTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_LT(secondsSince(beforeSleep), 0.1); // a sleeping process uses no CPU time
}

} // namespace
} // namespace precdp
