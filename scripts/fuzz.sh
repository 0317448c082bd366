#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz and runs each for SECONDS
# (default 60) on its seed corpus in tests/fuzz/corpus/<target>. New inputs go to a scratch
# corpus, never into the committed one. Fails on any crash, sanitizer report, leak or timeout
# (one second per input) and says where the failing input was saved.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz
CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRECDP_FUZZ=ON >/dev/null
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)"

status=0
for corpus in tests/fuzz/corpus/*/; do
  target=$(basename "$corpus")
  scratch="$dir/scratch/$target"
  artifacts="$dir/artifacts/$target/"
  rm -rf "$scratch"
  mkdir -p "$scratch" "$artifacts"
  echo "== $target: ${seconds}s =="
  # stdout closed: the readers' messages would flood the log. stdin empty: no key waits.
  if ! "$dir/$target" -max_total_time="$seconds" -timeout=1 -close_fd_mask=1 \
       -artifact_prefix="$artifacts" -print_final_stats=1 "$scratch" "$corpus" \
       </dev/null >"$dir/$target.log" 2>&1; then
    tail -n 30 "$dir/$target.log"
    echo "FAILED: $target; failing input saved in $artifacts:" >&2
    ls "$artifacts" >&2
    status=1
  else
    grep -E '^stat::number_of_executed_runs|^Done' "$dir/$target.log" || true
  fi
done
exit $status
