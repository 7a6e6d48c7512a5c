#!/usr/bin/env bash
# Builds Tarnel and runs every test: the whole suite, the whole suite once
# more built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/),
# and every fuzz target for 30 seconds on its committed corpus; the Debian
# package is made, checked and started too (scripts/package-test.sh).
# Tests the runner skipped are named again at the end, each with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The scripts below would run the set-up again.
export TARNEL_SETUP_DONE=1
skips=$(mktemp)
ctest_out=$(mktemp)
trap 'rm -f "$skips" "$ctest_out"' EXIT

# ctest in DIR with the arguments given; every test it skipped is noted
# with the last line it printed, which says why.
run_ctest() {
  local dir=$1 status=0 name
  shift
  ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" "$@" 2>&1 | tee "$ctest_out" || status=$?
  for name in $(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Skipped)$/\1/p' "$ctest_out"); do
    reason=$(awk -v t="$name" '
      /^[0-9]+\/[0-9]+ Test: / { mine = ($3 == t); out = 0; next }
      mine && /^Output:$/ { getline; out = 1; next }
      mine && /^<end of output>$/ { mine = 0; next }
      mine && out && NF { last = $0 }
      END { print last }' "$dir/Testing/Temporary/LastTest.log")
    echo "skipped in $dir: $name: ${reason:-(it printed no reason)}" >>"$skips"
  done
  return $status
}

bash scripts/build.sh
run_ctest build
bash scripts/package-test.sh build
bash scripts/sanitize-build.sh
# Leaks are reported too; any report fails its test.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan
bash scripts/fuzz.sh 30

if [ -s "$skips" ]; then
  echo
  echo "Skipped tests:"
  sed 's/^/  /' "$skips"
  # The one condition the suite skips for, said once more on its own.
  if grep -q "32-bit Wine (wine32:i386) is not installed" "$skips"; then
    echo "32-bit Wine (wine32:i386) is not installed"
  fi
fi
