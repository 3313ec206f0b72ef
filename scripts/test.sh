#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite, then runs it once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, and every libFuzzer target for a short fixed time
# (FUZZ_SECONDS each, 20 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --with-workflow --with-tests --with-fuzz
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")
bash scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUSTRACK_SANITIZE=ON
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
unset ASAN_OPTIONS UBSAN_OPTIONS

# ThreadSanitizer, for the tests of the threaded paths only. Built with clang:
# its OpenMP runtime, with the tool library loaded, tells the sanitizer about
# barriers and tasks, which the sanitizer cannot see in GCC's runtime.
CC=clang CXX=clang++ bash scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOCUSTRACK_TSAN=ON
archer=$(find /usr/lib/llvm-*/lib -name libarcher.so 2>/dev/null | sort | tail -n 1)
if [ -z "$archer" ]; then
  echo "test.sh: no libarcher.so (package libomp-dev); cannot run the ThreadSanitizer tests" >&2
  exit 1
fi
export OMP_TOOL_LIBRARIES=$archer
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1 second_deadlock_stack=1"
(cd build-tsan && ctest --output-on-failure -j"$(nproc)" -R '^Threads')

rm -rf build-fuzz/short
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" build-fuzz/short
