#!/usr/bin/env bash
# Benchmark of a fresh install (sfInstall) of a kit of about 500 files and
# 200 MB, built with sfBuildKit from the kit benchmark's generated copy,
# against native Info-ZIP `unzip` of the same archives plus a copy of the
# loose files, in one run: the two alternate and the best of each counts.
# Then the pieces of the install's time: inflating alone and extracting
# into files under Wine, against native unzip -p.
# Usage: scripts/bench-install.sh [work folder] [runs]   (default: build/bench-install, 3)
# Needs a built Windows tree (build/mingw, target InstallBench). The
# installs run in a Wine prefix of the benchmark's own.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${TAVREL_BUILD_ROOT:-$ROOT/build}/mingw
WORK=$(realpath -m "${1:-$ROOT/build/bench-install}")
RUNS=${2:-3}
PREFIX="$BUILD/bench-wineprefix"
cmake --build "$BUILD" --target InstallBench >/dev/null

rm -rf "$WORK"
mkdir -p "$WORK"
python3 "$ROOT/scripts/bench-copy.py" "$WORK"

winpath() { echo "Z:$1" | tr / '\\'; }
bench() { "$ROOT/scripts/wine-run.sh" "$PREFIX" "$BUILD/bin/InstallBench.exe" "$@" | tr -d '\r'; }
bench build "$(winpath "$WORK/Program")" "$(winpath "$WORK/kit")" >/dev/null
kit_bytes=$(du -cb "$WORK"/kit/* | tail -n 1 | cut -f1)
echo "kit $(ls "$WORK/kit" | wc -l) files, $kit_bytes bytes"

best_native=999999
best_install=999999
native_job() {
  for entry in "$WORK"/kit/*; do
    case "$entry" in
      *.zip) unzip -q -o "$entry" -d "$WORK/native" ;;
      *) cp "$entry" "$WORK/native/" ;;
    esac
  done
}
# Wall clock and CPU time (user + system) of each side: on a shared machine
# the CPU time is the steadier figure.
TIMEFORMAT='%R %U %S'
for run in $(seq 1 "$RUNS"); do
  rm -rf "$WORK/native" && mkdir -p "$WORK/native"
  # Neither side pays for the other's pending writes.
  sync
  times=$({ time native_job; } 2>&1)
  native=$(echo "$times" | awk '{ print $1 }')
  native_cpu=$(echo "$times" | awk '{ print $2 + $3 }')
  sync
  out=$(bench install "$(winpath "$WORK/kit")" "$(winpath "$WORK/installed")" "$(winpath "$WORK/jomsetup.ini")")
  install=$(echo "$out" | awk '$1 == "install" { print $2 }')
  install_cpu=$(echo "$out" | awk '$1 == "install_cpu" { print $2 }')
  errors=$(echo "$out" | awk '$1 == "errors" { print $2 }')
  printf 'run %d: native %.3f s (cpu %.3f s), install %.3f s (cpu %.3f s, files copied after %.3f s), errors %s\n' \
    "$run" "$native" "$native_cpu" "$install" "$install_cpu" "$(echo "$out" | awk '$1 == "copy_done" { print $2 }')" "$errors"
  best_native=$(echo "if ($native < $best_native) $native else $best_native" | bc -l)
  best_install=$(echo "if ($install < $best_install) $install else $best_install" | bc -l)
done
installed_bytes=$(du -sb "$WORK/installed" | cut -f1)
printf 'installed %d bytes (kept copies included)\n' "$installed_bytes"
printf 'native_unzip_copy %.3f\ninstall %.3f\n' "$best_native" "$best_install"
printf 'ratio install/native  %.2f  (goal <= 1.5)\n' "$(echo "$best_install / $best_native" | bc -l)"
# Where the install's time goes: the same archives inflated without writing
# and extracted into files under Wine, against native unzip -p.
times=$({ time (for f in "$WORK"/kit/*.zip; do unzip -p "$f" >/dev/null; done); } 2>&1)
printf 'native unzip -p (inflate only): %.3f s, cpu %.3f s\n' "$(echo "$times" | awk '{ print $1 }')" \
  "$(echo "$times" | awk '{ print $2 + $3 }')"
bench parts "$(winpath "$WORK/kit")" "$(winpath "$WORK/parts")" |
  awk '{ printf "under Wine %-10s %.3f s, cpu %.3f s\n", $1, $2, $4 }'
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
