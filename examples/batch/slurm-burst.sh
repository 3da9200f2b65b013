#!/bin/bash
# A Slurm job array that bursts a report into one file per key, each task making its shard of the keys
# into one folder all tasks share. Submit it with as many tasks as you want shards:
#
#   FORM=/shared/invoice-pages.form DB=/shared/invoices.db OUT=/shared/invoices \
#     sbatch --array=0-3 examples/batch/slurm-burst.sh
#
# (sbatch hands its whole environment to the tasks by default. Naming variables in --export=ALL,...
# works too, but makes slurmd build each task's environment from a login shell of the user first,
# which added about a second to the start of every task on the test cluster.)
#
# FORM  the report description            KEY  the burst expression (default [L.number])
# OUT   the shared output folder          EXT  the output type: pdf (default), qrp, txt, csv, html
# DB    the database for its SQLite sets (optional)
# QRPTOOL  the program (default qrptool from PATH)
#
# Each task reads the report's records once, takes from SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT
# which keys are its own (--shard auto) and writes OUT/manifest.I-of-N.csv as its outputs are finished.
# A task that failed (node lost, time limit) is simply submitted again: --resume keeps what it made.
# Afterwards: qrptool manifest check OUT
#
#SBATCH --job-name=pagimo-burst
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --output=pagimo-burst-%A_%a.log
set -euo pipefail
: "${FORM:?FORM: the report description}" "${OUT:?OUT: the shared output folder}"
args=(report "$FORM" --burst "${KEY:-[L.number]}" -o "$OUT/{key}.${EXT:-pdf}" --shard auto --resume --progress)
if [ -n "${DB:-}" ]; then args+=(--db "$DB"); fi
exec "${QRPTOOL:-qrptool}" "${args[@]}"
