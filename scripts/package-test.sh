#!/usr/bin/env bash
# Makes the Debian package from a build, checks what the desktop reads of it
# (desktop entry, AppStream metainfo, man page), unpacks it into a throwaway
# root and starts the program from there under Xvfb on a fresh default
# machine. With TARNEL_PACKAGE_INSTALL=1, as root (CI's fresh machine), it
# also installs the package for real, starts the installed program and
# removes the package again.
# Usage: scripts/package-test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package-test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls -t "$build"/tarnel_*.deb | head -n1)
echo "package-test: $(basename "$deb")"

dpkg-deb -I "$deb" >/dev/null
id=example.halvorin.Tarnel
desktop-file-validate "dist/linux/$id.desktop"
appstreamcli validate --no-net "dist/linux/$id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "the metainfo does not validate"; }
man_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l dist/linux/tarnelctl.1 2>&1 >/dev/null || true)
[ -z "$man_warnings" ] || fail "the man page has faults: $man_warnings"

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/tarnel usr/bin/tarnelctl usr/share/tarnel/Tarnel.hlp usr/share/tarnel/art/splash.jpg \
         "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml" \
         "usr/share/icons/hicolor/scalable/apps/$id.svg" usr/share/man/man1/tarnelctl.1; do
  [ -e "$root/$f" ] || fail "the package lacks /$f"
done
# The wine backend's bridges, when the build made the Windows programs: each
# of the bitness its name says.
if grep -q '^TARNEL_BUILD_WIN32:BOOL=ON' "$build/CMakeCache.txt"; then
  for b in tarnel-bridge.exe:80386 tarnel-bridge64.exe:x86-64; do
    f=$root/usr/libexec/tarnel/${b%%:*}
    [ -x "$f" ] || fail "the package lacks /usr/libexec/tarnel/${b%%:*}"
    file -b "$f" | grep -q "${b##*:}" || fail "/usr/libexec/tarnel/${b%%:*} is not a ${b##*:} program: $(file -b "$f")"
  done
fi
# Every library the programs need is named by the package's dependencies
# and present on this machine.
deps=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libjpeg62-turbo libstdc++6; do
  grep -q "$lib" <<<"$deps" || fail "Depends lacks $lib: $deps"
done
! ldd "$root/usr/bin/tarnel" | grep -q "not found" || fail "tarnel needs libraries that are not installed"

# Starts PROGRAM under Xvfb with a home of its own and waits for its main
# window; the first start makes the demo machine.
start_under_xvfb() {
  local program=$1 home=$work/home-$2
  mkdir -p "$home"
  HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config TARNEL_MACHINE= WINEPREFIX= \
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      "$0" >"$1/out.log" 2>&1 & pid=$!
      for i in $(seq 1 50); do
        if xdotool search --name "^Tarnel" >/dev/null 2>&1; then kill $pid; wait $pid 2>/dev/null; exit 0; fi
        kill -0 $pid 2>/dev/null || { echo "the program ended"; exit 1; }
        sleep 0.2
      done
      echo "no window within 10 seconds"; kill $pid; exit 1' "$program" "$home" ||
    { cat "$home/out.log" >&2; fail "$program did not show its window"; }
  [ -f "$home/data/tarnel/machine/system.reg" ] || fail "$program made no default machine"
  "${program%/tarnel}/tarnelctl" --machine "$home/data/tarnel/machine" check >/dev/null && rc=0 || rc=$?
  [ "$rc" -eq 1 ] || fail "the demo machine's missing driver was not reported (exit $rc)"
  echo "package-test: $program started and showed its window"
}
"$root/usr/bin/tarnelctl" --version | grep -q "^tarnelctl " || fail "tarnelctl --version"
start_under_xvfb "$root/usr/bin/tarnel" unpacked

if [ "${TARNEL_PACKAGE_INSTALL:-0}" = 1 ] && [ "$(id -u)" -eq 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "the package does not install"; }
  start_under_xvfb /usr/bin/tarnel installed
  # Minimal Debian images exclude manual pages from every package.
  if [ -e /usr/share/man/man1/tarnelctl.1 ]; then
    man -w tarnelctl >/dev/null || fail "the man page is not found after installing"
  fi
  DEBIAN_FRONTEND=noninteractive apt-get remove -y tarnel >/dev/null 2>&1
  echo "package-test: installed, started and removed"
fi
