#!/usr/bin/env bash
# One task of the plan's job array: runs line SLURM_ARRAY_TASK_ID of the command file that
# precdp-plan --write-jobs wrote (one class's precdp batch run into its part directory).
set -euo pipefail
command=$(sed -n "${SLURM_ARRAY_TASK_ID}p" "$1")
[ -n "$command" ] || { echo "no command $SLURM_ARRAY_TASK_ID in $1" >&2; exit 2; }
exec bash -c "$command"
