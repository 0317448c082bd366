#!/usr/bin/env bash
# Prints the non-blank lines of the tests against those of the code (src, tools, bench) and
# fails when the tests pass 35% of the code: a suite that grows faster than the code it checks
# starts restating it.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files "$@" | xargs grep -v '^\s*$' | wc -l; }
tests=$(count tests)
code=$(count src tools bench)
percent=$((100 * tests / code))
echo "tests $tests, code $code non-blank lines: ${percent}%"
if [ $((100 * tests)) -gt $((35 * code)) ]; then
  echo "FAILED: the tests are above 35% of the code" >&2
  exit 1
fi
