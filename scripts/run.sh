#!/usr/bin/env bash
# Builds Marrowick and starts it. Usage: scripts/run.sh [arguments for marrowick]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWICK_BENCH=OFF >/dev/null
cmake --build build/release

exec build/release/Marrowick/marrowick "$@"
