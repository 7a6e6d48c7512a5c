#!/usr/bin/env bash
# Builds the Windows programs with Debian's MinGW-w64 into build-win32/
# (i686) and build-win64/ (x86_64): the core on the real Windows API,
# app/tarnelctl.exe, src/tarnel-bridge.exe (which the Linux program starts
# under a prefix's Wine, of the prefix's bitness) and
# tests/tarnel_conformance.exe. Installs what it needs first (Wine too, to
# run them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win32
cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win64
