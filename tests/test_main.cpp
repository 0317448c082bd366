// The suite never waits for a key: standard input is detached before any test runs. Every
// test finds jobBit built and a small DP store allocated.
#include "dp/dp.h"
#include "support.h"

#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (std::freopen("/dev/null", "r", stdin) == nullptr) return 1;
  ::testing::InitGoogleTest(&argc, argv);
  precdp::buildJobBits();
  if (!precdp::allocateStore(precdp::testing::testCapacity)) return 1;
  const int result = RUN_ALL_TESTS();
  precdp::freeStore();
  return result;
}
