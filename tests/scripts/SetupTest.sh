#!/usr/bin/env bash
# scripts/setup.sh on canned apt answers: apt-get, dpkg-query and dpkg are
# stand-ins (TARNEL_SETUP_TOOLS) that answer as Debian's did on a day when
# the security suite's i386 index was in the middle of a mirror sync and
# wine32:i386 could not be installed without it.
# Usage: SetupTest.sh SOURCE_DIR
set -uo pipefail
# The test command runs this with the set-up marked as done.
unset TARNEL_SETUP_DONE
setup=$1/scripts/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

tools=$work/tools
mkdir -p "$tools"
# The machine's packages: installed unless listed in $FAKE/absent.
cat >"$tools/dpkg-query" <<'EOF'
#!/bin/sh
for p; do :; done
if grep -qxF "$p" "$FAKE/absent"; then
  echo "dpkg-query: no packages found matching $p" >&2
  exit 1
fi
printf 'install ok installed'
EOF
cat >"$tools/dpkg" <<'EOF'
#!/bin/sh
echo "dpkg $*" >>"$FAKE/calls"
[ "$1" = --print-foreign-architectures ] && echo i386
exit 0
EOF
# update: fails for one index when $FAKE/broken-index exists. install: a
# package in $FAKE/refused cannot be installed (wine32:i386 for want of that
# index, others unknown); the rest are installed unless -s simulates.
cat >"$tools/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE/calls"
if [ "$1" = update ]; then
  echo "Hit:1 http://deb.debian.org/debian bookworm InRelease"
  [ -e "$FAKE/broken-index" ] || exit 0
  cat <<'OUT'
Err:4 http://deb.debian.org/debian-security bookworm-security/main i386 Packages
  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
Reading package lists...
E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]
   Hashes of expected file:
    - Filesize:376004 [weak]
E: Some index files failed to download. They have been ignored, or old ones used instead.
OUT
  exit 100
fi
shift
simulate=0
pkgs=()
for a; do
  case $a in
    -s) simulate=1 ;;
    -*) ;;
    *) pkgs+=("$a") ;;
  esac
done
echo "Reading package lists..."
for p in "${pkgs[@]}"; do
  grep -qxF "$p" "$FAKE/refused" || continue
  if [ "$p" = wine32:i386 ]; then
    cat <<'OUT'
Some packages could not be installed. This may mean that you have
requested an impossible situation.
The following packages have unmet dependencies:
 libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0) but it is not going to be installed
E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages.
OUT
  else
    echo "E: Unable to locate package $p"
  fi
  exit 100
done
if [ "$simulate" = 0 ]; then
  for p in "${pkgs[@]}"; do
    grep -vxF "$p" "$FAKE/absent" >"$FAKE/absent.new"
    mv "$FAKE/absent.new" "$FAKE/absent"
  done
fi
exit 0
EOF
chmod +x "$tools"/*

# run NAME: setup.sh on the canned machine in $work/NAME; its output in
# $out, its exit status in $status.
run() {
  export FAKE=$work/$1
  : >"$FAKE/calls"
  out=$(TARNEL_SETUP_TOOLS=$tools bash "$setup" 2>&1)
  status=$?
  printf '%s\n' "$out" | sed "s/^/  [$1] /"
}
expect_out() { grep -qF -- "$2" <<<"$out" || fail "$1: the output lacks '$2'"; }
machine() {
  mkdir -p "$work/$1"
  printf '%s\n' "${@:2}" >"$work/$1/absent"
  : >"$work/$1/refused"
}

# A broken index and a 32-bit Wine that cannot be installed: the set-up
# names both, installs the rest and succeeds.
machine broken wine32:i386 nsis imagemagick
printf '%s\n' wine32:i386 >"$work/broken/refused"
touch "$work/broken/broken-index"
run broken
[ "$status" -eq 0 ] || fail "broken: exit status $status, not 0"
expect_out broken "package index not fetched, going on without it: http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz (File has unexpected size (374820 != 376004). Mirror sync in progress?)"
[ "$(grep -c 'package index not fetched' <<<"$out")" -eq 1 ] || fail "broken: the failed index is not named in exactly one line"
expect_out broken "cannot install wine32:i386; apt says:"
expect_out broken "libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0) but it is not going to be installed"
expect_out broken "32-bit Wine (wine32:i386) is not installed"
grep -qxF nsis "$FAKE/absent" && fail "broken: nsis was not installed"
grep -qxF imagemagick "$FAKE/absent" && fail "broken: imagemagick was not installed"
grep -q '^apt-get install -y .*nsis' "$FAKE/calls" || fail "broken: no real install of the rest"
grep '^apt-get install -y' "$FAKE/calls" | grep -q wine32 && fail "broken: wine32:i386 was installed for real though it cannot be"

# An essential package that cannot be installed ends the set-up with an
# error naming it; what can be installed still is.
machine essential cmake nsis
printf '%s\n' cmake >"$work/essential/refused"
touch "$work/essential/broken-index"
run essential
[ "$status" -ne 0 ] || fail "essential: exit status 0 without cmake"
expect_out essential "cannot install cmake; apt says:"
expect_out essential "E: Unable to locate package cmake"
expect_out essential "cmake is essential"
grep -qxF nsis "$FAKE/absent" && fail "essential: nsis was not installed"

# Nothing missing: apt is not asked at all.
machine complete
run complete
[ "$status" -eq 0 ] || fail "complete: exit status $status"
grep -q '^apt-get' "$FAKE/calls" && fail "complete: apt-get was run: $(cat "$FAKE/calls")"

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "setup.sh: every check passed"
