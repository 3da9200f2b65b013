#!/usr/bin/env bash
# Takes the screenshot of the preview that "Prohlížet" opens (the help report) under a private X
# server: docs/screenshots/help-report.png. Usage: scripts/screenshot-help-report.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
out=docs/screenshots/help-report.png

if [ "${1:-}" = "--shoot" ]; then
  build=$2
  "$build/shell/pagimo" >/dev/null 2>&1 &
  pid=$!
  trap 'kill $pid 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    main=$(xwininfo -root -tree | grep -E '"Pagimo 1\.2": \("pagimo"' || true)
    [ -n "$main" ] && break
    sleep 0.2
  done
  [ -n "$main" ] || { echo "the main window did not appear" >&2; exit 1; }
  sleep 1
  IFS='x+' read -r _ _ x y < <(grep -oE '[0-9]+x[0-9]+\+[0-9]+\+[0-9]+' <<<"$main" | head -1)
  # "Prohlížet" is the left button of the main window: a pointer click through XTEST.
  python3 "$(dirname "$0")/x-click.py" $((x + 54)) $((y + 17))
  for _ in $(seq 1 100); do
    preview=$(xwininfo -root -tree | grep -E '\("pagimo" "Pagimo"\)' | grep -v '"Pagimo 1\.2"' || true)
    [ -n "$preview" ] && break
    sleep 0.2
  done
  [ -n "$preview" ] || { echo "the preview did not appear" >&2; exit 1; }
  sleep 2 # the preview paints its page
  import -window root "$3"
  exit 0
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --shoot "$build" "$tmp/screen.png"
convert "$tmp/screen.png" -resize 1024x "$out"
echo "wrote $out"
