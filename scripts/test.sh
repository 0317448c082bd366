#!/usr/bin/env bash
# Builds and runs the whole test suite twice: the Release build, then a build with the address
# and undefined-behaviour sanitizers. Fails when anything does not build or a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
for variant in release sanitize; do
  dir=build
  flags=(-DCMAKE_BUILD_TYPE=Release -DPRECDP_SANITIZE=OFF)
  if [ "$variant" = sanitize ]; then
    dir=build-sanitize
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRECDP_SANITIZE=ON)
  fi
  echo "== $variant build ($dir) =="
  cmake -S . -B "$dir" "${flags[@]}" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure </dev/null
done
