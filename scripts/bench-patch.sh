#!/usr/bin/env bash
# Benchmark of the block-patch producer against bsdiff and xdelta3 -9, in one
# run on the same pairs: setup.exe and KvtDistr.dll (shipped, stripped)
# built from two successive commits, and a generated text catalogue of
# about 6 MB with edits. Prints patch sizes, producing times (best of three)
# and the ratios to bsdiff. With --large, also our producer alone on a
# 100 MiB pair with its time and peak memory.
# Usage: scripts/bench-patch.sh [--large] [OLD_REV NEW_REV]
#        (default: eb4b381 46c832c, two successive commits of main; the second
#        gives setup.exe its run log, a feature of about 250 lines)
# Work folder: $TAVREL_BUILD_ROOT/bench-patch (default build/bench-patch);
# the programs of each revision are kept there, so a second run builds
# nothing.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${TAVREL_BUILD_ROOT:-$ROOT/build}
WORK="$BUILD_ROOT/bench-patch"

LARGE=0
if [ "${1:-}" = "--large" ]; then
  LARGE=1
  shift
fi
OLD_REV=${1:-eb4b381}
NEW_REV=${2:-46c832c}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
if ! command -v bsdiff >/dev/null || ! command -v xdelta3 >/dev/null; then
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends bsdiff xdelta3 >/dev/null ||
    { as_root apt-get update -qq &&
      as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends bsdiff xdelta3 >/dev/null; }
fi

cmake -S "$ROOT" -B "$BUILD_ROOT/bench-native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVREL_SANITIZE=OFF -DTAVREL_FUZZ=OFF >/dev/null
cmake --build "$BUILD_ROOT/bench-native" -j2 --target PatchBench >/dev/null
BENCH="$BUILD_ROOT/bench-native/bin/PatchBench"

mkdir -p "$WORK/pairs"
# Both revisions are built in one source and build folder, one after the
# other, so that the second build takes the unchanged objects from ccache.
# The sources are extracted with the current time (tar -m): with the commit's
# time they could be older than the other revision's objects, which the
# build would then keep.
# A revision's programs are kept under its commit id; a later run with the
# same revision builds nothing.
build_revision() {
  local rev=$1 tag=$2 id
  id=$(git -C "$ROOT" rev-parse "$rev^{commit}")
  if [ -f "$WORK/pairs/$id/setup.exe" ] && [ -f "$WORK/pairs/$id/KvtDistr.dll" ]; then
    cp "$WORK/pairs/$id/setup.exe" "$WORK/pairs/setup-$tag.exe"
    cp "$WORK/pairs/$id/KvtDistr.dll" "$WORK/pairs/KvtDistr-$tag.dll"
    return
  fi
  echo "bench-patch: building $rev (${id:0:7})" >&2
  rm -rf "$WORK/src"
  mkdir -p "$WORK/src"
  git -C "$ROOT" archive "$rev" | tar -x -m -C "$WORK/src"
  ln -s "$(realpath "$ROOT/.deps")" "$WORK/src/.deps"
  cmake --preset mingw -S "$WORK/src" -B "$WORK/build" >/dev/null
  cmake --build "$WORK/build" -j2 --target setup KvtDistr >"$WORK/build.log" ||
    { tail -20 "$WORK/build.log" >&2; exit 1; }
  mkdir -p "$WORK/pairs/$id"
  cp "$WORK/build/bin/setup.exe" "$WORK/build/bin/KvtDistr.dll" "$WORK/pairs/$id/"
  cp "$WORK/build/bin/setup.exe" "$WORK/pairs/setup-$tag.exe"
  cp "$WORK/build/bin/KvtDistr.dll" "$WORK/pairs/KvtDistr-$tag.dll"
}
build_revision "$OLD_REV" old
build_revision "$NEW_REV" new
"$BENCH" text "$WORK/pairs/catalogue-old.txt" "$WORK/pairs/catalogue-new.txt"

echo "== $OLD_REV -> $NEW_REV; best of 3 runs; ratios ours/bsdiff (goals: size <= 1.0, time <= 0.5)"
"$BENCH" header
"$BENCH" compare "$WORK" setup.exe "$WORK/pairs/setup-old.exe" "$WORK/pairs/setup-new.exe"
"$BENCH" compare "$WORK" KvtDistr.dll "$WORK/pairs/KvtDistr-old.dll" "$WORK/pairs/KvtDistr-new.dll"
"$BENCH" compare "$WORK" catalogue.txt "$WORK/pairs/catalogue-old.txt" "$WORK/pairs/catalogue-new.txt"

if [ "$LARGE" -eq 1 ]; then
  echo "== 100 MiB pair, our producer alone"
  "$BENCH" large "$WORK/pairs/large-old.bin" "$WORK/pairs/large-new.bin"
  "$BENCH" ours "$WORK" large.bin "$WORK/pairs/large-old.bin" "$WORK/pairs/large-new.bin"
  rm -f "$WORK/pairs/large-old.bin" "$WORK/pairs/large-new.bin"
fi
rm -f "$WORK/patch.bsdiff" "$WORK/patch.xdelta"
