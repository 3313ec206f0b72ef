#!/usr/bin/env bash
# A long fuzzing run of every libFuzzer target (slice decoders, command-line
# parser), two at a time by default, keeping the grown corpora and findings
# in WORK for the next run or for a look. Prints executions, coverage and
# findings per target.
# Usage: bench/fuzz_long.sh [SECONDS_PER_TARGET] [WORK]   (defaults 600 and
# /tmp/focustrack-fuzz; FUZZ_JOBS sets how many targets run at once)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
work=${2:-/tmp/focustrack-fuzz}
mkdir -p "$work"
FUZZ_JOBS=${FUZZ_JOBS:-2} exec bash scripts/fuzz.sh "$seconds" "$work"
