#!/usr/bin/env bash
# Makes the zip with cpack and checks what it holds; installs the package into
# the build tree, builds the example host against it with the same toolchain, and
# runs that host under Wine against a seeded run value.
set -u
build="$1"
src="$2"
toolchain="$3"
work="$build/kivtests-package"
run() { "$src/tests/wine/wine-run.sh" "$build" "$@"; }
fail() { echo "FAIL: $*" >&2; status=1; }
status=0
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
cleanup() {
  run reg delete "$run_key" /v "KivPackageTest" /f >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"

(cd "$build" && cpack -G ZIP -B "$work/zip" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
python3 - "$work"/zip/kiv-*-win64.zip <<'PY' || fail "the zip does not hold what a host developer needs"
import sys, zipfile
names = {n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if "/" in n}
need = {"bin/kiv.dll", "bin/Hubcore.dll", "bin/Sigvault.dll", "bin/kivctl.exe", "bin/kivdata.dat", "bin/kivwl.dat",
        "include/kiv.h", "lib/libkiv.dll.a", "lib/libHubcore.dll.a", "lib/libHubcore_ordinal.a",
        "lib/libSigvault.dll.a", "lib/cmake/kiv/kivConfig.cmake", "lib/cmake/kiv/kivConfigVersion.cmake",
        "README.md", "LICENSE"}
missing = need - names
assert not missing, missing
PY

cmake --install "$build" --prefix "$work/install" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install failed"; }
cmake -S "$src/examples/host" -B "$work/example" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$work/install" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "find_package(kiv)"; }
cmake --build "$work/example" -j2 >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "the example host did not build"; }

cp "$work/install/bin/kivctl.exe" "$work/started.exe"
run reg add "$run_key" /v "KivPackageTest" /t REG_SZ /d "Z:${work//\//\\}\\started.exe /quiet" /f >/dev/null
out=$(cd "$work/example" && run ./example_host.exe | tr -d '\r'); code=$?
[ $code -eq 0 ] || fail "the example host exited $code"
echo "$out" | grep -qi "^Run keys	KivPackageTest	enabled	Z:.*started\.exe$" || fail "the seeded entry is not listed: $out"
echo "$out" | tail -1 | grep -Eq '^[1-9][0-9]* categories, [1-9][0-9]* items$' || fail "summary: $(echo "$out" | tail -1)"

[ $status -eq 0 ] && echo "package and example host: all checks passed"
exit $status
