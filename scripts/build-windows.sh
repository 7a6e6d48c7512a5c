#!/usr/bin/env bash
# Builds the Windows programs into build-win32/ with Debian's MinGW-w64
# (i686, the program being 32-bit): the core on the real Windows API,
# app/tarnelctl.exe, src/tarnel-bridge.exe (which the Linux program starts
# under a prefix's Wine) and tests/tarnel_conformance.exe. Installs what it
# needs first (Wine too, to run them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win32
