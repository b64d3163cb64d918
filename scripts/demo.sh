#!/usr/bin/env bash
# Runs the furthest end-to-end path that works on the bundled demo kit and
# prints what it did. Usage: scripts/demo.sh
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
bash scripts/bootstrap.sh || exit 1

BUILD="${TAVREL_BUILD_ROOT:-$ROOT/build}/mingw"
echo "demo: building the Windows programs in $BUILD"
cmake --preset mingw -B "$BUILD" >/dev/null && cmake --build "$BUILD" -j "$(nproc)" >/dev/null || {
  echo "demo: the build failed; run scripts/test.sh for details"
  exit 0
}
echo "demo: built: $(cd "$BUILD/bin" && ls *.exe *.dll 2>/dev/null | tr '\n' ' ')"
