#!/usr/bin/env bash
# Builds the text parsers natively with libFuzzer and the address and undefined-
# behaviour sanitizers, then runs every fuzz target in turn, one process at a time.
#   bash scripts/fuzz.sh             10 minutes per target
#   bash scripts/fuzz.sh 3600        an hour per target
#   bash scripts/fuzz.sh 8 xml md5   8 seconds each for the named targets
# A crash, leak, sanitizer report, timeout or broken check stops the run with a
# failure; the input that caused it is written to build-fuzz/findings/. New inputs
# the fuzzer finds go to build-fuzz/corpus/ (copy the useful ones into fuzz/corpus/).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(xml whitelist commandline pattern md5 format regpath pathtext versionres)

cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j 2 >/dev/null

mkdir -p build-fuzz/findings
total=0
for t in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$t"
  log="build-fuzz/$t.log"
  # The first corpus folder takes new inputs; the seeds in the repository stay as they are.
  if ! "build-fuzz/${t}_fuzz" "build-fuzz/corpus/$t" "fuzz/corpus/$t" -max_total_time="$seconds" \
      -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$t-" >"$log" 2>&1; then
    echo "fuzz $t: FINDING (see $log and build-fuzz/findings/)" >&2
    tail -40 "$log" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  total=$((total + ${runs:-0}))
  echo "fuzz $t: ${runs:-0} executions in ${seconds} s, no finding"
done
echo "fuzz: $total executions in all"
