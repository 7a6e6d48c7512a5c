#!/usr/bin/env bash
# Builds Tarnel and starts it on the default machine (made on first use).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec ./build/app/tarnel "$@"
