#!/usr/bin/env bash
# Benchmark of block patching: a 256 MiB file with scattered small changes
# and a compressed patch; ApplyPatch against a plain copy of the new file in
# the same process, natively (an optimised build without sanitizers) and
# under Wine, with the peak memory against old + patch + new.
# Usage: scripts/bench-renew.sh [work folder]   (default: build/bench-renew)
# Needs a built Windows tree (build/mingw); builds build/bench-native itself.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${TAVREL_BUILD_ROOT:-$ROOT/build}
WORK=$(realpath -m "${1:-$ROOT/build/bench-renew}")

cmake -S "$ROOT" -B "$BUILD_ROOT/bench-native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVREL_SANITIZE=OFF -DTAVREL_FUZZ=OFF >/dev/null
cmake --build "$BUILD_ROOT/bench-native" --target RenewBench >/dev/null
cmake --build "$BUILD_ROOT/mingw" --target RenewBench >/dev/null

rm -rf "$WORK"
mkdir -p "$WORK"
"$BUILD_ROOT/bench-native/bin/RenewBench" prepare "$WORK"
ls -l "$WORK"

echo "== native"
"$BUILD_ROOT/bench-native/bin/RenewBench" run "$WORK"
echo "== Wine"
winpath() { echo "Z:$1" | tr / '\\'; }
"$ROOT/scripts/wine-run.sh" "$BUILD_ROOT/mingw/wineprefix" "$BUILD_ROOT/mingw/bin/RenewBench.exe" run \
  "$(winpath "$WORK")" | tr -d '\r'
rm -rf "$WORK"
