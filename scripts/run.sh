#!/usr/bin/env bash
# Sets up, builds and runs Pagimo's main job: for now, qrptool's report on the sample QRP file that the
# build writes (build/release/sample.qrp). Usage: scripts/run.sh [qrptool ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
cmake --build --preset release -j "$(nproc)"
if (($#)); then
  exec build/release/tools/qrptool "$@"
fi
exec build/release/tools/qrptool info build/release/sample.qrp
