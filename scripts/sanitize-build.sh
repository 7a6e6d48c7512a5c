#!/usr/bin/env bash
# Configures build-asan/: clang, AddressSanitizer and UndefinedBehaviorSanitizer
# for everything, with the libFuzzer targets. The sanitized test run and the
# fuzzers share it, so the code is compiled once for both. Builds the targets
# named, or everything. Usage: scripts/sanitize-build.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Little optimisation and line tables only: quick to build, readable reports.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  -DTARNEL_SANITIZE=ON -DTARNEL_BUILD_FUZZ=ON -DTARNEL_BUILD_BENCH=OFF >/dev/null
if (($#)); then
  cmake --build build-asan --target "$@"
else
  cmake --build build-asan
fi
