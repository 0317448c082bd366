#!/usr/bin/env bash
# The main job: builds Release, writes the default instance tree into work/ when it is missing,
# and starts the console bench there (it asks its questions on this terminal).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
for tool in precdp-gen precdp; do
  if [ ! -x "build/$tool" ]; then
    echo "build/$tool is not built yet: the console bench is not complete" >&2
    exit 1
  fi
done
mkdir -p work
if [ ! -d "work/Instances" ]; then
  echo "writing the default instance tree into work/Instances ..." >&2
  (cd work && "$root/build/precdp-gen")
fi
cd work
exec "$root/build/precdp"
