#!/usr/bin/env bash
# Start-up benchmark: from starting setup.exe in a kit folder to its dialog
# being visible, against a minimal Windows program showing one window, both
# started by StartupBench.exe in one warm Wine session, alternating.
# Usage: scripts/bench-startup.sh [runs]   (default 7)
# Needs the Windows tree (build/mingw); runs in a Wine prefix of its own and
# under a private Xvfb when DISPLAY is not set.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
BUILD=${TAVREL_BUILD_ROOT:-$ROOT/build}/mingw
RUNS=${1:-7}
PREFIX="$BUILD/bench-wineprefix"
WORK="$BUILD/bench-startup"
cmake --build "$BUILD" -j2 --target setup setup_sln MinimalWindow StartupBench >/dev/null

# The kit: setup.exe with its files and the demo kit's setup.ini, as a user
# finds them.
rm -rf "$WORK" && mkdir -p "$WORK/kit"
cp "$BUILD/bin/setup.exe" "$BUILD/bin/setup.sln" "$BUILD/bin/setup.exe.admin.manifest" \
   "$ROOT/resources/demo-kit/setup.ini" "$WORK/kit/"
cp "$BUILD/bin/StartupBench.exe" "$BUILD/bin/MinimalWindow.exe" "$WORK/"

winpath() { echo "Z:$1" | tr / '\\'; }
out=$("$ROOT/scripts/wine-run.sh" "$PREFIX" "$WORK/StartupBench.exe" "$(winpath "$WORK/kit")" "$RUNS" | tr -d '\r')
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
echo "$out" | grep '^run '
value() { echo "$out" | awk -v n="$1" '$1 == n { print $2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
minimal=$(value minimal)
setup=$(value setup)
printf 'median of %d runs: minimal window %.3f s; setup.exe %.3f s (its copy started after %.3f s; the copy alone %.3f s)\n' \
  "$RUNS" "$minimal" "$setup" "$(value setup_first_instance)" "$(value setup_copy_alone)"
printf 'best of %d runs: minimal window %.3f s; setup.exe %.3f s (its copy started after %.3f s; the copy alone %.3f s)\n' \
  "$RUNS" "$(value best_minimal)" "$(value best_setup)" "$(value best_setup_first_instance)" "$(value best_setup_copy_alone)"
printf 'ratio of the best runs setup/minimal  %s\n' "$(ratio "$(value best_setup)" "$(value best_minimal)")"
printf 'painted: minimal window %.3f s; setup.exe %.3f s\n' "$(value minimal_painted)" "$(value setup_painted)"
printf 'ratio of the medians setup/minimal  %s  (goal <= 1.5 and setup < 1 s); painted %s\n' "$(ratio "$setup" "$minimal")" \
  "$(ratio "$(value setup_painted)" "$(value minimal_painted)")"
