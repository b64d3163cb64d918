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
