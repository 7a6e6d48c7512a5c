#!/usr/bin/env bash
# Takes the screenshots of tarnel.exe under 64-bit Wine (docs/win-*.png) on a
# throwaway prefix holding Wine's own codecs and the demo drivers, at the
# window's design size, on a screen of its own (xvfb, openbox, imagemagick).
# Usage: scripts/screenshots-win.sh [WIN64_BUILD_DIR] [DISPLAY_NUMBER]
set -euo pipefail
cd "$(dirname "$0")/.."
win64=$(realpath "${1:-build-win64}")
display=${2:-99}
out=docs
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb=
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
probe() { wine "$win64/tests/tarnel_winprobe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
shot() {
  sleep "${2:-1.5}"
  import -display ":$display" -window root "$work/shot.png"
  convert "$work/shot.png" -trim +repage "$out/$1"
  echo "$out/$1"
}

wineboot -i </dev/null >/dev/null 2>&1
# The demo drivers beside Wine's own, listed in the prefix's registry.
cp "$win64/demo/files/"*.dll "$WINEPREFIX/drive_c/windows/system32/"
{
  echo 'REGEDIT4'
  echo
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Drivers32]'
  echo '"vidc.mjpg"="lcmjpeg.dll"'
  echo '"vidc.yuy2"="pbyuv.dll"'
  echo '"vidc.kwd3"="kwdelta.dll"'
} >"$work/codecs.reg"
wine reg import "$(winepath -w "$work/codecs.reg")" </dev/null >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w

Xvfb ":$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp 2>/dev/null &
xvfb=$!
sleep 1
export DISPLAY=:$display
openbox >/dev/null 2>&1 &
sleep 1
(cd "$win64/app" && exec wine ./tarnel.exe </dev/null >/dev/null 2>&1) &
probe wait-window 90 >/dev/null
shot win-main.png 3

# kwd3 deactivated through the window's own command.
probe select kwd3
probe command 40103   # IDM_DEACTIVATE
shot win-deactivated.png

probe main 40002      # IDM_PREFERENCES
shot win-preferences.png
probe press 2         # IDCANCEL

# mjpg's driver shows its own about box.
probe select mjpg
probe post 40102      # IDM_CODECABOUT
shot win-driver-about.png 3
probe press 1 || true # its OK
# ...and kwd3 back, so that the prefix ends as it began.
probe select-inactive kwd3
probe command 40112   # IDM_ACTIVATE
probe quit
