#!/usr/bin/env bash
# The repository's Slurm array script on a real Slurm: a single-node cluster
# (munged, slurmctld, slurmd) set up in a temporary folder, the collection's
# tiles made as 4 array tasks, merged, verified against the manifests and
# compared with one local run. Every daemon started here is stopped on
# every way out. When the machine cannot run the cluster, the test fails
# and says why.
#   slurm_tiles_test.sh GEOMAP REPOSITORY
set -euo pipefail
geomap=$(realpath "$1")
repo=$(realpath "$2")
maps=$repo/samples/atlas
zoom=2-7

for p in munged mungekey slurmctld slurmd sbatch sinfo; do
  command -v "$p" >/dev/null || {
    echo "FAIL: $p is missing (scripts/setup.sh test installs slurm-wlm and munge)" >&2
    exit 1
  }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/slurm_tiles.XXXXXX")
pids=()
stop() {
  local status=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ "$status" -ne 0 ]; then
    for log in "$work"/*.log; do
      [ -f "$log" ] && { echo "--- ${log##*/}"; tail -n 20 "$log"; } >&2
    done
  fi
  rm -rf "$work"
  exit "$status"
}
trap stop EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Waits up to 15 s for the command to succeed.
await() {
  for _ in $(seq 150); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# munge: its own key, socket and state in the folder.
mkdir -m 700 "$work/munge"
mungekey --create --keyfile="$work/munge/munge.key" 2>/dev/null ||
  dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 600 "$work/munge/munge.key"
socket=$work/munge/munge.socket
munged --foreground --force --key-file="$work/munge/munge.key" --socket="$socket" \
  --pid-file="$work/munge/munged.pid" --seed-file="$work/munge/munge.seed" \
  --log-file="$work/munged.log" 2>>"$work/munged.log" &
pids+=($!)
await test -S "$socket" || fail "munged did not start (see munged.log)"

host=$(hostname -s)
ctld_port=$(free_port)
slurmd_port=$(free_port)
[ "$ctld_port" != "$slurmd_port" ] || slurmd_port=$(free_port)
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=marovia
SlurmctldHost=$host(127.0.0.1)
SlurmUser=$(id -un)
SlurmdUser=$(id -un)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
SchedulerType=sched/builtin
SlurmctldTimeout=30
SlurmdTimeout=30
InactiveLimit=0
MinJobAge=30
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=tiles Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

slurmctld -D -i -f "$SLURM_CONF" >>"$work/slurmctld.log" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >>"$work/slurmd.log" 2>&1 &
pids+=($!)
await sh -c 'sinfo -h -o %T | grep -Eq "^(idle|mixed|allocated)"' ||
  fail "the Slurm node did not come up: $(sinfo -h -o '%N %T %E' 2>&1 | head -n 3)"

# The array: 4 tasks, each one shard.
export GEOMAP=$geomap
mkdir "$work/shards"
sbatch --wait --quiet --array=0-3 --output="$work/task-%a.log" --chdir="$work" \
  "$repo/scripts/cluster/tiles_array.sbatch" "$maps" "$work/shards/atlas.pmtiles" --zoom "$zoom" ||
  fail "the array job failed: $(cat "$work"/task-*.log 2>/dev/null)"
for k in 1 2 3 4; do
  grep -q "part $k/4 (Slurm array task $((k - 1)))" "$work"/task-*.log ||
    fail "no task made part $k/4 from the array's variables"
done

"$geomap" tiles merge "$work"/shards/atlas.part-*.pmtiles -o "$work/merged.pmtiles"
"$geomap" tiles verify "$work/merged.pmtiles" "$work/shards" || fail "verify found faults"
"$geomap" tiles "$maps" -o "$work/one.pmtiles" --zoom "$zoom" >/dev/null
cmp "$work/one.pmtiles" "$work/merged.pmtiles" ||
  fail "the merged shards differ from one local run"
echo "4 Slurm array tasks merged: the archive of one local run, byte for byte"
