#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then runs each for SECONDS
# (default 60) on its committed seed corpus (fuzz/corpus/<target>). New
# inputs go to a scratch folder; a finding stops the run with its input in
# build-fuzz/findings/.  Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/setup.sh
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$san -fsanitize=fuzzer-no-link" -DCMAKE_EXE_LINKER_FLAGS="$san" \
  -DTARNEL_BUILD_GUI=OFF -DTARNEL_BUILD_TESTS=OFF -DTARNEL_BUILD_BENCH=OFF -DTARNEL_BUILD_FUZZ=ON >/dev/null
targets=(HiveFuzz CodecInfoFuzz StoreRoutinesFuzz ProfileFuzz VersionFuzz CodecManagerFuzz)
cmake --build build-fuzz --target "${targets[@]}"
mkdir -p build-fuzz/findings
status=0
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  cp -r fuzz/corpus/"$t"/. "$scratch"/ 2>/dev/null || true
  echo "== $t ($seconds s)"
  if ! ASAN_OPTIONS=detect_leaks=0 ./build-fuzz/fuzz/"$t" -max_total_time="$seconds" -max_len=65536 \
      -artifact_prefix=build-fuzz/findings/"$t"- -print_final_stats=1 "$scratch" 2>build-fuzz/"$t".log; then
    echo "!! $t found a fault: see build-fuzz/$t.log and build-fuzz/findings/"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build-fuzz/"$t".log || true
  rm -rf "$scratch"
done
exit $status
