#!/usr/bin/env bash
# The long run of the libFuzzer targets: each target gets at least RUNS
# executions (default 10 million) with AddressSanitizer and UBSan, one job
# (a single fuzzing process) at a time, niced, each over a copy of its committed seed corpus (libFuzzer
# adds what it finds to the folder it is given, and the seeds stay as they
# are). Prints one line per target with its executions and the result; a
# finding leaves its crash-* file in the target's work folder and makes the
# script fail.
#
# Usage: scripts/fuzz-long.sh [target ...]     (default: every target)
# Environment: RUNS (executions per target), MAX_TIME (seconds per target at
# most, default none: the run ends after RUNS only), TAVREL_BUILD_ROOT (build folder,
# default build/), FUZZ_WORK (work folder, default <build>/fuzz-long).
# The targets are built in a tree of their own (<build>/fuzz-long-tree), with
# the sanitizers of the native tree but optimised, and allocations keep no
# call stack (most of a run's time otherwise): several times faster than the
# test tree's debug build. Reproduce a finding with the full reports by
# running the target on the crash file.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TAVREL_BUILD_ROOT:-$ROOT/build}/fuzz-long-tree
WORK=${FUZZ_WORK:-${TAVREL_BUILD_ROOT:-$ROOT/build}/fuzz-long}
RUNS=${RUNS:-10000000}
MAX_TIME=${MAX_TIME:-0}

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(ls "$ROOT/tests/fuzz/corpus")
fi

cmake --preset native-sanitize -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$BUILD" -j 2 --target "${targets[@]}" >/dev/null || exit 1

mkdir -p "$WORK"
status=0
for target in "${targets[@]}"; do
  dir="$WORK/$target"
  rm -rf "$dir" && mkdir -p "$dir/corpus"
  cp "$ROOT/tests/fuzz/corpus/$target"/* "$dir/corpus/"
  started=$(date +%s)
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1:malloc_context_size=0 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n 19 "$BUILD/bin/$target" -runs="$RUNS" -max_total_time="$MAX_TIME" -max_len=4096 -rss_limit_mb=2048 \
      -print_final_stats=1 corpus > log.txt 2>&1)
  result=$?
  log="$dir/log.txt"
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  seconds=$(( $(date +%s) - started ))
  if [ $result -eq 0 ]; then
    echo "$target: ${executions:-?} executions in ${seconds}s, no finding"
    [ "${executions:-0}" -lt "$RUNS" ] && echo "$target: stopped by MAX_TIME before $RUNS executions"
  else
    echo "$target: FINDING after ${executions:-?} executions in ${seconds}s (exit $result), see $log"
    status=1
  fi
done
exit $status
