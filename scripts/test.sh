#!/usr/bin/env bash
# Builds Tarnel and runs every test: the whole suite, the whole suite once
# more built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/),
# and every fuzz target for 30 seconds on its committed corpus; the Debian
# package is made, checked and started too (scripts/package-test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
bash scripts/package-test.sh build
bash scripts/sanitize-build.sh
# Leaks are reported too; any report fails its test.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"
bash scripts/fuzz.sh 30
