#!/bin/sh
# Rewrites the class reference at the end of docs/REPORTS.md from the class registry, so that the
# guide lists what the reader accepts (test ClassReference.GuideCarriesTheReference checks it).
# Usage: scripts/update-reference.sh [BUILD_DIR]   (default build/release)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/release}
guide=docs/REPORTS.md
tmp=$(mktemp "$guide.XXXXXX")
trap 'rm -f "$tmp"' EXIT
sed '/^## Class reference$/,$d' "$guide" > "$tmp"
LC_ALL=C.UTF-8 "$build/tools/qrptool" classes --markdown >> "$tmp"
mv "$tmp" "$guide"
trap - EXIT
