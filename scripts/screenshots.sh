#!/usr/bin/env bash
# Takes the screenshots under docs/ of the program on a fresh demo machine,
# under Xvfb with a small window manager (xvfb, openbox, xdotool, imagemagick).
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/app/tarnelctl" init "$work/machine" >/dev/null
"$build/app/tarnelctl" init "$work/unsupported" >/dev/null
# A machine of a platform the program refuses.
sed -i 's/^"CurrentVersion"="5.1"$/&\n"PlatformId"=dword:00000003/' "$work/unsupported/system.reg"

cat > "$work/session.sh" <<SESSION
#!/usr/bin/env bash
openbox >/dev/null 2>&1 &
sleep 1
export TARNEL_MACHINE=$work/machine
"$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/main-window.png"
xdotool mousemove 631 285 click 1; sleep 1
import -window root "$out/main-window-log.png"
xdotool mousemove 333 285 click 1; sleep 0.5
# Select the first active codec (it has an inactive twin, drawn red).
xdotool mousemove 290 398 click 1; sleep 1
import -window root "$out/codec-selected.png"
# Switch the version tooltips on from the list's popup menu, then hover.
xdotool mousemove 290 398 click 3; sleep 0.7
xdotool key Up Up Return; sleep 0.5
xdotool mousemove 300 399; sleep 0.3; xdotool mousemove 302 400; sleep 1.5
import -window root "$out/codec-tooltip.png"
xdotool mousemove 900 900; sleep 0.3
xdotool key --clearmodifiers alt+h; sleep 0.5; xdotool key a; sleep 1.5
import -window root "$out/about-box.png"
xdotool mousemove 640 450 click 1; sleep 1
xdotool key --clearmodifiers alt+f; sleep 0.5; xdotool key e; sleep 1.5
import -window root "$out/quit-question.png"
xdotool key Escape; sleep 0.5
# The DirectShow tab, as filled at start-up, then sorted by its Company header.
xdotool mousemove 483 291 click 1; sleep 1
import -window root "$out/directshow-tab.png"
xdotool mousemove 770 374 click 1; sleep 1
import -window root "$out/directshow-sorted.png"
xdotool key --clearmodifiers alt+o; sleep 0.5; xdotool key p; sleep 1.5
import -window root "$out/preferences.png"
xdotool key Escape; sleep 0.5
kill \$pid; wait \$pid 2>/dev/null || true
TARNEL_MACHINE=$work/unsupported "$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/unsupported-message.png"
kill \$pid; wait \$pid 2>/dev/null || true
QT_SCALE_FACTOR=1.5 "$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/main-window-150.png"
kill \$pid; wait \$pid 2>/dev/null || true
SESSION
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 1400x1000x24 -dpi 96" "$work/session.sh"
echo "screenshots in $out/"
