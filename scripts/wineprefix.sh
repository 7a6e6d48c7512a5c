#!/usr/bin/env bash
# A throwaway 32-bit Wine prefix for the tests that need Wine.
#   wineprefix.sh make DIR              a fresh prefix in DIR, its server kept running
#   wineprefix.sh run DIR PROGRAM.exe   a Windows program, run by Wine on DIR
#   wineprefix.sh host DIR PROGRAM      a Linux program told the prefix in $TARNEL_TEST_PREFIX
#   wineprefix.sh remove DIR            the server ended, the folder gone
set -euo pipefail
cmd=$1
dir=$2
shift 2
export WINEPREFIX=$dir WINEARCH=win32 WINEDEBUG=-all
# No browser or .NET runtime to install: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
case $cmd in
  make)
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
    wineboot -i
    # Every program of the run then finds the server running and the
    # registry in memory: the one that made the prefix ends (writing the
    # registry out) and one that stays takes its place.
    # (The server outlives this script: it must not hold the caller's output.)
    wineserver -k
    wineserver -w
    wineserver -p </dev/null >/dev/null 2>&1
    # The prefix's services start now, away from any caller's output.
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  run|host)
    # Wine's helper processes may outlive the program and keep whatever
    # output it had: the output goes through a file, so the caller (ctest)
    # sees its end when the program ends.
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    status=0
    if [ "$cmd" = run ]; then
      wine "$@" </dev/null >"$log" 2>&1 || status=$?
    else
      TARNEL_TEST_PREFIX=$dir "$@" </dev/null >"$log" 2>&1 || status=$?
    fi
    cat "$log"
    exit $status
    ;;
  remove)
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
    ;;
  *)
    echo "usage: wineprefix.sh make|run|host|remove DIR [PROGRAM ...]" >&2
    exit 2
    ;;
esac
