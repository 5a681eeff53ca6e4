#!/usr/bin/env bash
# Builds Marrowick, optimised, and starts it. Usage: scripts/run.sh [arguments for marrowick]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWICK_BENCH=OFF >/dev/null
# Only the program: the tests are the test command's to build.
cmake --build build/release --target marrowick

exec build/release/Marrowick/marrowick "$@"
