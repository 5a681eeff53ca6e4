#!/usr/bin/env bash
# Builds Marrowick and starts it. Usage: scripts/run.sh [arguments for marrowick]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWICK_BENCH=OFF >/dev/null
cmake --build build/release

if [[ -x build/release/Marrowick/marrowick ]]; then
  exec build/release/Marrowick/marrowick "$@"
fi
echo "The library is built (build/release/MarrowickKit); the application itself is not part of this build yet."
