#!/usr/bin/env bash
# The main job as a user meets it, on the bundled demo kit, in a fresh Wine
# prefix of its own, in numbered steps: the kit's setup.exe shows its install
# layout; the launcher JomStart.exe starts setup.exe /WINE, which installs
# the kit by itself and starts the installed program; the launcher then
# starts the installed program directly; an update file 5.02 -> 5.03 is
# opened as the shell opens it and applied by the installed setup.exe; a
# check and the uninstall run from the maintenance layout. The windows are
# read and pressed by setupdriver.exe through window messages, and the three
# layouts are saved as pictures into docs/.
# Usage: scripts/demo.sh     (TAVREL_BUILD_ROOT picks the build folder)
# Exit code: 0 when every step did what it should, 1 otherwise.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
say() { printf 'demo: %s\n' "$*"; }
show() { sed 's/^/        /'; }
fail() {
  say "FAILED: $*"
  [ -n "${PREFIX:-}" ] && WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null
  exit 1
}

if [ -z "${TAVREL_BOOTSTRAPPED:-}" ]; then
  bash scripts/bootstrap.sh || fail "the bootstrap failed"
  export TAVREL_BOOTSTRAPPED=1
fi
# setup.exe shows windows: give it a private display when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

BUILD="${TAVREL_BUILD_ROOT:-$ROOT/build}/mingw"
DEMO="${TAVREL_BUILD_ROOT:-$ROOT/build}/demo"
TARGETS=(setup setup_sln JomStart demo_jom renewpatch setupdriver)
mkdir -p "$DEMO"
say "1. building ${TARGETS[*]} in $BUILD"
cmake --preset mingw -B "$BUILD" >/dev/null || fail "cmake could not configure $BUILD"
cmake --build "$BUILD" -j 2 --target "${TARGETS[@]}" >"$DEMO.build.log" 2>&1 ||
  fail "the build failed (see $DEMO.build.log)"
say "built: setup.exe $(stat -c %s "$BUILD/bin/setup.exe") bytes, JomStart.exe $(stat -c %s "$BUILD/bin/JomStart.exe") bytes"

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
# keeps the user's settings still replaces the program files), its settings
# file, its web page and manual packed into data.zip, setup.exe with its
# files, and the launcher.
say "2. laying out the demo kit"
KIT="$DEMO/kit"
rm -rf "$KIT" && mkdir -p "$KIT"
cp -r resources/demo-kit/files/. "$KIT/"
cp resources/demo-kit/setup.ini "$BUILD/demo-kit/jom.exe" "$KIT/"
for f in setup.exe setup.exe.admin.manifest setup.sln JomStart.exe; do
  cp "$BUILD/bin/$f" "$KIT/" || fail "$f is not built"
done
{
  printf ';%s\r\n; Tavrel demo kit: program list\r\n;%s\r\n\r\n' "$(printf '*%.0s' {1..80})" "$(printf '*%.0s' {1..80})"
  item jom.exe Io "$KIT/jom.exe" "" "" 'Caption="Tavrel"'
  item jom.ini "" "$KIT/jom.ini"
  item index.html "" "$KIT/www/index.html" www data
  item readme.txt o "$KIT/docs/readme.txt" docs data
  item setup.ini S "$KIT/setup.ini"
  for f in setup.exe setup.exe.admin.manifest setup.sln; do item "$f" o "$KIT/$f"; done
} > "$KIT/jom.lst"
# Entries under their bare names, as the kit builder stores them.
(cd "$KIT" && zip -q -j -X data.zip www/index.html docs/readme.txt && rm -r www docs)
say "the demo kit in $KIT:"
(cd "$KIT" && find . -type f | sort | sed 's|^\./||' | show)
say "its program list jom.lst:"
tr -d '\r' < "$KIT/jom.lst" | grep -v '^;' | sed '/^$/d' | show

