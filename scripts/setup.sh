#!/usr/bin/env bash
# Installs what building and testing Tarnel needs, from Debian's packages only:
# the Linux build, the Windows build (MinGW-w64, GoogleTest's sources) and
# Wine (32-bit, from the i386 architecture) that runs the Windows programs;
# clang-14 with its runtimes (libclang-rt-14-dev) builds the sanitized tests
# and the fuzz targets; llvm-14 brings the symbolizer for readable reports.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
# Wine's 32-bit side comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  gcc-mingw-w64-i686 gcc-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  qt6-base-dev libgl-dev libglx-dev libopengl-dev libjpeg62-turbo-dev fonts-dejavu-core
  dpkg-dev file desktop-file-utils appstream man-db xvfb xauth xdotool
  clang-14 libclang-rt-14-dev llvm-14
  googletest wine wine32:i386
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
