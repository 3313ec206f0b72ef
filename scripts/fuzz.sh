#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (in ./build-fuzz) and
# runs each for SECONDS, starting from the seed corpora in tests/fuzz/corpus;
# new inputs go to WORK/<target>/corpus, findings to WORK/<target>/ as
# crash-*, leak-*, oom-* or timeout-* (an input that runs longer than 10 s).
# Prints executions, coverage and findings per target and fails when a
# finding fails again when its input is run on its own.
# Usage: scripts/fuzz.sh SECONDS [WORK]   (FUZZ_JOBS=N runs N targets at once)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [WORK]}
work=${2:-$(mktemp -d)}
jobs=${FUZZ_JOBS:-1}
targets=(fuzz_slice_tiff fuzz_slice_png fuzz_slice_bmp fuzz_slice_jpeg fuzz_command_line)
corpus_of() { case $1 in fuzz_slice_*) echo "${1#fuzz_slice_}" ;; *) echo "${1#fuzz_}" ;; esac; }

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DFOCUSTRACK_FUZZ=ON -DFOCUSTRACK_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

run_target() {
  local target=$1 dir="$work/$1"
  mkdir -p "$dir/corpus"
  # Leaks are looked for at the end of every input; the limits keep one bad
  # input from taking the machine.
  "build-fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/" "$dir/corpus" "tests/fuzz/corpus/$(corpus_of "$target")" >"$dir/log.txt" 2>&1 || true
}

running=0
for target in "${targets[@]}"; do
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait

found=0
printf '%-20s %12s %6s %6s %7s %8s %9s\n' target executions exec/s cov ft corpus findings
for target in "${targets[@]}"; do
  dir="$work/$target"
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.txt" | tail -1)
  last=$(grep -E '^#[0-9]+' "$dir/log.txt" | tail -1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  rate=$(sed -nE 's/.* exec\/s: ([0-9]+).*/\1/p' <<<"$last")
  findings=$(find "$dir" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'oom-*' -o -name 'timeout-*' \) | wc -l)
  corpus=$(find "$dir/corpus" -type f | wc -l)
  printf '%-20s %12s %6s %6s %7s %8s %9s\n' "$target" "${executions:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "$findings"
  if [ -z "$executions" ]; then
    found=1
    echo "  no statistics: see $dir/log.txt" >&2
  fi
  if [ "$findings" -gt 0 ]; then
    echo "  see $dir/log.txt" >&2
    # The report itself, so that a run on a machine that is gone afterwards
    # still says what was found and with which input.
    grep -m1 -A40 -E '^==[0-9]+==|^ALARM|^ERROR: libFuzzer|out-of-memory|^SUMMARY' "$dir/log.txt" | sed 's/^/  | /' >&2 || true
    # The targets are single-threaded and deterministic: an input that fails
    # again on its own is a fault. One that runs cleanly when run again met a
    # passing condition of the machine (a stall past the time limit): it is
    # shown, not counted.
    for finding in "$dir"/crash-* "$dir"/leak-* "$dir"/oom-* "$dir"/timeout-*; do
      if [ ! -f "$finding" ]; then continue; fi
      echo "  $(basename "$finding"): $(od -An -tx1 -v "$finding" | tr -d ' \n' | head -c 2000)" >&2
      if "build-fuzz/$target" -timeout=10 -rss_limit_mb=2048 "$finding" >"$dir/again-$(basename "$finding").txt" 2>&1; then
        echo "  $(basename "$finding") ran cleanly when run again; not counted" >&2
      else
        found=1
        echo "  $(basename "$finding") fails again: see $dir/again-$(basename "$finding").txt" >&2
      fi
    done
  fi
done
exit "$found"
