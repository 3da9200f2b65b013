#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset, clang, AddressSanitizer and UBSan) and runs each one for
# SECONDS on its seed corpus, two at a time. Any finding (a crash, a sanitizer report, undefined
# behaviour, a timeout) fails the run; its input is left in build/fuzz/findings/<target>/ to be kept
# as a seed in fuzz/corpus/<target>/ and replayed by the tests.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh fuzz
cmake --build --preset fuzz -j "$(nproc)" --target fuzzers
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
findings=build/fuzz/findings
rm -rf "$findings"
mkdir -p "$findings"
status=0
run() {
  local target=$1 name=${1#fuzz_}
  local work="$findings/$target"
  mkdir -p "$work/corpus"
  local seeds=fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=""
  echo "fuzz: $target for ${seconds}s"
  if ! (cd "$work" && "$OLDPWD/build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -artifact_prefix="./" -print_final_stats=1 corpus ${seeds:+"$OLDPWD/$seeds"} >"log.txt" 2>&1); then
    echo "fuzz: $target found a problem:" >&2
    tail -40 "$work/log.txt" >&2
    return 1
  fi
  grep -E "stat::number_of_executed_units" "$work/log.txt" | sed "s/^/fuzz: $target /"
  rm -rf "$work/corpus" # keep only what found something
}
targets=()
for t in build/fuzz/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
pids=()
for t in "${targets[@]}"; do
  run "$t" &
  pids+=($!)
  if ((${#pids[@]} >= $(nproc))); then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
