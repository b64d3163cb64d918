#!/usr/bin/env bash
# Builds the Windows tree (tests under Wine) and the native sanitizer tree,
# then runs every test of both. Usage: scripts/test.sh
# TAVREL_BUILD_ROOT chooses the build folder (default: build/).
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

if [ -z "${TAVREL_BOOTSTRAPPED:-}" ]; then
  bash scripts/bootstrap.sh || exit 1
  export TAVREL_BOOTSTRAPPED=1
fi

# Window tests need a display: start a private Xvfb when none is set.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

BUILD_ROOT=${TAVREL_BUILD_ROOT:-$ROOT/build}
JOBS=$(nproc)

build() {
  local preset=$1 dir=$2
  cmake --preset "$preset" -B "$dir" >/dev/null || return 1
  cmake --build "$dir" -j "$JOBS"
}

status=0
build native-sanitize "$BUILD_ROOT/native" || exit 1
build mingw "$BUILD_ROOT/mingw" || exit 1

# The test prefix's Wine server runs detached from ctest's pipes.
PREFIX="$BUILD_ROOT/mingw/wineprefix"
bash scripts/wine-start.sh "$PREFIX"

ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$BUILD_ROOT/native" --output-on-failure -j "$JOBS" || status=1
ctest --test-dir "$BUILD_ROOT/mingw" --output-on-failure -j "$JOBS" || status=1

# Leave no Wine server of the test prefix behind.
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
exit $status
