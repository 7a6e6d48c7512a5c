#!/usr/bin/env bash
# Starts Tarnel on a fresh demo machine under Xvfb with an accessibility bus
# and reads its tree over AT-SPI as a screen reader would (scripts/a11y-tree.py),
# printing the tree and the checks. Exit status 1 when a check fails.
# Needs: xvfb, dbus, at-spi2-core, python3-pyatspi (Debian packages).
# Usage: scripts/a11y-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
for p in xvfb dbus at-spi2-core python3-pyatspi; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || {
    echo "missing Debian package $p: apt-get install xvfb dbus at-spi2-core python3-pyatspi" >&2
    exit 2
  }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/app/tarnelctl" init "$work/machine" >/dev/null
cat > "$work/session.sh" <<SESSION
#!/usr/bin/env bash
/usr/libexec/at-spi-bus-launcher --launch-immediately & bus=\$!
sleep 1
# Qt's bridge to the accessibility bus, on without a screen reader running.
TARNEL_MACHINE=$work/machine QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$build/app/tarnel" & pid=\$!
sleep 3
status=0
/usr/bin/python3 "$PWD/scripts/a11y-tree.py" tarnel || status=\$?
kill \$pid \$bus 2>/dev/null
wait \$pid 2>/dev/null
exit \$status
SESSION
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 1400x1000x24 -dpi 96" dbus-run-session -- "$work/session.sh" 2> "$work/stderr" || {
  status=$?
  cat "$work/stderr" >&2
  exit $status
}
