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
    # Every program of the run finds the registry in memory.
    wineserver -p
    ;;
  run)
    exec wine "$@"
    ;;
  host)
    export TARNEL_TEST_PREFIX=$dir
    exec "$@"
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
