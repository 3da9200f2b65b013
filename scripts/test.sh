#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. Usage: scripts/test.sh [PRESET] [ctest args...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
shift || true
scripts/setup.sh "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" "$@"