# A fresh Wine prefix of the demo's own (never ~/.wine). The setup window
# speaks Russian, the product's own language: the locale of the Wine
# session picks the texts of setup.sln.
PREFIX="$DEMO/wineprefix"
APPS="$HOME/.local/share/applications"
apps_before=$(ls -R "$APPS" 2>/dev/null | md5sum)
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null
rm -rf "$PREFIX" "$PREFIX.lock"
say "   making a fresh Wine prefix $PREFIX"
wine_run() { LC_ALL=ru_RU.UTF-8 timeout 300 "$ROOT/scripts/wine-run.sh" "$PREFIX" "$@" </dev/null 2>/dev/null; }
# reg.exe writes in the console code page of that locale.
reg_query() { wine_run reg query "$@" | iconv -f CP866 -t UTF-8 | tr -d '\r'; }
wine_run cmd /c exit 0 >/dev/null || fail "the Wine prefix could not be made"
cp "$BUILD/bin/setupdriver.exe" "$DEMO/"
# The driver's actions are listed in tests/tools/SetupDriver.cpp.
# Its output goes through a file: the programs it starts inherit its standard
# handles, and a pipe would stay open as long as they run.
driver() {
  local status
  wine_run "$DEMO/setupdriver.exe" "$@" >"$DEMO/driver.out"
  status=$?
  tr -d '\r' < "$DEMO/driver.out" | show
  return $status
}
DOCS="$ROOT/docs"
INSTALLED="$PREFIX/drive_c/Program Files (x86)/Tavrel"
program='C:\Program Files (x86)\Tavrel\'
START_MENU="$PREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tavrel"
LOG="$DEMO/setup-log.txt"
rm -f "$LOG"
# "/LOG" has setup append its messages and results to a file: read it when
# this setup.exe knows the switch (an unknown argument is ignored).
show_log() {
  if [ -s "$LOG" ]; then
    say "what setup wrote to $(basename "$LOG") (/LOG):"
    show < "$LOG"
    rm -f "$LOG"
  fi
}
registration_name() {
  tr -d '\000\r' < "$INSTALLED/instcfg.ini" 2>/dev/null | sed -n 's/^SectionName=//p' | head -n 1
}
show_records() { # registration name
  local key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1"
  if [ -n "$1" ] && wine_run reg query "$key" >/dev/null; then
    say "the Uninstall entry $key:"
    reg_query "$key" | grep REG_ | sed 's/^ *//' | show
  else
    say "the Uninstall entry: none"
  fi
  if wine_run reg query 'HKCR\JOMRenewFile\shell\open\command' >/dev/null; then
    say "the update-file association .prf (.pr1 to .pr9 alike) opens: $(reg_query 'HKCR\JOMRenewFile\shell\open\command' |
      grep REG_ | sed 's/^.*REG_SZ *//')"
  else
    say "the update-file association .prf: none"
  fi
  if [ -d "$START_MENU" ]; then
    say "the Start-menu group Tavrel: $(cd "$START_MENU" && ls | tr '\n' ' ')"
  else
    say "the Start-menu group Tavrel: none"
  fi
}
# Waits (bounded) for a file that a program started by another writes.
wait_for() { for _ in $(seq 1 100); do [ -s "$1" ] && return 0; sleep 0.2; done; return 1; }
show_jom_log() {
  wait_for "$INSTALLED/jom.log" || fail "jom.exe did not report its start within 20 s"
  say "the installed jom.exe reports: $(tr -d '\r' < "$INSTALLED/jom.log")"
  rm -f "$INSTALLED/jom.log"
}

