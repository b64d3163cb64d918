#!/usr/bin/env bash
# Runs a Windows executable under Wine in the given prefix, creating the
# prefix once. Usage: wine-run.sh PREFIX program.exe [args...]
# The prefix belongs to the build folder; the user's ~/.wine is never used.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installation prompts: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# Never the menu builder, whatever the caller asked for: each shortcut made
# inside the prefix would otherwise write a desktop entry into the real home
# folder.
case ";$WINEDLLOVERRIDES;" in
  *";winemenubuilder.exe=d;"*) ;;
  *) WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" ;;
esac
if [ ! -f "$prefix/.tavrel-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/.tavrel-ready" ]; then
      echo "wine-run: creating the Wine prefix $prefix" >&2
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      [ -f "$prefix/system.reg" ] || { echo "wine-run: wineboot failed" >&2; exit 1; }
      touch "$prefix/.tavrel-ready"
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
