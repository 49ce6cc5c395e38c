#!/usr/bin/env bash
# The long form of the leak checks: 1,000 whole cycles (Init, Collect over every kind
# of location, queries, Dispose) and 1,000 disable/enable round trips of one item of
# each kind, under Wine (ctest runs a few dozen). Takes ten minutes or more on an
# idle machine, so the program runs outside ctest and its per-test time limit.
#   bash scripts/longrun.sh [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j 2 --target longrun_test >/dev/null
ctest --preset mingw -R '^wine_setup$' >/dev/null
rc=0
root="$PWD"
(cd build/tests/longrun_test &&
  KIVTEST_CYCLES="${1:-1000}" "$root/tests/wine/wine-run.sh" "$root/build" ./longrun_test.exe) || rc=$?
ctest --preset mingw -R '^wine_cleanup$' >/dev/null
exit $rc
