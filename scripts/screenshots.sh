#!/usr/bin/env bash
# Takes the screenshots under docs/ of the program on a fresh demo machine,
# under Xvfb with a small window manager (xvfb, openbox, xdotool, imagemagick),
# and, when Wine and the bridge are there, a demo driver's own about box on a
# throwaway Wine prefix.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=docs
work=$(mktemp -d)
# Wine's server of the prefix made below ends before its folder goes, and
# the server's own folder under $TMPDIR (which the prefix names) goes too.
cleanup() {
  if [ -d "$work/wine" ]; then
    WINEPREFIX="$work/wine" wineserver -k 2>/dev/null || true
    WINEPREFIX="$work/wine" wineserver -w 2>/dev/null || true
    local server
    server=$(cat "$work/wine/wineserver" 2>/dev/null || true)
    case $server in
      */*) ;;
      wine-?*) rm -rf "${TMPDIR:-/tmp}/$server" ;;
    esac
  fi
  rm -rf "$work"
}
trap cleanup EXIT
"$build/app/tarnelctl" init "$work/machine" >/dev/null
"$build/app/tarnelctl" init "$work/unsupported" >/dev/null
# A machine of a platform the program refuses.
sed -i 's/^"CurrentVersion"="5.1"$/&\n"PlatformId"=dword:00000003/' "$work/unsupported/system.reg"
# A machine that asks before swapping, in a window large enough to show both lists whole.
"$build/app/tarnelctl" init "$work/ops" >/dev/null
cat >> "$work/ops/user.reg" <<'PREFS'

[SOFTWARE\\Halvorin\\Preferences] 1796776109
"SizeEqually"=dword:00000001
"StayOnTop"=dword:00000000
"AutoSwap"=dword:00000000
"SavePositions"=dword:00000001
"DisableDoubleClick"=dword:00000000
"MainLeft"=dword:00000064
"MainTop"=dword:00000050
"MainHeight"=dword:00000280
"MainWidth"=dword:00000334
"ActiveCodecHeight"=dword:00000000
"ProgramFont"="Arial"
"FontSize"=dword:0000000a
PREFS
# A machine whose yuy2 driver is scanned: one of its FOURCCs is in service, two are free.
"$build/app/tarnelctl" init "$work/scan" >/dev/null
# A machine in a window tall enough to show every active codec, xmv7 with
# its missing driver last.
"$build/app/tarnelctl" init "$work/broken" >/dev/null
cat >> "$work/broken/user.reg" <<'PREFS'

[SOFTWARE\\Halvorin\\Preferences] 1796776109
"SizeEqually"=dword:00000000
"StayOnTop"=dword:00000001
"AutoSwap"=dword:00000001
"SavePositions"=dword:00000001
"DisableDoubleClick"=dword:00000000
"MainLeft"=dword:00000064
"MainTop"=dword:00000050
"MainHeight"=dword:000002bc
"MainWidth"=dword:00000384
"ActiveCodecHeight"=dword:0000012c
"ProgramFont"="Arial"
"FontSize"=dword:0000000a
PREFS
# A machine whose second inactive entry holds three texts instead of six:
# it is listed marked among the others, and can be removed.
"$build/app/tarnelctl" init "$work/malformed" >/dev/null
cp "$work/broken/user.reg" "$work/malformed/user.reg"
python3 - "$work/malformed/system.reg" <<'SHORTEN'
import sys
path = sys.argv[1]
lines = open(path).read().split("\n")
at = next(i for i, l in enumerate(lines) if l.startswith('"#002#"=hex:'))
end = at
while lines[end].endswith("\\"):
    end += 1
short = b"ptx8\0pbtex.dll\0PB Texture\0"
lines[at:end + 1] = ['"#002#"=hex:' + ",".join("%02x" % b for b in short)]
open(path, "w").write("\n".join(lines))
SHORTEN
# A machine, deep in folders of long names, whose user hive is no registry
# file: start-up says so in a long message.
deep="$work/machines/the-office-workstation-in-the-second-floor-meeting-room/prefix-kept-for-the-video-editing-tools"
mkdir -p "$(dirname "$deep")"
"$build/app/tarnelctl" init "$deep" >/dev/null
sed -i '1s/.*/NOT A REGISTRY/' "$deep/user.reg"

# Machines for the pictures of the window's own edges: one with the default
# settings (its font "Arial" is missing on a plain machine), one whose saved
# top lies above the screen.
"$build/app/tarnelctl" init "$work/nofont" >/dev/null
"$build/app/tarnelctl" init "$work/panels" >/dev/null
"$build/app/tarnelctl" init "$work/negtop" >/dev/null
cat >> "$work/negtop/user.reg" <<'PREFS'

[SOFTWARE\\Halvorin\\Preferences] 1796776109
"SizeEqually"=dword:00000001
"StayOnTop"=dword:00000001
"AutoSwap"=dword:00000001
"SavePositions"=dword:00000001
"DisableDoubleClick"=dword:00000000
"MainLeft"=dword:00000064
"MainTop"=dword:fffffff6
"MainHeight"=dword:000001c2
"MainWidth"=dword:000002bc
"ActiveCodecHeight"=dword:00000000
"ProgramFont"="Arial"
"FontSize"=dword:0000000a
PREFS

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
xdotool mousemove 290 386 click 1; sleep 1
import -window root "$out/codec-selected.png"
# Switch the version tooltips on from the list's popup menu, then hover.
xdotool mousemove 290 386 click 3; sleep 0.7
xdotool key Up Up Return; sleep 0.5
xdotool mousemove 300 387; sleep 0.3; xdotool mousemove 302 388; sleep 1.5
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
xdotool mousemove 770 367 click 1; sleep 1
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
TARNEL_MACHINE=$work/ops "$build/app/tarnel" & pid=\$!
sleep 3
# drag DX Y0 Y1: press at (DX, Y0), move in steps to (DX, Y1), release.
drag() {
  xdotool mousemove \$1 \$2 mousedown 1; sleep 0.2
  for i in 1 2 3 4 5 6 7 8; do xdotool mousemove \$((\$1 + 2)) \$((\$2 + (\$3 - \$2) * i / 8)); sleep 0.12; done
  sleep 0.3; xdotool mouseup 1; sleep 1.5
}
# The inactive mjpg onto the active list, where another mjpg is in service.
xdotool mousemove 200 510 click 1; sleep 0.5
drag 200 510 320
import -window root "$out/swap-question.png"
xdotool key Escape; sleep 0.8
# yuy2 and vrh2 onto the inactive list.
xdotool mousemove 200 253 click 1; sleep 0.3
xdotool keydown ctrl mousemove 200 299 click 1 keyup ctrl; sleep 0.5
drag 200 299 560
import -window root "$out/after-deactivation.png"
# kwd3's own about box, from the list's popup menu.
xdotool mousemove 200 283 click 3; sleep 0.8; xdotool key b; sleep 1.5
import -window root "$out/codec-about.png"
xdotool key Return; sleep 0.5
kill \$pid; wait \$pid 2>/dev/null || true
TARNEL_MACHINE=$work/scan "$build/app/tarnel" & pid=\$!
sleep 3
# Scan yuy2's driver from the list's popup menu; the found dialog waits.
xdotool mousemove 314 402 click 1; sleep 0.7
xdotool click 3; sleep 0.8; xdotool key s; sleep 2
import -window root "$out/found-dialog.png"
xdotool key Escape; sleep 0.5
kill \$pid; wait \$pid 2>/dev/null || true
# At 200 %: the window comes up whole on the screen.
QT_SCALE_FACTOR=2 "$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/main-window-200.png"
kill \$pid; wait \$pid 2>/dev/null || true
# A large system font (fonts at 192 dots per inch, pixels unscaled): columns
# and status panels grow with it.
TARNEL_MACHINE=$work/broken QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=192 "$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/main-window-large-font.png"
kill \$pid; wait \$pid 2>/dev/null || true
# xmv7's missing driver: its mark, and the tooltip saying why, alone and
# above the version texts.
TARNEL_MACHINE=$work/broken "$build/app/tarnel" & pid=\$!
sleep 3
xdotool mousemove 228 411; sleep 0.3; xdotool mousemove 230 412; sleep 2
import -window root "$out/broken-entry.png"
xdotool click 3; sleep 0.7; xdotool key Up Up Return; sleep 0.5
xdotool mousemove 232 412; sleep 0.3; xdotool mousemove 234 413; sleep 1.5
import -window root "$out/broken-entry-versions.png"
xdotool mousemove 900 900; sleep 0.3
# The help window beside the main window, with its way back and forward.
xdotool key F1; sleep 2
import -window root "$out/help-window.png"
xdotool key --clearmodifiers ctrl+w; sleep 0.5
kill \$pid; wait \$pid 2>/dev/null || true
# The inactive entry that cannot be read whole: a marked row, the others
# before and after it listed.
TARNEL_MACHINE=$work/malformed "$build/app/tarnel" & pid=\$!
sleep 3
xdotool mousemove 124 594; sleep 0.3; xdotool mousemove 126 595; sleep 2
import -window root "$out/malformed-entry.png"
kill \$pid; wait \$pid 2>/dev/null || true
TARNEL_MACHINE=$deep "$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/error-message.png"
xdotool key Return; sleep 1
kill \$pid 2>/dev/null; wait \$pid 2>/dev/null || true
# The preferences without a font to select (the default is missing): OK
# stores an empty name and the window looks as it did.
TARNEL_MACHINE=$work/nofont "$build/app/tarnel" & pid=\$!
sleep 3
xdotool key --clearmodifiers alt+o; sleep 0.5; xdotool key p; sleep 1.5
import -window root "$out/preferences-no-font.png"
xdotool key --clearmodifiers alt+a; sleep 0.3; xdotool key Return; sleep 1
import -window root "$out/preferences-no-font-after-ok.png"
kill \$pid; wait \$pid 2>/dev/null || true
# A saved top 10 pixels above the screen: the frame comes up whole, title bar included.
TARNEL_MACHINE=$work/negtop "$build/app/tarnel" & pid=\$!
sleep 3
import -window root "$out/saved-top-above-screen.png"
kill \$pid; wait \$pid 2>/dev/null || true
# A wider font (fonts at 144 dots per inch) at the design width: every status
# panel in sight, the first cut short and whole in its tooltip.
TARNEL_MACHINE=$work/panels QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=144 "$build/app/tarnel" & pid=\$!
sleep 3
xdotool mousemove 300 420 click 1; sleep 0.7
xdotool mousemove 320 652; sleep 0.3; xdotool mousemove 322 653; sleep 2
import -window root "$out/status-panels-wide-font.png"
kill \$pid; wait \$pid 2>/dev/null || true
# The about box at 150 and 200 %: its last line ends before its icon.
for scale in 150:1.5 200:2; do
  QT_SCALE_FACTOR=\${scale#*:} TARNEL_MACHINE=$work/nofont "$build/app/tarnel" & pid=\$!
  sleep 3
  xdotool key --clearmodifiers alt+h; sleep 0.5; xdotool key a; sleep 1.5
  import -window root "$out/about-box-\${scale%:*}.png"
  kill \$pid; wait \$pid 2>/dev/null || true
done
SESSION
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 1400x1000x24 -dpi 96" "$work/session.sh"

# ---- A demo driver's own about box, drawn by Wine through the bridge ---------
# On a 64-bit prefix, which 64-bit Wine alone serves: the program starts the
# 64-bit bridge (the one the Windows build made, unless $TARNEL_BRIDGE names
# another), and the prefix holds the demo drivers built for 64-bit Windows.
win64=$(sed -n 's/^TARNEL_WIN64_DIR:PATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
bridge=${TARNEL_BRIDGE:-${win64:+$win64/src/tarnel-bridge.exe}}
prefix=$work/wine
# Wine makes the prefix away from the caller's screen; the session has its own.
unset DISPLAY
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
  echo "skipped $out/wine-driver-about.png: Wine is not installed" >&2
elif [ -z "$bridge" ] || [ ! -f "$bridge" ] || [ ! -d "$win64/demo/files" ]; then
  echo "skipped $out/wine-driver-about.png: no 64-bit Windows build (bridge and demo drivers; make it, or name the bridge in \$TARNEL_BRIDGE)" >&2
elif ! WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
       wineboot -i </dev/null >/dev/null 2>&1; then
  echo "skipped $out/wine-driver-about.png: Wine could not make a 64-bit prefix (is wine64 installed?)" >&2
else
  [ -z "${TARNEL_BRIDGE:-}" ] || export TARNEL_BRIDGE=$(realpath "$bridge")
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The demo machine's driver files, as 64-bit images, in the prefix's system
  # folder, and its active codecs whose files are there in its driver list.
  "$build/app/tarnelctl" init "$work/winedemo" >/dev/null
  for f in "$work/winedemo/drive_c/windows/system32/"*; do
    name=$(basename "$f")
    if [ -f "$win64/demo/files/$name" ]; then cp "$win64/demo/files/$name" "$prefix/drive_c/windows/system32/"; fi
  done
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Drivers32]'
    "$build/app/tarnelctl" --machine "$work/winedemo" --backend machine list --csv | tr -d '\r' |
      awk -F, '$1 == "active" { print $3, $4 }' | while read -r fourcc driver; do
        if [ -f "$prefix/drive_c/windows/system32/$driver" ]; then echo "\"vidc.$fourcc\"=\"$driver\""; fi
      done
    # On top, as by default: the main window leaves the top layer while the
    # driver's box is up. Tall enough to show every active codec.
    cat <<'PREFS'

[HKEY_CURRENT_USER\Software\Halvorin\Preferences]
"SizeEqually"=dword:00000000
"StayOnTop"=dword:00000001
"AutoSwap"=dword:00000001
"SavePositions"=dword:00000001
"DisableDoubleClick"=dword:00000000
"MainLeft"=dword:00000064
"MainTop"=dword:00000050
"MainHeight"=dword:00000258
"MainWidth"=dword:00000334
"ActiveCodecHeight"=dword:0000012c
"ProgramFont"="Arial"
"FontSize"=dword:0000000a
PREFS
  } > "$work/wine.reg"
  wine reg import "$(winepath -w "$work/wine.reg")" </dev/null >/dev/null 2>&1
  # The server writes the registry out as it ends: the prefix's hives, which
  # the program looks for, then hold it all.
  wineserver -k 2>/dev/null || true
  wineserver -w
  cat > "$work/wine-session.sh" <<SESSION
#!/usr/bin/env bash
openbox >/dev/null 2>&1 &
sleep 1
# wait_for NAME: until a visible window of that name is up (at most 30 s).
wait_for() {
  for i in \$(seq 60); do xdotool search --onlyvisible --name "\$1" >/dev/null 2>&1 && return 0; sleep 0.5; done
  return 1
}
TARNEL_MACHINE=$prefix "$build/app/tarnel" --backend wine & pid=\$!
status=0
if wait_for '^Tarnel - '; then
  sleep 2
  # kwd3, the fourth active codec: Ctrl+B sends its driver ICM_ABOUT, and
  # the driver shows its box, titled with its name.
  xdotool mousemove 300 300 click 1; sleep 1
  xdotool key --clearmodifiers ctrl+b
  if wait_for '^KW Delta\$'; then
    sleep 1.5
    import -window root "$work/wine-about.png"
    xdotool key Return; sleep 0.5
  else
    echo "Wine showed no about box of kwd3's driver" >&2; status=1
  fi
else
  echo "the main window did not come up on the Wine prefix" >&2; status=1
fi
kill \$pid 2>/dev/null; wait \$pid 2>/dev/null || true
wineserver -k 2>/dev/null || true
exit \$status
SESSION
  chmod +x "$work/wine-session.sh"
  xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" "$work/wine-session.sh"
  # The screen's empty black around the two windows goes.
  convert "$work/wine-about.png" -trim +repage "$out/wine-driver-about.png"
fi
echo "screenshots in $out/"
