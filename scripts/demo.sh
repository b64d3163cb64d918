#!/usr/bin/env bash
# Runs the furthest end-to-end path that works on the bundled demo kit and
# prints what it did, in numbered steps: build, lay out the kit, the
# launcher before an install, the install through the engine, the launcher
# with the installed copy, a check, a kit of the installed version, an
# update, the uninstall. It never fails: a step that cannot run says why.
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
say "1. building the Windows programs in $BUILD"
if ! { cmake --preset mingw -B "$BUILD" >/dev/null && cmake --build "$BUILD" -j "$(nproc)" >/dev/null; }; then
  say "the build failed; run scripts/test.sh for details"
  exit 0
fi
say "built: $(cd "$BUILD/bin" && ls ./*.exe ./*.dll ./*.sln 2>/dev/null | sed 's|^\./||' | grep -v -E '_tests?\.exe$' | tr '\n' ' ')"

# CRC-32 of ZIP, from the gzip trailer (no tool of our own needed).
crc32() { gzip -c -n "$1" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n' | tr a-f A-F; }
# A Unix path as Wine's Z: drive sees it.
winpath() { echo "Z:$1" | tr / '\\'; }
# One line of a program list: name, status letters, the file it describes,
# folder, archive and further name=value pairs.
item() {
  local line
  line="$(printf '%-12s' "$1")"
  [ -n "$2" ] && line="$line $(printf 'St=%-4s' "$2")"
  [ -n "$3" ] && line="$line CRC=$(crc32 "$3") Len=$(printf '%8s' "$(stat -c %s "$3")")"
  [ -n "${4:-}" ] && line="$line Dir=$4"
  [ -n "${5:-}" ] && line="$line Arc=$5"
  [ -n "${6:-}" ] && line="$line $6"
  printf '%s\r\n' "$line"
}

# 2. The kit: setup.ini, the program list, the stand-in server with a
# Start-menu caption and a kept copy ("o": an update or a reinstall that
# keeps the user's settings still replaces the program files), its settings file, its web page and
# manual packed into data.zip, and setup's own programs as far as built.
say "2. laying out the demo kit"
KIT="$DEMO/kit"
rm -rf "$KIT" && mkdir -p "$KIT"
cp -r resources/demo-kit/files/. "$KIT/"
cp resources/demo-kit/setup.ini "$BUILD/demo-kit/jom.exe" "$KIT/"
for f in setup.exe setup.exe.admin.manifest setup.sln JomStart.exe KvtDistr.dll; do
  [ -f "$BUILD/bin/$f" ] && cp "$BUILD/bin/$f" "$KIT/"
done
{
  printf ';%s\r\n; Tavrel demo kit: program list\r\n;%s\r\n\r\n' "$(printf '*%.0s' {1..80})" "$(printf '*%.0s' {1..80})"
  item jom.exe Io "$KIT/jom.exe" "" "" 'Caption="Tavrel"'
  item jom.ini "" "$KIT/jom.ini"
  item index.html "" "$KIT/www/index.html" www data
  item readme.txt o "$KIT/docs/readme.txt" docs data
  item setup.ini S "$KIT/setup.ini"
  for f in setup.exe setup.exe.admin.manifest setup.sln; do
    [ -f "$KIT/$f" ] && item "$f" o "$KIT/$f"
  done
} > "$KIT/jom.lst"
# Entries under their bare names, as the kit builder stores them.
(cd "$KIT" && zip -q -j -X data.zip www/index.html docs/readme.txt && rm -r www docs)
say "the demo kit in $KIT:"
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
program='C:\Program Files (x86)\Tavrel\'
# The engine's parameters as setup.exe sets them.
PARAMS=('/param:ProgramsIniFileName=C:\ProgramData\Tavrel\jomsetup.ini' '/param:ProgramRenewFileExtension=.prf'
        '/param:ProgramRenewFileKeyName=JOMRenewFile')
kvtcall() { wine_run "$BUILD/bin/kvtcall.exe" "$@" | sed 's/^/        /'; }
have_engine() { [ -f "$BUILD/bin/kvtcall.exe" ] && [ -f "$BUILD/bin/KvtDistr.dll" ]; }
# A copy an earlier run of the demo left goes first, with its records.
if [ -f "$INSTALLED/instcfg.ini" ] && have_engine; then
  kvtcall "$program" uninstall /auto "${PARAMS[@]}" >/dev/null
fi
rm -rf "$INSTALLED"

# Waits (bounded) for a file that a program started by the launcher writes.
wait_for() { for _ in $(seq 1 100); do [ -s "$1" ] && return 0; sleep 0.2; done; return 1; }

if [ -f "$KIT/setup.exe" ]; then
  say "3. JomStart.exe with no installed copy: it starts the kit's setup.exe with /WINE"
  wine_run "$KIT/JomStart.exe" -hide
  copy=""
  for _ in $(seq 1 100); do
    copy=$(find "$PREFIX/drive_c/users" -path '*JOMSETUP.TMP/1/setup.exe' 2>/dev/null | head -n 1)
    [ -n "$copy" ] && break
    sleep 0.2
  done
  if [ -n "$copy" ]; then
    say "setup.exe relaunched itself from %TEMP%\\JOMSETUP.TMP\\1 ($(ls "$(dirname "$copy")" | tr '\n' ' '))"
    say "its copy now shows its window for the kit; the demo installs through the engine below"
  else
    say "setup.exe did not relaunch itself within 20 s"
  fi
  sleep 2
  WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
else
  say "3. JomStart.exe with no installed copy would start the kit's setup.exe with /WINE; setup.exe is not built"
fi

# What the install registers, shown after the install and again after the
# uninstall.
START_MENU="$PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavrel"
registration_name() {
  tr -d '\000\r' < "$INSTALLED/instcfg.ini" 2>/dev/null | sed -n 's/^SectionName=//p' | head -n 1
}
show_records() { # registration name
  local key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"
  if wine_run reg query "$key" >/dev/null; then
    say "the Uninstall entry $key:"
    wine_run reg query "$key" | tr -d '\r' | grep REG_ | sed 's/^ */        /'
  else
    say "the Uninstall entry $key: none"
  fi
  if wine_run reg query 'HKCR\.prf' >/dev/null; then
    say "the update-file association .prf (.pr1 to .pr9 alike):"
    wine_run reg query 'HKCR\.prf' | tr -d '\r' | grep REG_ | sed 's/^ */        .prf  /'
    wine_run reg query 'HKCR\JOMRenewFile\shell\open\command' | tr -d '\r' | grep REG_ | sed 's/^ */        JOMRenewFile\\shell\\open\\command  /'
  else
    say "the update-file association .prf: none"
  fi
  if [ -d "$START_MENU" ]; then
    say "the Start-menu group Tavrel: $(cd "$START_MENU" && ls | tr '\n' ' ')"
  else
    say "the Start-menu group Tavrel: none"
  fi
}

if ! have_engine; then
  say "kvtcall.exe or KvtDistr.dll is not built; the engine steps are skipped"
  WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
  say "done"
  exit 0
fi

# 4. The install (sfInstall) through KvtDistr.dll and its console driver,
# unattended as setup.exe /WINE runs it.
say "4. installing the kit into C:\\Program Files (x86)\\Tavrel (sfInstall)"
# The product's data folder, which setup.exe prepares before each function.
mkdir -p "$PREFIX/drive_c/ProgramData/Tavrel"
kvtcall "$(winpath "$KIT")" install "$program" /auto "${PARAMS[@]}"
if [ ! -f "$INSTALLED/instcfg.ini" ]; then
  say "the install did not complete; nothing more to show"
  WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
  exit 0
fi
say "the installed files (DISTR\\ holds the kept copies):"
(cd "$INSTALLED" && find . -type f | sort | while read -r f; do printf '        %-28s %9s\n' "${f#./}" "$(stat -c %s "$f")"; done)
bad=0
for f in jom.exe jom.ini setup.ini; do cmp -s "$KIT/$f" "$INSTALLED/$f" || bad=1; done
unzip -p "$KIT/data.zip" index.html | cmp -s - "$INSTALLED/www/index.html" || bad=1
unzip -p "$KIT/data.zip" readme.txt | cmp -s - "$INSTALLED/docs/readme.txt" || bad=1
cmp -s "$KIT/jom.exe" "$INSTALLED/DISTR/jom.exe" || bad=1
if [ "$bad" = 0 ]; then say "every installed file equals its file in the kit"; else say "an installed file differs from the kit"; fi
NAME=$(registration_name)
say "registered as $NAME ([$NAME] of C:\\ProgramData\\Tavrel\\jomsetup.ini: $(tr -d '\000\r' < "$PREFIX/drive_c/ProgramData/Tavrel/jomsetup.ini" | sed -n 's/^InstallPath=//p' | head -n 1))"
show_records "$NAME"

say "5. JomStart.exe -hide with the installed copy as new as the kit: it starts jom.exe with /hide"
wine_run "$KIT/JomStart.exe" -hide
if wait_for "$INSTALLED/jom.log"; then
  sed 's/^/        /' "$INSTALLED/jom.log"
else
  say "jom.exe did not report its start within 20 s"
fi
rm -f "$INSTALLED/jom.log"

say "6. checking the installed copy against its list (sfCheck)"
kvtcall "$program" check
say "editing jom.ini of the installed copy, then checking again"
cp "$INSTALLED/jom.ini" "$DEMO/jom.ini.saved"
printf 'Port=9091\r\n' >> "$INSTALLED/jom.ini"
kvtcall "$program" check
cp "$DEMO/jom.ini.saved" "$INSTALLED/jom.ini"

say "7. building a distribution kit of the installed version in C:\\kits\\5_02 (sfBuildKit)"
rm -rf "$PREFIX/drive_c/kits"
kvtcall "$program" buildkit 'C:\kits\5_02'
if [ -d "$PREFIX/drive_c/kits/5_02" ]; then
  say "the new kit:"
  (cd "$PREFIX/drive_c/kits/5_02" && ls -l | tail -n +2 | awk '{printf "        %-14s %9s\n", $9, $5}')
  say "its program list:"
  tr -d '\r' < "$PREFIX/drive_c/kits/5_02/jom.lst" | grep -v '^;' | sed '/^$/d; s/^/        /'
fi

# 8. An update file 5.02 -> 5.03 (sfUpdate): jom.exe as a block patch of
# its kept copy, docs\readme.txt as a whole file, jom.ini with changed list
# attributes (it gets a kept copy), www\index.html deleted, and the new
# setup.ini and list.
if [ -f "$BUILD/bin/renewpatch.exe" ] && command -v zip >/dev/null; then
  say "8. building an update file 5.02 -> 5.03 and updating the installed copy with it (sfUpdate)"
  UPD="$DEMO/update"
  rm -rf "$UPD" && mkdir -p "$UPD/new/docs"
  { cat "$INSTALLED/DISTR/jom.exe"; printf 'Tavrel 5.03'; } > "$UPD/new/jom.exe"
  wine_run "$BUILD/bin/renewpatch.exe" "$(winpath "$INSTALLED/DISTR/jom.exe")" "$(winpath "$UPD/new/jom.exe")" \
    "$(winpath "$UPD/new/jom.rdf")"
  printf 'Tavrel 5.03: what is new\r\n' > "$UPD/new/docs/readme.txt"
  sed 's/^Version=5.02/Version=5.03/' "$INSTALLED/setup.ini" > "$UPD/new/setup.ini"
  cp "$INSTALLED/jom.ini" "$UPD/new/jom.ini"
  {
    printf '; Tavrel demo: program list of 5.03\r\n\r\n'
    item jom.exe Io "$UPD/new/jom.exe" "" "" 'Caption="Tavrel"'
    item jom.ini R "$UPD/new/jom.ini" ""
    item readme.txt o "$UPD/new/docs/readme.txt" docs
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
  kvtcall "$program" update "$(winpath "$UPD/upd503.prf")" /auto "${PARAMS[@]}"
  (cd "$INSTALLED" && find . -type f ! -name 'jom.log' -exec md5sum {} + | sort -k2) > "$UPD/after.md5"
  say "files of the installed copy that the update changed:"
  awk 'NR == FNR { before[$2] = $1; next } { after[$2] = $1 }
       END {
         for (p in before) if (!(p in after)) print p, "deleted"
         for (p in after) if (!(p in before)) print p, "new"; else if (after[p] != before[p]) print p, "changed"
       }' "$UPD/before.md5" "$UPD/after.md5" | sort | awk '{ sub(/^\.\//, "", $1); printf "        %-20s %s\n", $1, $2 }'
  say "setup.ini of the installed copy now says: $(grep '^Version=' "$INSTALLED/setup.ini" | tr -d '\r')"
else
  say "8. renewpatch.exe or zip is missing; the update step is skipped"
fi

# 9. The uninstall (sfUninstall), unattended: the program folder, its
# Uninstall entry, the association and the Start-menu group go.
say "9. uninstalling the installed copy (sfUninstall)"
kvtcall "$program" uninstall /auto "${PARAMS[@]}"
if [ -d "$INSTALLED" ]; then
  say "the program folder is still there: $(cd "$INSTALLED" && find . -type f | wc -l) files"
else
  say "the program folder C:\\Program Files (x86)\\Tavrel: gone"
fi
show_records "$NAME"
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null || true
say "done"
