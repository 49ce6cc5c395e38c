#!/usr/bin/env bash
# The long form of the leak checks: 1,000 whole cycles (Init, Collect over every kind
# of location, queries, Dispose) and 1,000 disable/enable round trips of one item of
# each kind, under Wine (ctest runs a few dozen). Takes an hour or more.
#   bash scripts/longrun.sh [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j 2 --target longrun_test >/dev/null
KIVTEST_CYCLES="${1:-1000}" ctest --preset mingw --timeout 36000 -R 'wine_setup|wine_cleanup|longrun_test'
