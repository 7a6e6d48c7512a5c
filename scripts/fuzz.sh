#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build-asan/), then runs each for SECONDS
# (default 60) on its committed seed corpus (fuzz/corpus/<target>). New
# inputs go to a scratch folder; a finding stops that target with its input
# in build-asan/findings/ and makes the script fail.
# Usage: scripts/fuzz.sh [SECONDS [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
# The largest input each target is given: enough for what it parses (a
# registry file with deep keys, a driver image with its resources), small
# enough to keep each run quick.
declare -A max_len=([HiveFuzz]=4096 [CodecInfoFuzz]=2048 [StoreRoutinesFuzz]=2048
                    [ProfileFuzz]=2048 [VersionFuzz]=8192 [CodecManagerFuzz]=8192)
targets=("$@")
((${#targets[@]})) || targets=(HiveFuzz CodecInfoFuzz StoreRoutinesFuzz ProfileFuzz VersionFuzz CodecManagerFuzz)
bash scripts/sanitize-build.sh "${targets[@]}" >/dev/null
mkdir -p build-asan/findings
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
status=0
for t in "${targets[@]}"; do
  scratch=$(mktemp -d)
  cp -r fuzz/corpus/"$t"/. "$scratch"/ 2>/dev/null || true
  echo "== $t ($seconds s)"
  if ! ./build-asan/fuzz/"$t" -max_total_time="$seconds" -max_len="${max_len[$t]}" \
      -artifact_prefix=build-asan/findings/"$t"- -print_final_stats=1 "$scratch" 2>build-asan/"$t".log; then
    echo "!! $t found a fault: see build-asan/$t.log and build-asan/findings/"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb" build-asan/"$t".log || true
  rm -rf "$scratch"
done
exit $status
