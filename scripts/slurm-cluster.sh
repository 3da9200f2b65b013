#!/usr/bin/env bash
# A private one-node Slurm cluster on the loopback, everything in one folder: for the batch tests and
# benchmarks, which submit the repository's job array script to it.
#
#   scripts/slurm-cluster.sh start DIR [CPUS]   starts munged, slurmctld and slurmd (as root), waits
#                                              until the node is idle, prints SLURM_CONF=DIR/slurm.conf
#   scripts/slurm-cluster.sh stop DIR           stops the three daemons by their process ids
#
# Clients (sbatch, squeue, sinfo) need SLURM_CONF=DIR/slurm.conf. Nothing outside DIR is touched.
# Needs Debian's slurmctld, slurmd, slurm-client and munge.
set -euo pipefail
command=${1:?start or stop}
dir=$(realpath -m "${2:?the folder of the cluster}")
cpus=${3:-$(nproc)}

stop_pid() {
  local file=$1
  [ -f "$file" ] || return 0
  local pid
  pid=$(cat "$file" 2>/dev/null || true)
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

if [ "$command" = stop ]; then
  stop_pid "$dir/slurmd.pid"
  stop_pid "$dir/slurmctld.pid"
  stop_pid "$dir/munged.pid"
  exit 0
fi
[ "$command" = start ] || { echo "usage: $0 start|stop DIR [CPUS]" >&2; exit 2; }

for program in munged slurmctld slurmd sbatch sinfo; do
  command -v "$program" >/dev/null || [ -x "/usr/sbin/$program" ] || { echo "slurm-cluster: $program is not installed" >&2; exit 3; }
done
export PATH=$PATH:/usr/sbin
mkdir -p "$dir"/{munge,state,spool,log}
chmod 0755 "$dir"
chmod 0700 "$dir/munge"

# munge: a key of 1,024 random bytes, readable by its owner only.
head -c 1024 /dev/urandom >"$dir/munge/munge.key"
chmod 0400 "$dir/munge/munge.key"
munged --force --key-file="$dir/munge/munge.key" --socket="$dir/munge/munge.socket" \
  --pid-file="$dir/munged.pid" --log-file="$dir/log/munged.log" --seed-file="$dir/munge/munge.seed"

# Two free ports on the loopback for the controller and the node daemon.
read -r ctld_port node_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')

# The controller starts queued batch tasks at most every batch_sched_delay seconds (3 by default),
# which for the tests' tasks of a few seconds is a third of their time: the private cluster starts
# them as soon as a CPU is free, as high-throughput sites configure theirs.
memory=$(( $(awk '/MemTotal/ {print $2}' /proc/meminfo) / 1024 / 2 ))
cat >"$dir/slurm.conf" <<EOF
ClusterName=pagimo-test
SlurmctldHost=localhost
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
ReturnToService=2
SchedulerType=sched/backfill
SchedulerParameters=batch_sched_delay=0
MaxArraySize=10000
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=batch Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$dir/slurm.conf"
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
for _ in $(seq 150); do
  if sinfo -h -o '%T' 2>/dev/null | grep -qx idle; then
    echo "SLURM_CONF=$SLURM_CONF"
    exit 0
  fi
  sleep 0.2
done
echo "slurm-cluster: the node did not become idle; see $dir/log" >&2
exit 1
