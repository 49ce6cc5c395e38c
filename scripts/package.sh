#!/usr/bin/env bash
# Builds the project and makes the zip a host developer unpacks (build/kiv-<version>-win64.zip).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
cd build
cpack -G ZIP
