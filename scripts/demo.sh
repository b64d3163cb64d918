#!/usr/bin/env bash
# Runs the furthest end-to-end path that works on the bundled demo kit and
# prints what it did. It never fails: a step that cannot run says why.
# Usage: scripts/demo.sh     (TAVREL_BUILD_ROOT picks the build folder)
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
say() { printf 'demo: %s\n' "$*"; }

bash scripts/bootstrap.sh || { say "the bootstrap failed; nothing else to show"; exit 0; }

BUILD="${TAVREL_BUILD_ROOT:-$ROOT/build}/mingw"
DEMO="${TAVREL_BUILD_ROOT:-$ROOT/build}/demo"
say "building the Windows programs in $BUILD"
if ! { cmake --preset mingw -B "$BUILD" >/dev/null && cmake --build "$BUILD" -j "$(nproc)" >/dev/null; }; then
  say "the build failed; run scripts/test.sh for details"
  exit 0
fi
say "built: $(cd "$BUILD/bin" && ls ./*.exe ./*.dll ./*.sln 2>/dev/null | sed 's|^\./||' | grep -v -E '_tests?\.exe$' | tr '\n' ' ')"

# CRC-32 of ZIP, from the gzip trailer (no tool of our own needed).
crc32() { gzip -c -n "$1" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n' | tr a-f A-F; }

# The kit: setup.ini, the program list, the stand-in server and its files,
# and whatever programs of ours are built so far.
KIT="$DEMO/kit"
rm -rf "$KIT" && mkdir -p "$KIT"
cp -r resources/demo-kit/files/. "$KIT/"
cp resources/demo-kit/setup.ini "$BUILD/demo-kit/jom.exe" "$KIT/"
for f in setup.exe setup.exe.admin.manifest setup.sln JomStart.exe KvtDistr.dll; do
  [ -f "$BUILD/bin/$f" ] && cp "$BUILD/bin/$f" "$KIT/"
done
{
  printf ';%s\r\n; Tavrel demo kit: program list\r\n;%s\r\n\r\n' "$(printf '*%.0s' {1..80})" "$(printf '*%.0s' {1..80})"
  (cd "$KIT" && find . -type f ! -name setup.ini ! -name '*.lst' ! -name 'setup.*' ! -name JomStart.exe ! -name KvtDistr.dll | sort) |
    while read -r rel; do
      rel=${rel#./}
      name=${rel##*/}
      dir=$(dirname "$rel")
      st=""; [ "$name" = jom.exe ] && st=I
      line=$(printf '%-12s' "$name")
      [ -n "$st" ] && line="$line $(printf 'St=%-4s' "$st")"
      line="$line CRC=$(crc32 "$KIT/$rel") Len=$(printf '%8s' "$(stat -c %s "$KIT/$rel")")"
      [ "$dir" != . ] && line="$line Dir=${dir//\//\\}"
      printf '%s\r\n' "$line"
    done
} > "$KIT/jom.lst"
say "laid out the demo kit in $KIT:"
(cd "$KIT" && find . -type f | sort | sed 's|^\./|        |')
say "its program list jom.lst:"
tr -d '\r' < "$KIT/jom.lst" | grep -v '^;' | sed '/^$/d; s/^/        /'

# The launcher, in a Wine prefix of the demo's own (never ~/.wine).
PREFIX="$DEMO/wineprefix"
wine_run() { WINEDEBUG=-all "$ROOT/scripts/wine-run.sh" "$PREFIX" "$@" </dev/null 2>/dev/null; }
if [ ! -f "$KIT/JomStart.exe" ]; then
  say "JomStart.exe is not built; nothing more to show"
  exit 0
fi
wine_run cmd /c exit 0 >/dev/null  # makes the prefix on first use
INSTALLED="$PREFIX/drive_c/Program Files (x86)/Tavrel"
rm -rf "$INSTALLED"

# Waits (bounded) for a file that a program started by the launcher writes.
wait_for() { for _ in $(seq 1 100); do [ -s "$1" ] && return 0; sleep 0.2; done; return 1; }

if [ -f "$KIT/setup.exe" ]; then
  say "JomStart.exe with no installed copy: it starts the kit's setup.exe with /WINE"
  wine_run "$KIT/JomStart.exe" -hide
else
  say "JomStart.exe with no installed copy would start the kit's setup.exe with /WINE; setup.exe is not built yet"
fi

say "placing an installed copy of version 5.02 by hand in C:\\Program Files (x86)\\Tavrel"
mkdir -p "$INSTALLED"
(cd "$KIT" && cp -r jom.exe jom.ini jom.lst setup.ini www docs "$INSTALLED/")
say "JomStart.exe -hide with the installed copy as new as the kit: it starts jom.exe with /hide"
wine_run "$KIT/JomStart.exe" -hide
if wait_for "$INSTALLED/jom.log"; then
  sed 's/^/        /' "$INSTALLED/jom.log"
else
  say "jom.exe did not report its start within 20 s"
fi
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
say "done"