# What a relaunched copy leaves in %TEMP%\JOMSETUP.TMP: only its own
# executable, which cannot be deleted while it runs and is scheduled for
# deletion, with its folder, at the next start of Windows (of Wine here).
relaunch_check() {
  local left f n pending
  left=$(cd "$PREFIX/drive_c/users" && find . -path '*/Temp/JOMSETUP.TMP/*' -type f 2>/dev/null | sed 's|^\./||')
  if [ -z "$left" ]; then say "setup's relaunch folder %TEMP%\\JOMSETUP.TMP is empty"; return; fi
  pending=$(reg_query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations)
  while read -r f; do
    case "$f" in */JOMSETUP.TMP/*/setup.exe) ;; *) fail "setup's relaunch folder still holds $f" ;; esac
    n=$(basename "$(dirname "$f")")
    echo "$pending" | grep -qiF 'JOMSETUP.TMP\'"$n"'\setup.exe' || fail "$f is left and not scheduled for deletion"
  done <<< "$left"
  say "setup's relaunch folder holds only the copy's own running setup.exe, scheduled for deletion at the next start of Wine:"
  echo "$left" | show
}

say "3. the kit's setup.exe started by hand: the install layout"
driver start "\"$(winpath "$KIT/setup.exe")\"" \
  window Tavrel 60 controls shot "$(winpath "$DOCS/install-layout.png")" \
  click 301 gone 30 || fail "the install layout did not show and close as it should"

say "4. JomStart.exe with no installed copy: it starts the kit's setup.exe /WINE, which installs by itself"
driver start "\"$(winpath "$KIT/JomStart.exe")\" \"/LOG=$(winpath "$LOG")\"" \
  window Tavrel 60 lastshot "$(winpath "$DOCS/wine-layout.png")" 120 gone 30 ||
  fail "the unattended installation did not run through"
[ -f "$INSTALLED/instcfg.ini" ] || fail "the unattended installation left no installed copy"
show_log
say "the installed files (DISTR\\ holds the kept copies):"
(cd "$INSTALLED" && find . -type f ! -name jom.log | sort |
  while read -r f; do printf '%-28s %9s\n' "${f#./}" "$(stat -c %s "$f")"; done) | show
bad=0
for f in jom.exe jom.ini setup.ini setup.exe; do cmp -s "$KIT/$f" "$INSTALLED/$f" || bad=1; done
unzip -p "$KIT/data.zip" index.html | cmp -s - "$INSTALLED/www/index.html" || bad=1
unzip -p "$KIT/data.zip" readme.txt | cmp -s - "$INSTALLED/docs/readme.txt" || bad=1
[ "$bad" = 0 ] || fail "an installed file differs from the kit"
say "every installed file equals its file in the kit"
NAME=$(registration_name)
show_records "$NAME"
show_jom_log
relaunch_check

say "5. JomStart.exe -hide with the installed copy as new as the kit: it starts jom.exe /hide"
wine_run "$KIT/JomStart.exe" -hide
show_jom_log

# 6. An update file 5.02 -> 5.03: jom.exe as a block patch of its kept copy,
# docs\readme.txt as a whole file, jom.ini with changed list attributes (it
# gets a kept copy), www\index.html deleted, and the new setup.ini and list.
say "6. an update file 5.02 -> 5.03, opened as the shell opens it: the installed setup.exe applies it (/RNW)"
UPD="$DEMO/update"
rm -rf "$UPD" && mkdir -p "$UPD/new/docs"
{ cat "$INSTALLED/DISTR/jom.exe"; printf 'Tavrel 5.03'; } > "$UPD/new/jom.exe"
wine_run "$BUILD/bin/renewpatch.exe" "$(winpath "$INSTALLED/DISTR/jom.exe")" "$(winpath "$UPD/new/jom.exe")" \
  "$(winpath "$UPD/new/jom.rdf")" >/dev/null || fail "renewpatch.exe could not write the patch"
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
  for f in setup.exe setup.exe.admin.manifest setup.sln; do item "$f" o "$INSTALLED/$f"; done
} > "$UPD/new/jom.lst"
printf 'Version 5.02 5.03\r\nRenew jom.rdf jom.exe\r\nCopy docs\\readme.txt\r\nChange jom.ini\r\nCopy setup.ini\r\n' \
  > "$UPD/new/renew.cmd"
(cd "$UPD/new" && zip -q -X "$UPD/upd503.prf" renew.cmd jom.lst setup.ini jom.rdf docs/readme.txt)
say "the update file upd503.prf:"
unzip -l "$UPD/upd503.prf" | sed -n '4,$p' | sed '$d' | sed '$d' | awk '{printf "%-18s %9s\n", $4, $1}' | show
say "its command file renew.cmd:"
tr -d '\r' < "$UPD/new/renew.cmd" | show
(cd "$INSTALLED" && find . -type f ! -name 'jom.log' -exec md5sum {} + | sort -k2) > "$UPD/before.md5"
driver open "$(winpath "$UPD/upd503.prf")" window Tavrel 60 box 120 "" lines answer yes gone 30 ||
  fail "the update did not run through"
(cd "$INSTALLED" && find . -type f ! -name 'jom.log' -exec md5sum {} + | sort -k2) > "$UPD/after.md5"
say "files of the installed copy that the update changed:"
awk 'NR == FNR { before[$2] = $1; next } { after[$2] = $1 }
     END {
       for (p in before) if (!(p in after)) print p, "deleted"
       for (p in after) if (!(p in before)) print p, "new"; else if (after[p] != before[p]) print p, "changed"
     }' "$UPD/before.md5" "$UPD/after.md5" | sort | awk '{ sub(/^\.\//, "", $1); printf "%-20s %s\n", $1, $2 }' | show
cmp -s "$UPD/new/jom.exe" "$INSTALLED/jom.exe" || fail "jom.exe is not the 5.03 one"
grep -q '^Version=5.03' "$INSTALLED/setup.ini" || fail "the installed setup.ini does not say 5.03"
say "setup.ini of the installed copy now says: $(grep '^Version=' "$INSTALLED/setup.ini" | tr -d '\r')"
show_jom_log

say "7. the installed setup.exe: the maintenance layout; a check of the installed copy (button 303)"
driver start "\"${program}setup.exe\"" window Tavrel 60 controls click 303 box 120 "" lines answer ok \
  shot "$(winpath "$DOCS/maintenance-layout.png")" || fail "the check did not run through"
say "docs\\readme.txt of the installed copy edited by hand, then checked again in the same window"
printf 'A note of the user\r\n' >> "$INSTALLED/docs/readme.txt"
driver window Tavrel 10 click 303 box 120 "" lines answer ok || fail "the second check did not run through"

say "8. the uninstall from the same window (button 305): its questions answered yes"
driver window Tavrel 10 click 305 box 60 "" answer yes box 60 "" answer yes box 60 "" answer yes \
  box 60 "" answer ok gone 30 || fail "the uninstall did not run through"
[ -d "$INSTALLED" ] && fail "the program folder is still there: $(cd "$INSTALLED" && find . -type f | tr '\n' ' ')"
say "the program folder C:\\Program Files (x86)\\Tavrel: gone"
show_records "$NAME"

WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null
say "9. the next start of Wine carries out the scheduled deletions"
wine_run cmd /c exit 0
WINEPREFIX="$PREFIX" wineserver -k 2>/dev/null
left=$(find "$PREFIX/drive_c/users" -path '*/Temp/JOMSETUP.TMP/*' 2>/dev/null)
[ -z "$left" ] || fail "the relaunch folders are still there: $left"
say "the relaunch folders below %TEMP%\\JOMSETUP.TMP are gone"
[ "$(ls -R "$APPS" 2>/dev/null | md5sum)" = "$apps_before" ] || fail "$APPS changed"
say "nothing was written to $APPS; the Wine server of the prefix is stopped"
say "pictures of the three layouts: docs/install-layout.png, docs/wine-layout.png, docs/maintenance-layout.png"
say "done"
