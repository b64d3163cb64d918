#!/usr/bin/env bash
# Runs the furthest end-to-end path that works on the bundled demo kit and
# prints what it did. It never fails: a step that cannot run says why.
# Usage: scripts/demo.sh     (TAVREL_BUILD_ROOT picks the build folder)
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
say() { printf 'demo: %s\n' "$*"; }

if [ -z "${TAVREL_BOOTSTRAPPED:-}" ]; then
  bash scripts/bootstrap.sh || { say "the bootstrap failed; nothing else to show"; exit 0; }
  export TAVREL_BOOTSTRAPPED=1
fi
# setup.exe shows windows: give it a private display when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

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
  copy=""
  for _ in $(seq 1 100); do
    copy=$(find "$PREFIX/drive_c/users" -path '*JOMSETUP.TMP/1/setup.exe' 2>/dev/null | head -n 1)
    [ -n "$copy" ] && break
    sleep 0.2
  done
  if [ -n "$copy" ]; then
    say "setup.exe relaunched itself from %TEMP%\\JOMSETUP.TMP\\1 ($(ls "$(dirname "$copy")" | tr '\n' ' '))"
    say "its copy now shows its window for the kit; the installation itself comes with a later version"
  else
    say "setup.exe did not relaunch itself within 20 s"
  fi
  sleep 2
  WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
else
  say "JomStart.exe with no installed copy would start the kit's setup.exe with /WINE; setup.exe is not built"
fi

say "placing an installed copy of version 5.02 by hand in C:\\Program Files (x86)\\Tavrel"
mkdir -p "$INSTALLED/DISTR"
(cd "$KIT" && cp -r jom.exe jom.ini jom.lst setup.ini www docs "$INSTALLED/" && cp jom.exe "$INSTALLED/DISTR/")
say "JomStart.exe -hide with the installed copy as new as the kit: it starts jom.exe with /hide"
wine_run "$KIT/JomStart.exe" -hide
if wait_for "$INSTALLED/jom.log"; then
  sed 's/^/        /' "$INSTALLED/jom.log"
else
  say "jom.exe did not report its start within 20 s"
fi
rm -f "$INSTALLED/jom.log"

# The engine, through KvtDistr.dll and its console driver.
kvtcall() { wine_run "$BUILD/bin/kvtcall.exe" "$@" | sed 's/^/        /'; }
if [ -f "$BUILD/bin/kvtcall.exe" ] && [ -f "$BUILD/bin/KvtDistr.dll" ]; then
  program='C:\Program Files (x86)\Tavrel\'
  say "checking the installed copy against its list (sfCheck)"
  kvtcall "$program" check
  say "editing jom.ini of the installed copy, then checking again"
  cp "$INSTALLED/jom.ini" "$DEMO/jom.ini.saved"
  printf 'Port=9091\r\n' >> "$INSTALLED/jom.ini"
  kvtcall "$program" check
  cp "$DEMO/jom.ini.saved" "$INSTALLED/jom.ini"
  say "building a distribution kit of the installed version in C:\\kits\\5_02 (sfBuildKit)"
  rm -rf "$PREFIX/drive_c/kits"
  kvtcall "$program" buildkit 'C:\kits\5_02'
  if [ -d "$PREFIX/drive_c/kits/5_02" ]; then
    say "the new kit:"
    (cd "$PREFIX/drive_c/kits/5_02" && ls -l | tail -n +2 | awk '{printf "        %-14s %9s\n", $9, $5}')
    say "its program list:"
    tr -d '\r' < "$PREFIX/drive_c/kits/5_02/jom.lst" | grep -v '^;' | sed '/^$/d; s/^/        /'
  fi
else
  say "kvtcall.exe or KvtDistr.dll is not built; the engine steps are skipped"
