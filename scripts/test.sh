#!/usr/bin/env bash
# Builds everything and runs every test twice: a warnings-as-errors build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build. Between the two it builds the run
# command's optimised configuration and starts the program for a few seconds; at the end it
# starts the sanitizer build's program the same way, with leak detection on.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh --with-test-tools

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DMARROWICK_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  bash scripts/with-test-services.sh ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Build and test =="
run_suite build/ci -DCMAKE_BUILD_TYPE=Debug
echo "== Build the run command's optimised configuration, tests included, and start the program =="
cmake -S . -B build/ci-release -G Ninja -DMARROWICK_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWICK_BENCH=OFF >/dev/null
cmake --build build/ci-release -j "$jobs"
bash scripts/with-test-services.sh bash scripts/smoke-run.sh build/ci-release/Marrowick/marrowick
echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
run_suite build/ci-sanitize -DCMAKE_BUILD_TYPE=Debug -DMARROWICK_SANITIZE=ON -DMARROWICK_BENCH=OFF
echo "== Start the sanitizer build's program, with leak detection =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 bash scripts/with-test-services.sh bash scripts/smoke-run.sh build/ci-sanitize/Marrowick/marrowick
