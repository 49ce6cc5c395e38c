#!/usr/bin/env bash
# Builds the project and runs every test under Wine (in the build tree's own prefix),
# then every fuzz target of the text parsers for a few seconds each. The layout of
# the sources is checked first, so a change that breaks it fails before the build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-format.sh
cmake --preset mingw
cmake --build --preset mingw -j "$(nproc)"
ctest --preset mingw
bash scripts/fuzz.sh 7
