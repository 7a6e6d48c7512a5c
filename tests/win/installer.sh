#!/usr/bin/env bash
# The installer, run by Wine on the test run's shared prefix: a silent
# install puts the program, its help and pictures and the Start-menu entry
# in place; a silent uninstall takes them away again and leaves the user's
# settings, unless /REMOVESETTINGS asks for them to go too.
# Usage: tests/win/installer.sh WINEPREFIX.SH PREFIX ARCH WINBUILD VERSION
# Exit status 0, 1 on a fault, 77 (skip) without Wine's 32-bit side.
set -uo pipefail
script=${1:?} prefix=${2:?} arch=${3:?} winbuild=${4:?} version=${5:?}
if [ "$arch" = win32 ] && ! bash "$script" has32; then
  echo "32-bit Wine (wine32:i386) is not installed"
  exit 77
fi
[ -f "$prefix/system.reg" ] || { echo "no prefix in $prefix (wineprefix.sh make makes it)" >&2; exit 1; }
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winbuild=$(realpath "$winbuild")
setup=$winbuild/tarnel-$version-setup.exe
[ -f "$setup" ] || { echo "no installer at $setup" >&2; exit 1; }

work=$(mktemp -d)
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
# Output through a file: Wine's helper processes may outlive a call and hold a pipe.
win() {
  local status=0
  wine "$@" </dev/null >"$work/out" 2>&1 || status=$?
  tr -d '\r' <"$work/out"
  return $status
}
settings='HKCU\Software\Halvorin\Preferences'
had_settings=0
win reg export "$settings" 'C:\tarnel-settings.reg' >/dev/null 2>&1 && had_settings=1
cp "$prefix/drive_c/tarnel-settings.reg" "$work/settings.reg" 2>/dev/null
cleanup() {
  win reg delete "$settings" /f >/dev/null 2>&1
  if [ $had_settings -eq 1 ]; then
    cp "$work/settings.reg" "$prefix/drive_c/tarnel-settings.reg"
    win reg import 'C:\tarnel-settings.reg' >/dev/null 2>&1
  fi
  rm -f "$prefix/drive_c/tarnel-settings.reg"
  rm -rf "$prefix/drive_c/TarnelTest" "$work"
}
trap cleanup EXIT

dir=$prefix/drive_c/TarnelTest
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tarnel"
installed=(tarnel.exe Tarnel.hlp uninstall.exe art/splash.jpg art/question.jpg art/recycled.jpg)

install() {
  win "$setup" /S '/D=C:\TarnelTest' || fail "the silent install ended with status $?"
  for f in "${installed[@]}"; do [ -f "$dir/$f" ] || fail "the install did not put $f in place"; done
  cmp -s "$dir/tarnel.exe" "$winbuild/app/tarnel.exe" || fail "the installed tarnel.exe is not the one built"
  [ -f "$menu/Tarnel.lnk" ] || fail "no Start-menu entry at $menu/Tarnel.lnk"
}
# The uninstaller runs from a copy of itself and returns at once: its work is awaited.
uninstall() {
  win 'C:\TarnelTest\uninstall.exe' /S "$@" || fail "the silent uninstall ended with status $?"
  for _ in $(seq 150); do
    [ ! -e "$dir/tarnel.exe" ] && [ ! -e "$dir" ] && break
    sleep 0.2
  done
  sleep 1
  for f in "${installed[@]}"; do [ ! -e "$dir/$f" ] || fail "the uninstall left $f behind"; done
  [ ! -e "$dir" ] || fail "the uninstall left the program's folder behind"
  [ ! -e "$menu" ] || fail "the uninstall left the Start-menu entry behind"
}
has_settings() { win reg query "$settings" /v TarnelInstallerTest >/dev/null 2>&1; }
# A Wine call can fail on its own while the prefix's server starts: the
# marker is checked in place before the uninstall, and a missing one is
# asked after again before it counts as removed.
add_marker() {
  for _ in 1 2 3; do
    win reg add "$settings" /v TarnelInstallerTest /t REG_DWORD /d 1 /f >/dev/null 2>&1 && has_settings && return 0
    sleep 1
  done
  fail "the marker value could not be written into $settings"
}
settings_kept() {
  for _ in 1 2 3; do
    has_settings && return 0
    sleep 1
  done
  return 1
}

install
add_marker
uninstall
settings_kept || fail "a plain uninstall removed the user's settings"

install
uninstall /REMOVESETTINGS
has_settings && fail "the uninstall asked to remove the settings left them"

[ $failed -eq 0 ] && echo "tarnel-$version-setup.exe ($arch): silent install and uninstall, settings kept unless asked"
exit $failed
