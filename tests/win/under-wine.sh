#!/usr/bin/env bash
# tarnel.exe run by Wine on the test run's shared prefix and looked at from
# outside its process, as a user's tools would (tarnel_winprobe.exe): the
# caption, the active list against what Wine's own codec manager
# enumerates, then a deactivation done through the window and its traces in
# the codec manager and the inactive list. Wine's windows need a screen:
# a virtual one of its own (Xvfb) on a free display.
# Usage: tests/win/under-wine.sh WINEPREFIX.SH PREFIX ARCH WINBUILD CAPTION
#        tests/win/under-wine.sh WINEPREFIX.SH PREFIX ARCH WINBUILD --tests
# (the second runs the window tests made in-process, tarnel_win_tests.exe,
# on the same screen and prefix)
# Exit status 0, 1 on a fault, 77 (skip) without Wine's 32-bit side or Xvfb.
set -uo pipefail
script=${1:?} prefix=${2:?} arch=${3:?} winbuild=${4:?} caption=${5:?}
if [ "$arch" = win32 ] && ! bash "$script" has32; then
  echo "32-bit Wine (wine32:i386) is not installed"
  exit 77
fi
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "SKIPPED: Xvfb is not installed; Wine's windows need a screen (apt-get install xvfb)"
  exit 77
fi
[ -f "$prefix/system.reg" ] || { echo "no prefix in $prefix (wineprefix.sh make makes it)" >&2; exit 1; }
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winbuild=$(realpath "$winbuild")
exe=$winbuild/app/tarnel.exe
probe=$winbuild/tests/tarnel_winprobe.exe

work=$(mktemp -d)
xvfb= program=
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
cleanup() {
  [ -z "$program" ] || kill "$program" 2>/dev/null
  # The prefix's desktop knows this screen: the next program gets a fresh
  # server and desktop on its own.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
# The server of the shared prefix came up without a screen.
wineserver -k 2>/dev/null; wineserver -w 2>/dev/null

# The output goes through a file: Wine's helper processes started by a call
# may outlive it and would hold a pipe open.
probe() {
  local status=0
  wine "$probe" "$@" </dev/null >"$work/probe.out" 2>&1 || status=$?
  tr -d '\r' <"$work/probe.out"
  return $status
}

if [ "$caption" = --tests ]; then
  status=0
  (cd "$winbuild/tests" && wine ./tarnel_win_tests.exe) </dev/null >"$work/tests.log" 2>&1 || status=$?
  tr -d '\r' <"$work/tests.log"
  # 77 is the runner's skip: a program that ends so has failed here.
  [ $status -eq 77 ] && status=1
  exit $status
fi

# The prefix's codecs stay where Wine keeps them (SYSTEM.INI and the
# registry): the program reads and writes the prefix's own store.
probe codecs | sort >"$work/codecs"
echo "the codec manager enumerates:"; cat "$work/codecs"
[ -s "$work/codecs" ] || fail "the prefix has no codecs to work with"

(cd "$(dirname "$exe")" && exec wine "$exe" </dev/null >"$work/program.log" 2>&1) &
program=$!
shown=$(probe wait-window 90)
[ "$shown" = "$caption" ] || fail "the main window's caption is '$shown', not '$caption'"

probe rows | sort >"$work/rows"
echo "the active list shows:"; cat "$work/rows"
diff -u "$work/codecs" "$work/rows" || fail "the active list is not what the codec manager enumerates"

# Deactivating the first codec through the window's own command.
target=$(head -n1 "$work/rows" | cut -d' ' -f1)
probe select "$target"
probe command 40103   # IDM_DEACTIVATE
probe codecs | sort >"$work/after"
if grep -q "^$target " "$work/after"; then
  fail "the codec manager still enumerates $target after its deactivation"
fi
[ "$(wc -l <"$work/after")" -eq $(($(wc -l <"$work/codecs") - 1)) ] || fail "the deactivation changed other codecs: $(cat "$work/after")"
probe rows | sort >"$work/rows"
diff -u "$work/after" "$work/rows" || fail "the active list does not show the deactivation"
probe inactive >"$work/inactive"
grep -q "^$target " "$work/inactive" || fail "$target is not in the inactive list: $(cat "$work/inactive")"

# ...and back by the inactive list's own command, so that the prefix ends as it began.
probe select-inactive "$target"
probe command 40112   # IDM_ACTIVATE
probe codecs | sort >"$work/back"
diff -u "$work/codecs" "$work/back" || fail "the activation did not bring $target back to the codec manager"
if probe inactive | grep -q "^$target "; then fail "$target stayed in the inactive list after its activation"; fi
probe quit || fail "the program did not end on the quit question's Yes"
program=
[ $failed -eq 0 ] && echo "tarnel.exe under Wine ($arch): caption, list and deactivation as the codec manager sees them"
exit $failed
