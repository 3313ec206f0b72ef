#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite, then runs it once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs every libFuzzer
# target for a short fixed time (FUZZ_SECONDS each, 20 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --with-workflow --with-tests --with-fuzz
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUSTRACK_SANITIZE=ON
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
rm -rf build-fuzz/short
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" build-fuzz/short
