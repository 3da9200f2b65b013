#!/usr/bin/env bash
# Sets up, builds and runs Pagimo's main job. Usage: scripts/run.sh [ARGS for the program]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
cmake --build --preset release -j "$(nproc)"
exec build/release/tools/qrptool "${@:---help}"
