#!/usr/bin/env bash
# Sets up, builds and runs Pagimo: the viewer on the given QRP file, or on the sample report that the
# build writes (build/release/sample.qrp). Without a display it describes the file with qrptool instead.
# Usage: scripts/run.sh [FILE.qrp]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
cmake --build --preset release -j "$(nproc)"
file=${1:-build/release/sample.qrp}
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/shell/pagimo "$file"
fi
echo "run: no display; describing $file with qrptool (the viewer needs an X11 or Wayland session)"
exec build/release/tools/qrptool info "$file"
