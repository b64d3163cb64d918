#!/usr/bin/env bash
# Starts a prefix's Wine server and background programs (services, explorer)
# detached from the caller's output, and keeps the server running until
# `WINEPREFIX=PREFIX wineserver -k`. Run it before ctest: started by the
# first test instead, they inherit that test's pipes, and ctest counts the
# test as running until the server exits at the end of the whole run.
# Usage: wine-start.sh PREFIX
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=$(realpath -m "$1")
# Creates the prefix once.
"$ROOT/scripts/wine-run.sh" "$prefix" cmd /c exit </dev/null >/dev/null 2>&1 || true
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineserver -k 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1 || true
