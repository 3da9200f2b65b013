#!/usr/bin/env bash
# Takes the documentation's screenshots of the HTML viewer (qrptool convert FILE OUT.html) in headless
# Chromium: docs/screenshots/web-*.png. The viewer opens where its address says (#page, #search,
# #pagemode=thumbs), so no clicking is needed.
# Usage: scripts/web-screenshots.sh [BUILD_DIR]   (default build/release, with the example reports built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/tools/qrptool" convert "$build/examples/invoice.qrp" "$tmp/invoice.html" --title "Invoices, first quarter"
"$build/tools/qrptool" convert "$build/examples/handbook.qrp" "$tmp/handbook.html" --title "Report author's handbook"
shoot() { # NAME FILE#FRAGMENT
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$tmp/profile" --hide-scrollbars \
    --window-size=1280,860 --virtual-time-budget=5000 --screenshot="$tmp/$1.png" "file://$tmp/$2" >/dev/null 2>&1
  convert "$tmp/$1.png" -resize 1024x "docs/screenshots/$1.png"
  echo "wrote docs/screenshots/$1.png"
}
shoot web-viewer "invoice.html"
shoot web-viewer-find "invoice.html#search=celkem"
shoot web-viewer-thumbnails "handbook.html#page=3&pagemode=thumbs"
