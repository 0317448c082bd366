#!/usr/bin/env bash
# Runs a two-class plan through a single-node SLURM started on this machine and checks the
# merged report files against a sequential batch run of the same selection.
#
# munged, slurmctld and slurmd run in the foreground on 127.0.0.1 with a fresh key, free ports
# and their configuration, state and logs in a temporary directory; they are stopped at the
# end. Needs root (slurmd starts the tasks) and the Debian packages munge and slurm-wlm.
# Usage: tools/slurm/selftest.sh [BUILD_DIR]   (default: build)
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$repo/build}" && pwd)"
for program in munged slurmctld slurmd sbatch squeue; do
  command -v "$program" >/dev/null || { echo "selftest: $program is missing" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "selftest: slurmd needs root" >&2; exit 2; }

work=$(mktemp -d /tmp/precdp-slurm.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  local status=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ $status -ne 0 ]; then
    echo "selftest: FAILED; logs in $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# A selection whose small capacity makes DPs fail, so the threshold is carried between the
# classes; the merge must reproduce that from runs made independently.
selection=(--dataset standard --n 20 --os 0.8,0.4 --instances 1-8 --theorem kanet
  --threshold 0.45 --max-state 1500)
"$build/precdp-gen" --root "$work/tree" --family standard --n 20 --os 0.8 0.4 --count 8 >/dev/null
mkdir -p "$work/sequential"
ln -s "$work/tree/Instances" "$work/sequential/Instances"
"$build/precdp" "${selection[@]}" --root "$work/sequential" --quiet >/dev/null 2>&1

# ---- A single-node cluster ------------------------------------------------------------------
dd if=/dev/urandom of="$work/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge.key"
munged -F -f --key-file="$work/munge.key" --socket="$work/munge.socket" \
  --pid-file="$work/munged.pid" --seed-file="$work/munged.seed" \
  --log-file="$work/munged.log" >"$work/munged.out" 2>&1 &
pids+=($!)
read -r controller_port node_port < <(/usr/bin/python3 -c '
import socket
sockets = [socket.socket() for _ in range(2)]
for s in sockets: s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in sockets))')
node=$(hostname -s)
memory_mb=$(($(awk '/MemTotal/ {print $2}' /proc/meminfo) / 2048))
mkdir -p "$work/state" "$work/spool"
cat >"$work/slurm.conf" <<EOF
ClusterName=precdpselftest
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$node_port
AuthType=auth/munge
AuthInfo=socket=$work/munge.socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$memory_mb State=UNKNOWN
PartitionName=selftest Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$work/slurm.conf"
for _ in $(seq 50); do [ -S "$work/munge.socket" ] && break; sleep 0.1; done
slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$work/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ "$(sinfo -h -o %T 2>/dev/null)" = idle ] && break
  sleep 0.2
done
[ "$(sinfo -h -o %T 2>/dev/null)" = idle ] || { echo "selftest: the node did not come up" >&2; exit 1; }

# ---- The plan through SLURM -----------------------------------------------------------------
ids=$("$repo/tools/slurm/submit.sh" "${selection[@]}" --root "$work/tree" --out "$work/merged" \
  --precdp "$build/precdp")
echo "selftest: submitted $ids" >&2
for _ in $(seq 600); do
  [ -z "$(squeue -h 2>/dev/null)" ] && break
  sleep 0.2
done
[ -z "$(squeue -h)" ] || { echo "selftest: jobs still queued after two minutes" >&2; exit 1; }
/usr/bin/python3 "$repo/tests/tools/plan/compare_reports.py" "$work/sequential/Reports" "$work/merged"
echo "selftest: the merged reports of the SLURM plan match the sequential run" >&2
