#!/usr/bin/env bash
# Builds the project and runs every test under Wine (in the build tree's own prefix),
# then every fuzz target of the text parsers for a few seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
(cd build && ctest --output-on-failure)
bash scripts/fuzz.sh 7
