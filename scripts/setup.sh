#!/usr/bin/env bash
# Installs what building and testing Tarnel needs, from Debian's packages only:
# the Linux build, the Windows builds (MinGW-w64 for i686 and x86_64,
# GoogleTest's sources) and Wine that runs the Windows programs (64-bit, and
# 32-bit from the i386 architecture); clang-14 with its runtimes
# (libclang-rt-14-dev) builds the sanitized tests and the fuzz targets.
#
# A package index that cannot be fetched (a mirror in the middle of a sync)
# is named in one line and left out; every package that can be installed is
# installed, and one that cannot is named with apt's reason. Only an
# essential package, without which Tarnel cannot be built or its tests
# cannot pass, ends the set-up with an error. apt retries each download
# itself; the set-up does not wait for a mirror.
#
# TARNEL_SETUP_DONE=1: a caller ran the set-up already (scripts/test.sh),
# so the scripts it runs do not ask apt again.
# TARNEL_SETUP_TOOLS (tests only): a folder whose apt-get, dpkg-query and
# dpkg stand in for the system's, run without sudo.
set -uo pipefail
[ "${TARNEL_SETUP_DONE:-}" = 1 ] && exit 0
if [ -n "${TARNEL_SETUP_TOOLS:-}" ]; then
  PATH=$TARNEL_SETUP_TOOLS:$PATH
  SUDO=
elif [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
# apt's messages are read below.
export LC_ALL=C DEBIAN_FRONTEND=noninteractive

essential=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  gcc-mingw-w64-i686 g++-mingw-w64-i686 binutils-mingw-w64-i686
  gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  qt6-base-dev libgl-dev libglx-dev libopengl-dev libjpeg62-turbo-dev libxcb1-dev fonts-dejavu-core
  clang-14 libclang-rt-14-dev
  dpkg-dev file desktop-file-utils appstream man-db xvfb xauth xdotool
  wine wine64
)
# Without these the tests that need them are skipped, saying why, or a
# later step does without.
optional=(
  wine32:i386   # 32-bit Wine: the 32-bit Windows programs under Wine
  llvm-14       # the symbolizer: readable sanitizer reports
  openbox       # a window manager for the window placement tests
  imagemagick   # screenshots (scripts/screenshots.sh)
  nsis          # the Windows installer
  ansible-core  # the fleet test of the Ansible collection
)

say() { echo "setup: $*"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing_of() {
  local p
  for p; do installed "$p" || echo "$p"; done
}
is_essential() {
  local p
  for p in "${essential[@]}"; do [ "$p" = "$1" ] && return 0; done
  return 1
}
# apt's reason, from its output: the unmet dependencies and its errors.
reason_of() {
  awk '/^The following packages have unmet dependencies:/ { keep = 1; next }
       /^[EW]: / { print; keep = 0; next }
       keep && NF { print }' "$1" |
    awk -v max=40 'NR <= max { print "    " $0 } END { if (NR > max) print "    (" NR - max " more lines)" }'
}

# Wine's 32-bit side comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386 || say "cannot add the i386 architecture: 32-bit Wine will be missing"
fi

mapfile -t missing < <(missing_of "${essential[@]}" "${optional[@]}")
((${#missing[@]})) || exit 0
say "installing: ${missing[*]}"

# One line per index apt could not fetch; it goes on with the others (and
# with the index it had before, if any).
$SUDO apt-get update >"$work/update" 2>&1
update_status=$?
failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1\t\2/p' "$work/update" | awk '!seen[$1]++')
if [ -n "$failed" ]; then
  while IFS=$'\t' read -r url why; do
    say "package index not fetched, going on without it: $url (${why% \[IP:*})"
  done <<<"$failed"
elif [ "$update_status" -ne 0 ]; then
  say "apt-get update failed, going on with the package lists there are:"
  grep '^[EW]: ' "$work/update" | sed 's/^/    /'
fi

# apt installs all or nothing: the packages it cannot install are found one
# by one (a simulation, which changes nothing) and named with its reason.
declare -A refused=()
installable=()
if apt-get install -s -y --no-install-recommends "${missing[@]}" >"$work/sim" 2>&1; then
  installable=("${missing[@]}")
else
  for p in "${missing[@]}"; do
    if apt-get install -s -y --no-install-recommends "$p" >"$work/sim" 2>&1; then
      installable+=("$p")
    else
      refused[$p]=1
      say "cannot install $p; apt says:"
      reason_of "$work/sim"
    fi
  done
fi
if ((${#installable[@]})); then
  if ! $SUDO apt-get install -y --no-install-recommends "${installable[@]}" 2>&1 | tee "$work/install"; then
    # Together they failed: each one alone, so that one cannot hold back the rest.
    for p in "${installable[@]}"; do
      $SUDO apt-get install -y --no-install-recommends "$p" >"$work/install" 2>&1 && continue
      refused[$p]=1
      say "cannot install $p; apt says:"
      reason_of "$work/install"
    done
  fi
fi

status=0
mapfile -t still < <(missing_of "${missing[@]}")
for p in "${still[@]}"; do
  [ -n "${refused[$p]:-}" ] || say "$p is still not installed"
  if is_essential "$p"; then
    say "$p is essential: Tarnel cannot be built or tested without it"
    status=1
  elif [ "$p" = wine32:i386 ]; then
    say "32-bit Wine (wine32:i386) is not installed: the tests that need it are skipped"
  else
    say "$p is not installed; the set-up goes on without it"
  fi
done
exit $status
