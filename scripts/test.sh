#!/usr/bin/env bash
# Builds and runs the whole test suite: the Release build, then a build with the address and
# undefined-behaviour sanitizers, the stages on several threads under ThreadSanitizer, then a
# short fuzzing run of the readers and the dialogue when clang is there. Fails when anything does
# not build, a test fails, the fuzzer finds a fault or the tests pass 35% of the code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/test-ratio.sh
jobs=$(nproc 2>/dev/null || echo 2)

# build_and_test NAME DIR CMAKE-FLAGS...: configures DIR, builds it and runs its CTest suite.
build_and_test() {
  local name=$1 dir=$2
  shift 2
  echo "== $name build ($dir) =="
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure </dev/null
}

build_and_test release build -DCMAKE_BUILD_TYPE=Release -DPRECDP_SANITIZE=OFF
PRECDP_BUILD=build /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/tools </dev/null
build_and_test sanitize build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRECDP_SANITIZE=ON

# ThreadSanitizer on the tests that run DP stages on several threads; only the DP's tests are
# built there.
echo "== thread sanitizer build (build-tsan) =="
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRECDP_SANITIZE=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target precdp-dp-tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/precdp-dp-tests --gtest_filter='DpThreads.*' </dev/null

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz (build-fuzz) =="
  scripts/fuzz.sh 15
fi

if [ "$(id -u)" -eq 0 ] && command -v slurmd >/dev/null; then
  echo "== SLURM self-test =="
  tools/slurm/selftest.sh build </dev/null
else
  echo "== SLURM self-test skipped: it needs root and slurm-wlm =="
fi
