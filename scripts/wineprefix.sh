#!/usr/bin/env bash
# Throwaway Wine prefixes for the tests that need Wine. ARCH is win64 or
# win32; a 32-bit prefix and everything run on it need Wine's 32-bit side,
# and without it each command says so and ends with status 77, which the
# test runner reports as a skip.
#   wineprefix.sh make DIR ARCH              a fresh prefix in DIR, its server kept running
#   wineprefix.sh run DIR ARCH PROGRAM.exe   a Windows program, run by Wine on DIR
#   wineprefix.sh host DIR ARCH PROGRAM      a Linux program told the prefix in $TARNEL_TEST_PREFIX
#   wineprefix.sh remove DIR ARCH            the server ended, the folder gone
#   wineprefix.sh has32                      status 0 when Wine runs 32-bit programs
set -euo pipefail
readonly no32="32-bit Wine (wine32:i386) is not installed"

# The wine backend's own test (WineRuns32Bit): Debian's launcher runs
# lib/wine/wine, the 32-bit loader only wine32:i386 brings, else its 64-bit
# loader; a Wine built from source keeps its 32-bit side in i386-windows.
has32() {
  local wine top lib
  wine=$(command -v wine) || return 1
  top=$(dirname "$(dirname "$(realpath "$wine")")")
  if [ -e "$top/lib/wine/wine64" ] || [ -e "$top/lib/wine/wine" ]; then
    [ -x "$top/lib/wine/wine" ]
    return
  fi
  for lib in lib/wine lib32/wine lib/i386-linux-gnu/wine; do
    [ -e "$top/$lib/i386-windows/ntdll.dll" ] && return 0
  done
  return 1
}

cmd=${1:?usage: wineprefix.sh make|run|host|remove DIR ARCH [PROGRAM ...] | has32}
if [ "$cmd" = has32 ]; then
  has32
  exit
fi
dir=${2:?the prefix folder is missing}
arch=${3:?the architecture (win32 or win64) is missing}
shift 3
case $arch in
  win32)
    if ! has32; then
      echo "$no32"
      exit 77
    fi
    ;;
  win64) ;;
  *)
    echo "wineprefix.sh: the architecture is win32 or win64, not '$arch'" >&2
    exit 2
    ;;
esac
export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all
# No browser or .NET runtime to install: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
case $cmd in
  make)
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
    # wineboot starts the prefix's services, which may outlive every step
    # below if the server is slow to end: none of them may hold the caller's
    # output (ctest waits for it to close), so wineboot's goes through a file.
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    status=0
    wineboot -i </dev/null >"$log" 2>&1 || status=$?
    cat "$log"
    if [ "$status" -ne 0 ]; then exit "$status"; fi
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
    # Wine would make a prefix of its own where the test's is missing.
    if [ ! -f "$dir/system.reg" ]; then
      echo "wineprefix.sh: no prefix in $dir (wineprefix.sh make makes it)" >&2
      exit 1
    fi
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
    # 77 is the runner's skip: a program that ends so has failed here.
    if [ "$status" -eq 77 ]; then status=1; fi
    exit $status
    ;;
  remove)
    wineserver -k 2>/dev/null || true
    rm -rf "$dir"
    ;;
  *)
    echo "usage: wineprefix.sh make|run|host|remove DIR ARCH [PROGRAM ...] | has32" >&2
    exit 2
    ;;
esac
