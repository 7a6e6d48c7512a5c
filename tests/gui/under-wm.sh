#!/usr/bin/env bash
# Runs a window test program on a virtual screen of its own (Xvfb, on a free
# display) under a real window manager (openbox), for the tests whose outcome
# depends on the frame a window manager puts around a window.
# Usage: tests/gui/under-wm.sh PROGRAM [ARGS...]
# Exit status: the program's, or 77 (a skipped test) when Xvfb or openbox is
# not installed; anything else that keeps the screen from coming up fails.
set -u
for tool in Xvfb openbox; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed; the window-manager tests need Xvfb and openbox (apt-get install xvfb openbox)"
    exit 77
  fi
done

work=$(mktemp -d)
xvfb= wm=
cleanup() {
  [ -z "$wm" ] || kill "$wm" 2>/dev/null
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a display nobody uses and names it once it takes connections.
Xvfb -displayfd 3 -screen 0 1400x1000x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=:$(head -n1 "$work/display")

# The window manager says when it manages windows; its menus and session are not wanted.
HOME=$work XDG_CONFIG_HOME=$work openbox --sm-disable --startup "touch $work/ready" >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do
  [ -e "$work/ready" ] && break
  kill -0 "$wm" 2>/dev/null || break
  sleep 0.1
done
if [ ! -e "$work/ready" ]; then
  echo "openbox did not start on $DISPLAY:" >&2
  cat "$work/openbox.log" >&2
  exit 1
fi

echo "window manager: openbox on $DISPLAY${QT_SCALE_FACTOR:+, scale $QT_SCALE_FACTOR}"
# A screen of its own is a session of its own: no one's session bus either.
DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb "$@"
