#!/usr/bin/env bash
# Takes the documentation's screenshots of the preview window on a private X server with a window
# manager (title bars and frames as users see them): docs/screenshots/opened-*.png, damaged-*.png.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/release, built with its tests)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

if [ "${1:-}" = "--shoot" ]; then
  openbox >/dev/null 2>&1 &
  wm=$!
  trap 'kill $wm 2>/dev/null || true' EXIT
  sleep 1
  QT_QPA_PLATFORM=xcb PAGIMO_SCREENSHOT_DIR="$3" "$2/tests/preview/screenshots_preview"
  exit 0
fi

cmake --build "$build" --target screenshots_preview
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --shoot "$build" "$tmp"
for shot in "$tmp"/*.png; do
  convert "$shot" -resize 1024x "docs/screenshots/$(basename "$shot")"
  echo "wrote docs/screenshots/$(basename "$shot")"
done
