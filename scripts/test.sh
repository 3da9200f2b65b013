#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite.
# Usage: scripts/test.sh [PRESET] [--exclude LABEL_REGEX]
# Tests that start daemons of their own (labels cups, postgres, slurm) may be run once more when their
# first run fails (a start-up race of the private services); every other test has one run only.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
shift || true
exclude=""
if [ "${1:-}" = "--exclude" ]; then
  exclude="|$2"
  shift 2
fi
scripts/setup.sh "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
status=0
ctest --preset "$preset" -LE "^(cups|postgres|slurm)$exclude\$" "$@" || status=$?
daemons=(-L "^(cups|postgres|slurm)\$")
[ -n "$exclude" ] && daemons+=(-LE "^(${exclude#|})\$")
ctest --preset "$preset" "${daemons[@]}" --repeat until-pass:2 --no-tests=ignore "$@" || status=$?
exit $status
