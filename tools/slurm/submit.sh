#!/usr/bin/env bash
# Submits a selection of the plan to SLURM: a job array with one class per task, each asking
# for the memory its whole store may touch, and a merge job that runs when the array has ended.
# The options are precdp-plan's (--root, --out, the selection, --theorem, --threshold,
# --max-state, --threads, --precdp); ROOT/Instances, OUT and the executables must be on a
# filesystem every node sees. sbatch's own settings come from the SBATCH_* environment
# variables (SBATCH_PARTITION, SBATCH_TIMELIMIT, SBATCH_ACCOUNT, ...).
# Prints the two job ids: "array=ID merge=ID" (array=none when every class is complete).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
plan="$here/../precdp-plan"
threads=1
for ((i = 1; i <= $#; ++i)); do
  [ "${!i}" = --threads ] && { next=$((i + 1)); threads="${!next}"; }
done

# jobs=N mem_mb=M file=PATH: the classes still to run, one command a line.
read -r jobs mem file < <(/usr/bin/python3 "$plan" "$@" --write-jobs)
jobs=${jobs#jobs=} mem=${mem#mem_mb=} file=${file#file=}

dependency=()
array=none
if [ "$jobs" -gt 0 ]; then
  array=$(sbatch --parsable --job-name=precdp-class --array="1-$jobs" --mem="${mem}M" \
    --cpus-per-task="$threads" --output="$(dirname "$file")/slurm-%A_%a.out" \
    "$here/class-task.sh" "$file")
  array=${array%%;*}
  dependency=(--dependency="afterany:$array")
fi
merge=$(sbatch --parsable --job-name=precdp-merge "${dependency[@]}" --mem=1G \
  --output="$(dirname "$file")/slurm-merge-%j.out" "$here/merge-task.sh" "$plan" "$@")
echo "array=$array merge=${merge%%;*}"
