#!/usr/bin/env bash
# Times qrptool render and convert on each hostile page (tests/HostilePages.h: a million-point dashed
# polyline, wide-pen polylines, polygons, poly-polygons, clips of a million rectangles, OR'ed regions,
# million-point paths) in the release build, with /usr/bin/time -v. Each run must end within 5 s with
# exit status 1 and a message, and stay under 1 GB peak memory; the near-* pages, just within the
# budget, must be drawn in full (exit 0) under 1 GB, and their times show the most work a page may
# take (about 1 to 3 s on an idle machine; not held to 5 s, as a loaded machine doubles them). Any
# run that breaks these fails the script.
# Usage: scripts/hostile-pages.sh [PRESET]   (default release)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
build=build/$preset
cmake --build --preset "$preset" -j "$(nproc)" --target qrptool test_tools >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/hostile-pages-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The test writes the pages it checks into PAGIMO_HOSTILE_DIR.
PAGIMO_HOSTILE_DIR=$work "$build/tests/tools/test_tools" --gtest_filter='QrptoolHostile.*' >"$work/test.log" 2>&1 ||
  { cat "$work/test.log"; exit 1; }
qrptool=$build/tools/qrptool
status=0
printf '%-32s %-8s %8s %10s %5s  %s\n' page command seconds "peak MB" exit message
for page in "$work"/*.emf; do
  name=$(basename "$page" .emf)
  for command in render convert; do
    if [ "$command" = render ]; then args=(render "$page" -o "$work/$name.png"); else args=(convert "$page" "$work/$name.pdf"); fi
    rc=0
    /usr/bin/time -v -o "$work/time.txt" "$qrptool" "${args[@]}" 2>"$work/err.txt" >/dev/null || rc=$?
    # /usr/bin/time passes the command's exit status on.
    seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time.txt")
    kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    message=$(head -1 "$work/err.txt")
    printf '%-32s %-8s %8.2f %10.0f %5d  %s\n' "$name" "$command" "$seconds" "$((kb / 1024))" "$rc" "$message"
    want=1
    [[ $name == near-* ]] && want=0
    if [ "$rc" -ne "$want" ] || { [ "$want" -eq 1 ] && [ -z "$message" ]; } ||
      { [ "$want" -eq 1 ] && awk -v s="$seconds" 'BEGIN {exit !(s >= 5)}'; } || [ "$kb" -ge 1048576 ]; then
      echo "hostile-pages: $name ($command) broke a limit: exit $want (then a message and under 5 s), under 1 GB" >&2
      status=1
    fi
  done
done
exit $status