fi
# An update file 5.02 -> 5.03 (sfUpdate): jom.exe as a block patch of
# its kept copy, docs\readme.txt as a whole file, jom.ini with changed list
# attributes (it gets a kept copy), www\index.html deleted, and the new
# setup.ini and list.
if [ -f "$BUILD/bin/kvtcall.exe" ] && [ -f "$BUILD/bin/KvtDistr.dll" ] && [ -f "$BUILD/bin/renewpatch.exe" ] &&
  command -v zip >/dev/null; then
  say "building an update file 5.02 -> 5.03 and updating the installed copy with it (sfUpdate)"
  program='C:\Program Files (x86)\Tavrel\'
  UPD="$DEMO/update"
  rm -rf "$UPD" && mkdir -p "$UPD/new/docs"
  winpath() { echo "Z:$1" | tr / '\\'; }
  { cat "$INSTALLED/DISTR/jom.exe"; printf 'Tavrel 5.03'; } > "$UPD/new/jom.exe"
  wine_run "$BUILD/bin/renewpatch.exe" "$(winpath "$INSTALLED/DISTR/jom.exe")" "$(winpath "$UPD/new/jom.exe")" \
    "$(winpath "$UPD/new/jom.rdf")"
  printf 'Tavrel 5.03: what is new\r\n' > "$UPD/new/docs/readme.txt"
  sed 's/^Version=5.02/Version=5.03/' "$INSTALLED/setup.ini" > "$UPD/new/setup.ini"
  cp "$INSTALLED/jom.ini" "$UPD/new/jom.ini"
  item() { # name status file dir
    local line
    line="$(printf '%-12s' "$1")"
    [ -n "$2" ] && line="$line $(printf 'St=%-4s' "$2")"
    [ -n "$3" ] && line="$line CRC=$(crc32 "$3") Len=$(printf '%8s' "$(stat -c %s "$3")")"
    [ -n "$4" ] && line="$line Dir=$4"
    printf '%s\r\n' "$line"
  }
  {
    printf '; Tavrel demo: program list of 5.03\r\n\r\n'
    item jom.exe I "$UPD/new/jom.exe" ""
    item jom.ini R "$UPD/new/jom.ini" ""
    item readme.txt "" "$UPD/new/docs/readme.txt" docs
    item index.html D "" www
    item setup.ini S "$UPD/new/setup.ini" ""
  } > "$UPD/new/jom.lst"
  printf 'Version 5.02 5.03\r\nRenew jom.rdf jom.exe\r\nCopy docs\\readme.txt\r\nChange jom.ini\r\nCopy setup.ini\r\n' \
    > "$UPD/new/renew.cmd"
  (cd "$UPD/new" && zip -q -X "$UPD/upd503.prf" renew.cmd jom.lst setup.ini jom.rdf docs/readme.txt)
  say "the update file upd503.prf:"
  unzip -l "$UPD/upd503.prf" | sed -n '4,$p' | sed '$d' | sed '$d' | awk '{printf "        %-18s %9s\n", $4, $1}'
  say "its command file renew.cmd:"
  tr -d '\r' < "$UPD/new/renew.cmd" | sed 's/^/        /'
  (cd "$INSTALLED" && find . -type f ! -name 'jom.log' -exec md5sum {} + | sort -k2) > "$UPD/before.md5"
  # The programs registration file where the dialog would put it, not in the
  # current folder.
  kvtcall "$program" update "$(winpath "$UPD/upd503.prf")" /auto '/param:ProgramsIniFileName=C:\ProgramData\jomsetup.ini'
  (cd "$INSTALLED" && find . -type f ! -name 'jom.log' -exec md5sum {} + | sort -k2) > "$UPD/after.md5"
  say "files of the installed copy that the update changed:"
  awk 'NR == FNR { before[$2] = $1; next } { after[$2] = $1 }
       END {
         for (p in before) if (!(p in after)) print p, "deleted"
         for (p in after) if (!(p in before)) print p, "new"; else if (after[p] != before[p]) print p, "changed"
       }' "$UPD/before.md5" "$UPD/after.md5" | sort | awk '{ sub(/^\.\//, "", $1); printf "        %-20s %s\n", $1, $2 }'
  say "setup.ini of the installed copy now says: $(grep '^Version=' "$INSTALLED/setup.ini" | tr -d '\r')"
else
  say "kvtcall.exe, KvtDistr.dll, renewpatch.exe or zip is missing; the update step is skipped"
fi
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
say "done"
