#!/usr/bin/env bash
# Measures a collection against native md5sum on a synthetic machine in a Wine
# prefix of its own, and prints a results table. Asserts nothing about time.
# Usage: bash bench/run.sh [BUILD_DIR]   (default: build; the programs are built first)
# Environment: KIVBENCH_RUNS (default 3) measured runs per figure, each figure the median.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$src/build}" 2>/dev/null && pwd || echo "${1:-$src/build}")"
runs="${KIVBENCH_RUNS:-3}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target kivbench >/dev/null

bench="$build/bench"
export WINEPREFIX="$bench/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH='C:\kivbench\pathdir'
unset DISPLAY
wine=/usr/lib/wine/wine64
drive="$WINEPREFIX/drive_c"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
fi
# One server for the whole run, kept away from this script's pipes.
/usr/lib/wine/wineserver -p 60 </dev/null >/dev/null 2>&1 || true
cleanup() {
  rm -rf "$drive/kivbench" "$drive/Program Files (x86)/KivBench" "$bench/hubcore.log"
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# The catalogue of the benchmark's own: the current user's run key, and a key
# below HKLM\SOFTWARE that is also read in the 32-bit view.
cat > "$bench/kivdata.dat" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<kivdata>
  <cat>
    <name>Bench</name>
    <icon>0</icon>
    <locs>
      <loc><htype>0</htype><ltype>0</ltype><path>HKCU\Software\KivBench\Run</path></loc>
      <loc><htype>0</htype><ltype>0</ltype><path>HKLM\SOFTWARE\KivBench\Run</path></loc>
    </locs>
  </cat>
</kivdata>
XML
cp "$src/data/kivwl.dat" "$bench/kivwl.dat"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
seconds_of() { awk '{ for (i = 1; i < NF; ++i) if ($i == "seconds") print $(i + 1) }'; }
# Wall-clock seconds of a command.
timed() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
# Output goes through a file: Wine's helper processes outlive a program and would hold a pipe.
kivbench() {
  local out; out=$(mktemp)
  (cd "$bench" && "$wine" kivbench.exe "$@" >"$out" 2>/dev/null </dev/null) || true
  tr -d '\r' <"$out"; rm -f "$out"
}
machine() {
  python3 "$src/bench/machine.py" "$drive" "$1" "$2" "$bench/kivbench_versioned.exe" "$bench/kivbench_plain.exe"
  "$wine" regedit /S 'C:\kivbench\machine.reg' </dev/null >/dev/null 2>&1
}
# Medians of $runs Collect runs in one process, after one run that warms the caches.
collect_median() { kivbench collect $((runs + 1)) | tail -n "$runs" | seconds_of | median; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }

echo "# kivbench $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $($wine --version)"

# 1. Own MD5 against md5sum on one 512 MiB file (both from the page cache).
mkdir -p "$drive/kivbench"
big="$drive/kivbench/big.bin"
head -c $((512 << 20)) /dev/urandom > "$big"
md5sum "$big" >/dev/null
own_digest=$(kivbench md5 'C:\kivbench\big.bin' | awk '{ print $2 }')
[ "$own_digest" = "$(md5sum "$big" | cut -d' ' -f1)" ] || { echo "digest differs from md5sum" >&2; exit 1; }
native=$(for _ in $(seq "$runs"); do timed md5sum "$big"; done | median)
own=$(for _ in $(seq "$runs"); do kivbench md5 'C:\kivbench\big.bin' | seconds_of; done | median)
rm -f "$big"
echo "| own MD5, 512 MiB | ${own} s | md5sum ${native} s | throughput $(ratio "$native" "$own")x md5sum |"

# 2. Collect of 2,000 entries over 1 GiB against md5sum of the same files.
machine 2000 $((512 << 10))
md5sum_machine() {
  find "$drive/kivbench/files" "$drive/kivbench/pathdir" "$drive/Program Files (x86)/KivBench" -type f -print0 |
    xargs -0 md5sum
}
md5sum_machine >/dev/null
native=$(for _ in $(seq "$runs"); do timed md5sum_machine; done | median)
own=$(collect_median)
echo "| Collect, 2,000 entries / 1 GiB | ${own} s | md5sum ${native} s | $(ratio "$own" "$native")x md5sum time |"

# 3. Per-entry cost with 10-byte files, from 500 to 8,000 entries.
for n in 500 1000 2000 4000 8000; do
  machine "$n" 10
  own=$(collect_median)
  echo "| Collect, $n entries of 10 bytes | ${own} s | $(echo "scale=3; 1000 * $own / $n" | bc -l) ms/entry | |"
done

# 4. Each file fact on its own, per entry, over 1,000 files of the mix at their own size.
machine 1000 natural
kivbench facts 'C:\kivbench\files' 1000 | awk '/^fact/ { printf "| fact %s | %s ms/entry | | |\n", $2, $4 }'
