#!/usr/bin/env bash
# The plan's merge job: replays the threshold over the class runs and writes the merged report
# files. Arguments: the precdp-plan script, then the plan's options. Exit 1 when a class run
# is not complete (its part directory holds its messages).
set -euo pipefail
plan=$1
shift
exec /usr/bin/python3 "$plan" "$@" --merge-only
