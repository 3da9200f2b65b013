#!/usr/bin/env bash
# Times qrptool on each hostile page and description in the release build, with /usr/bin/time -v.
# Pages (tests/HostilePages.h: a million-point dashed polyline, wide-pen polylines, polygons,
# poly-polygons, clips of a million rectangles, OR'ed regions, million-point paths; and small files
# that cost much: the largest RLE bitmap drawn again and again and kept as pattern brushes, thousands
# of font names, glyphs of a size no page shows; EMF+ pictures drawing pictures 150 times at each of
# four levels of nesting, PNG image objects and texture brushes of a few kilobytes that decode to the
# largest bitmap a DIB may be) go through render, convert and thumbnail: each run
# must end with exit status 1 and a message, within 5 s, under 1 GB; the near-* pages, just within
# the budget, must be drawn in full (exit 0) under 1 GB, and their times show the most work a page may
# take (not held to 5 s, as a loaded machine doubles them). Descriptions (tests/tools/
# QrptoolBoundsTest.cpp: sub-detail chains, a composite listing one report 200,000 times, a CSV table
# of 200,000 columns, an SQLite value of a gigabyte) go through report -o: each must end within 10 s
# and under 1 GB, with exit status 0, or 1 and a message. Any input under 1 MB must end within 10 s
# and under 1 GB. Any run that breaks these fails the script.
# Usage: scripts/hostile-pages.sh [PRESET]   (default release)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
build=build/$preset
cmake --build --preset "$preset" -j "$(nproc)" --target qrptool test_tools test_qrptool_report >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/hostile-pages-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The tests write the pages and descriptions they check into PAGIMO_HOSTILE_DIR.
PAGIMO_HOSTILE_DIR=$work "$build/tests/tools/test_tools" --gtest_filter='QrptoolHostile.Each*:QrptoolHostile.Pages*' \
  >"$work/test.log" 2>&1 || { cat "$work/test.log"; exit 1; }
PAGIMO_HOSTILE_DIR=$work "$build/tests/tools/test_qrptool_report" --gtest_filter='QrptoolBounds.EachRunLimit*' \
  >"$work/test.log" 2>&1 || { cat "$work/test.log"; exit 1; }
qrptool=$PWD/$build/tools/qrptool
status=0
printf '%-32s %8s %-9s %8s %10s %5s  %s\n' input KB command seconds "peak MB" exit message
# run NAME COMMAND ARGS...: runs qrptool, prints a line, sets rc, seconds, kb, message.
run() {
  local name=$1 command=$2
  shift 2
  rc=0
  (cd "$work" && /usr/bin/time -v -o "$work/time.txt" "$qrptool" "$command" "$@" 2>"$work/err.txt" >/dev/null) || rc=$?
  # /usr/bin/time passes the command's exit status on.
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$work/time.txt")
  kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  message=$(head -1 "$work/err.txt")
  printf '%-32s %8d %-9s %8.2f %10.0f %5d  %s\n' "$name" "$size" "$command" "$seconds" "$((kb / 1024))" "$rc" "$message"
}
# broke REASON: notes a broken limit.
broke() {
  echo "hostile-pages: $name ($1) broke a limit: $2" >&2
  status=1
}
over() { awk -v s="$seconds" -v l="$1" 'BEGIN {exit !(s >= l)}'; }
small() { [ "$size" -lt 1024 ]; }
for page in "$work"/*.emf; do
  name=$(basename "$page" .emf)
  size=$(( $(stat -c %s "$page") / 1024 ))
  for command in render convert thumbnail; do
    case $command in
      render) run "$name" render "$page" -o "$work/$name.png" ;;
      convert) run "$name" convert "$page" "$work/$name.pdf" ;;
      thumbnail) run "$name" thumbnail "$page" "$work/$name-thumb.png" ;;
    esac
    want=1
    [[ $name == near-* ]] && want=0
    if [ "$rc" -ne "$want" ] || { [ "$want" -eq 1 ] && [ -z "$message" ]; }; then
      broke "$command" "exit $want (then with a message)"
    fi
    if [ "$want" -eq 1 ] && over 5; then broke "$command" "under 5 s"; fi
    if small && over 10; then broke "$command" "an input under 1 MB ends within 10 s"; fi
    [ "$kb" -lt 1048576 ] || broke "$command" "under 1 GB"
  done
done
for form in "$work"/*.form; do
  name=$(basename "$form" .form)
  size=$(( $(du -sk --apparent-size "$form" | cut -f1) ))
  run "$name" report "$form" -o "$work/$name.qrp"
  if [ "$rc" -gt 1 ] || { [ "$rc" -eq 1 ] && [ -z "$message" ]; }; then broke report "exit 0, or 1 with a message"; fi
  over 10 && broke report "within 10 s"
  [ "$kb" -lt 1048576 ] || broke report "under 1 GB"
done
exit $status
