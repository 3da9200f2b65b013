#!/usr/bin/env bash
# Takes the documentation's screenshots of the live preview (pagimo REPORT.form) on a private X server
# with a window manager: docs/screenshots/live-preview.png (the invoice example running),
# live-preview-error.png (the same description with a mistake saved into it) and
# live-preview-warnings.png (mended, but with a misspelt field that still gives pages).
# Usage: scripts/live-screenshots.sh [BUILD_DIR]   (default build/release, with pagimo and the example database)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

if [ "${1:-}" = "--shoot" ]; then
  build=$(cd "$2" && pwd) tmp=$3
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  (cd "$tmp" && exec "$build/shell/pagimo" -platform xcb invoice.form --db "$build/examples/invoices.db") &
  viewer=$!
  trap 'kill $viewer $wm 2>/dev/null || true' EXIT
  sleep 4
  import -window root "$tmp/live-preview.png"
  # A mistake saved into the description: the window shows it in place of the pages.
  sed -i 's/^    Units = Native$/    Units = Furlongs/' "$tmp/invoice.form"
  sleep 3
  import -window root "$tmp/live-preview-error.png"
  # Mended, with a field name misspelt: pages, and the warnings above them.
  cp examples/invoice.form "$tmp/invoice.form.new"
  sed -i "s/\[Invoices.issued\]/[Invoices.isued]/" "$tmp/invoice.form.new"
  mv "$tmp/invoice.form.new" "$tmp/invoice.form"
  sleep 3
  import -window root "$tmp/live-preview-warnings.png"
  exit 0
fi

cmake --build "$build" --target pagimo example_db
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp examples/invoice.form "$tmp/"
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --shoot "$build" "$tmp"
for shot in live-preview live-preview-error live-preview-warnings; do
  convert "$tmp/$shot.png" -resize 1024x "docs/screenshots/$shot.png"
  echo "wrote docs/screenshots/$shot.png"
done
