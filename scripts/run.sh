#!/usr/bin/env bash
# The main job: builds the console bench and the instance generator (Release), writes the
# default instance tree into work/ when it is missing, and starts the bench there. The bench
# asks its questions on this terminal and writes its report files into work/Reports/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target precdp precdp-gen
mkdir -p work
if [ ! -d "work/Instances" ]; then
  echo "writing the default instance tree into work/Instances ..." >&2
  # Into a temporary directory first, so an interrupted run never leaves half a tree behind.
  rm -rf work/.Instances.partial
  mkdir -p work/.Instances.partial
  "$root/build/precdp-gen" --root work/.Instances.partial
  mv work/.Instances.partial/Instances work/Instances
  rmdir work/.Instances.partial
fi
cd work
exec "$root/build/precdp"
