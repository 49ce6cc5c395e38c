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
cmake --build "$build" -j2 --target kivbench kivctl >/dev/null
bin="$(dirname "$(find "$build" -name kivctl.exe -path '*bin*' | head -n 1)")"

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
  rm -rf "$drive/kivbench" "$drive/Program Files (x86)/KivBench" "$bench/hubcore.log" "$drive/kivreal"
  rm -f "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp/"kivreal*
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

# 5. A machine of a real one's shape, read through the default catalogue: about
# 1,000 entries, 400 drivers and 300 services, codecs, class hooks, 50 scheduled
# tasks, run values and startup files, files of real sizes shared by many entries.
written=$(python3 "$src/bench/realmachine.py" "$drive" "$bench/kivbench_versioned.exe" "$bench/kivbench_plain.exe")
"$wine" regedit /S 'C:\kivreal\machine.reg' </dev/null >/dev/null 2>&1
# The service manager reads its services when it starts: a fresh server starts it again.
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -w 2>/dev/null || true
/usr/lib/wine/wineserver -p 60 </dev/null >/dev/null 2>&1 || true
kivbench tasks 50 'C:\kivreal\programs\app150.exe' | grep -q '^tasks 50' || echo "# not every scheduled task was made" >&2
cp "$src/data/kivdata.dat" "$bench/kivdata.dat"
listing="$bench/real.json"
kivctl_json() { (cd "$bin" && "$wine" kivctl.exe list --format json >"$listing" 2>/dev/null </dev/null) || true; }
kivctl_json
# The distinct files the listing names, as Unix paths (the listing may write a
# path in another case than the disk does).
python3 - "$listing" "$drive" >"$bench/real.files" <<'PY'
import json, os, sys
listing, drive = sys.argv[1], sys.argv[2]
text = open(listing, "rb").read().decode("utf-8-sig")
rows = json.loads(text)
rows = rows.get("items", rows) if isinstance(rows, dict) else rows
def unix(path):
    if len(path) < 3 or path[1] != ":" or path[0].lower() != "c":
        return None
    at = drive
    for part in path[3:].split("\\"):
        if not part:
            continue
        exact = os.path.join(at, part)
        if os.path.exists(exact):
            at = exact
            continue
        try:
            match = [n for n in os.listdir(at) if n.lower() == part.lower()]
        except OSError:
            return None
        if not match:
            return None
        at = os.path.join(at, match[0])
    return at if os.path.isfile(at) else None
seen = set()
for row in rows:
    path = unix(row.get("file", ""))
    if path and path not in seen:
        seen.add(path)
        print(path)
print("%d entries" % len(rows), file=sys.stderr)
PY
entries=$(python3 -c "import json,sys; t=open(sys.argv[1],'rb').read().decode('utf-8-sig'); r=json.loads(t); print(len(r.get('items', r) if isinstance(r, dict) else r))" "$listing")
distinct=$(wc -l <"$bench/real.files")
md5sum_real() { tr '\n' '\0' <"$bench/real.files" | xargs -0 md5sum; }
md5sum_real >/dev/null
native=$(for _ in $(seq "$runs"); do timed md5sum_real; done | median)
echo "# real machine: $written entries written, $entries listed, $distinct distinct files, $(tr '\n' '\0' <"$bench/real.files" | du -ch --files0-from=- | tail -n 1 | cut -f1)"
own=$(collect_median)
echo "| Real machine, Collect | ${own} s | md5sum ${native} s | $(ratio "$own" "$native")x md5sum time |"
own=$(for _ in $(seq "$runs"); do timed kivctl_json; done | median)
echo "| Real machine, kivctl list --format json | ${own} s | md5sum ${native} s | $(ratio "$own" "$native")x md5sum time |"
window=$(kivbench window $((runs + 1)) | tail -n "$runs")
first=$(echo "$window" | awk '{ print $5 }' | median)
last=$(echo "$window" | awk '{ print $7 }' | median)
echo "| Real machine, window: first rows | ${first} s | md5sum ${native} s | $(ratio "$first" "$native")x md5sum time |"
echo "| Real machine, window: last rows | ${last} s | md5sum ${native} s | $(ratio "$last" "$native")x md5sum time |"
# The services place and the drivers place alone, per entry: 300 services (200 of
# them sharing one host program, whose facts are read once) and 400 drivers (most
# sharing a few system libraries), so that what a service or driver costs beyond
# its file's facts shows.
for place in 7:Services 8:Drivers; do
  htype=${place%%:*}; name=${place#*:}
  cat > "$bench/kivdata.dat" <<XML
<?xml version="1.0" encoding="utf-8"?>
<kivdata><cat><name>$name</name><icon>0</icon><locs>
  <loc><htype>$htype</htype><ltype>0</ltype><path>HKLM\SYSTEM\CurrentControlSet\Services</path></loc>
</locs></cat></kivdata>
XML
  out=$(kivbench collect $((runs + 1)) | tail -n "$runs")
  items=$(echo "$out" | awk '{ print $3 }' | median)
  own=$(echo "$out" | seconds_of | median)
  echo "| $name place alone, $items entries | ${own} s | $(echo "scale=3; 1000 * $own / $items" | bc -l) ms/entry | |"
done
# The scheduled-task place alone with a scheduler that cannot answer (its service
# disabled), and with the test system's own, which starts it on demand.
cat > "$bench/kivdata.dat" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<kivdata><cat><name>Tasks</name><icon>0</icon><locs>
  <loc><htype>6</htype><ltype>2</ltype><path>%windir%\System32\Tasks</path></loc>
</locs></cat></kivdata>
XML
scheduler_start() {
  "$wine" reg add 'HKLM\System\CurrentControlSet\Services\Schedule' /v Start /t REG_DWORD /d "$1" /f \
    </dev/null >/dev/null 2>&1 || true
  # The service manager reads start types when it starts.
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  /usr/lib/wine/wineserver -p 60 </dev/null >/dev/null 2>&1 || true
}
own=$(collect_median)
echo "| Scheduled tasks, scheduler on demand | ${own} s | $(echo "scale=1; 1000 * $own" | bc -l) ms | |"
scheduler_start 4
own=$(collect_median)
echo "| Scheduled tasks, scheduler disabled | ${own} s | $(echo "scale=1; 1000 * $own" | bc -l) ms | |"
scheduler_start 3
rm -f "$listing" "$bench/real.files"
