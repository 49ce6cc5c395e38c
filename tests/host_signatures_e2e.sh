#!/usr/bin/env bash
# The host's signer column, listing filters and diffs under Wine: files signed
# under a test authority the prefix trusts, under one it does not, one changed
# after signing and one never signed; then a saved listing compared with the
# machine after changes, and with a second saved listing. A shared service's
# library is checked and compared the same way.
set -u
build="$1"
src="$2"
run() { "$src/wine/wine-run.sh" "$build" "$@"; }
kivctl() { (cd "$build/bin" && run ./kivctl.exe --no-progress "$@"); }
fail() { echo "FAIL: $*" >&2; status=1; }
status=0

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
roots='HKLM\Software\Microsoft\SystemCertificates\Root\Certificates'
work="$build/kivtests-signing"
dir="$build/wineprefix/drive_c/kivtests/host signing"
win='C:\kivtests\host signing'
names=("KivSignTest Plain" "KivSignTest Signed" "KivSignTest Tampered" "KivSignTest Untrusted" "KivSignTest New")
svc_key='HKLM\SYSTEM\CurrentControlSet\Services\KivSvcSignTest'
thumbprint=""
cleanup() {
  run sc delete KivSvcSignTest >/dev/null 2>&1
  for name in "${names[@]}"; do run reg delete "$run_key" /v "$name" /f >/dev/null 2>&1; done
  run reg delete "$run_key\\_disabledByKiv" /v "KivSignTest Off" /f >/dev/null 2>&1
  run reg query "$run_key\\_disabledByKiv" >/dev/null 2>&1 && [ -z "$(run reg query "$run_key\\_disabledByKiv" | grep -v '^HKEY' | tr -d '[:space:]')" ] \
    && run reg delete "$run_key\\_disabledByKiv" /f >/dev/null 2>&1
  [ -n "$thumbprint" ] && run reg delete "$roots\\$thumbprint" /f >/dev/null 2>&1
  rm -rf "$work" "$dir"
}
trap cleanup EXIT
rm -rf "$work" "$dir"
mkdir -p "$work" "$dir"

# authority NAME: a self-signed root; signer ROOT OUT: a code-signing leaf under it.
authority() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 30 \
    -subj "/CN=$1" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
}
signer() {
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$work/leaf.cnf"
  openssl req -newkey rsa:2048 -nodes -keyout "$work/$2.key" -out "$work/$2.csr" -subj "/CN=Kiv Test Publisher" 2>/dev/null
  openssl x509 -req -in "$work/$2.csr" -CA "$work/$1.pem" -CAkey "$work/$1.key" -CAcreateserial \
    -out "$work/$2.pem" -days 30 -extfile "$work/leaf.cnf" 2>/dev/null
}
authority "Kiv Test Root" && authority "Kiv Stranger Root" && signer "Kiv Test Root" trusted \
  && signer "Kiv Stranger Root" stranger || { fail "openssl could not make the test certificates"; exit 1; }
openssl x509 -in "$work/Kiv Test Root.pem" -outform der -out "$work/root.der"
thumbprint=$(openssl x509 -in "$work/root.der" -inform der -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
run "$build/tests/host_trustroot/host_trustroot.exe" "Z:$work/root.der" || fail "the test root was not trusted"

program="$build/tests/host_trustroot/host_trustroot.exe"
cp "$program" "$dir/plain.exe"
sign() { osslsigncode sign -certs "$work/$1.pem" -key "$work/$1.key" -in "$program" -out "$dir/$2" >/dev/null; }
sign trusted signed.exe && sign stranger untrusted.exe && sign trusted other.exe || fail "osslsigncode could not sign"
# One byte of the code changed after signing: the digest no longer matches.
python3 - "$dir/signed.exe" "$dir/tampered.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[0x400 + 64] ^= 0xFF
open(sys.argv[2], 'wb').write(data)
PY
seed() { run reg add "$1" /v "$2" /t REG_SZ /d "\"$win\\$3\"" /f >/dev/null; }
seed "$run_key" "KivSignTest Plain" plain.exe
seed "$run_key" "KivSignTest Signed" signed.exe
seed "$run_key" "KivSignTest Tampered" tampered.exe
seed "$run_key" "KivSignTest Untrusted" untrusted.exe
seed "$run_key\\_disabledByKiv" "KivSignTest Off" plain.exe
run sc delete KivSvcSignTest >/dev/null 2>&1
run sc create KivSvcSignTest type= share start= demand displayname= KivSvcSignTest binPath= "\"$win\\plain.exe\" -k kivtest" >/dev/null \
  || fail "the shared service could not be made"
library() { run reg add "$svc_key\\Parameters" /v ServiceDll /t REG_EXPAND_SZ /d "$win\\$1" /f >/dev/null; }
library signed.exe

kivctl list --format json > "$work/before.json" || fail "listing failed"
python3 - "$work/before.json" <<'PY' || fail "the signature states are not as signed"
import json, sys
items = {i["title"]: i for i in json.load(open(sys.argv[1])) if i["title"].startswith("KivSignTest")}
expect = {"Plain": ("not signed", ""), "Signed": ("signed", "Kiv Test Publisher"),
          "Tampered": ("bad signature", None), "Untrusted": ("untrusted root", "Kiv Test Publisher")}
for name, (state, signer) in expect.items():
    item = items["KivSignTest " + name]
    assert item["signature"] == state, item
    assert signer is None or item["signer"] == signer, item
signed = items["KivSignTest Signed"]
assert signed["registryKey"] == r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run", signed
assert signed["registryValue"] == "KivSignTest Signed" and signed["size"] > 0 and len(signed["modified"]) == 16, signed
assert items["KivSignTest Off"]["state"] == "disabled", items
svc = [i for i in json.load(open(sys.argv[1])) if i["title"] == "KivSvcSignTest"]
assert len(svc) == 1 and svc[0]["file"].lower().endswith("plain.exe"), svc
assert svc[0]["serviceDll"].lower().endswith(r"host signing\signed.exe") and len(svc[0]["serviceDllMd5"]) == 32, svc
assert (svc[0]["serviceDllSignature"], svc[0]["serviceDllSigner"]) == ("signed", "Kiv Test Publisher"), svc
PY

# Filters: a valid signer is hidden, the same name under an untrusted root is not;
# the chosen columns come in the chosen order.
csv=$(kivctl list --category "Run keys" --location "$run_key" --hide-signed-by "kiv test publisher" \
  --format csv --columns title,signature,signer | tr -d '\r')
[ "$(echo "$csv" | head -1)" = "title,signature,signer" ] || fail "columns: $(echo "$csv" | head -1)"
echo "$csv" | grep -q '^KivSignTest Signed,' && fail "the validly signed entry is not hidden"
echo "$csv" | grep -q '^KivSignTest Untrusted,untrusted root,Kiv Test Publisher$' || fail "the untrusted entry is hidden"
echo "$csv" | grep -q '^KivSignTest Tampered,bad signature,' || fail "the tampered entry is hidden"
disabled=$(kivctl list --state disabled --format json | python3 -c '
import json, sys
items = json.load(sys.stdin)
print("ok" if items and all(i["state"] == "disabled" for i in items) and any(i["title"] == "KivSignTest Off" for i in items) else items)')
[ "$disabled" = "ok" ] || fail "list --state disabled: $disabled"

# The same machine compared with its own listing: nothing changed.
kivctl diff "Z:$work/before.json" "Z:$work/before.json" > "$work/same.txt"; code=$?
[ $code -eq 0 ] && grep -q '^No changes.' "$work/same.txt" || fail "a listing against itself exited $code"
kivctl diff "Z:$work/before.json" --title "no such entry" >/dev/null; code=$?
[ $code -eq 0 ] || fail "the live machine, filtered to nothing, differs (exit $code)"

# Then one entry goes, one comes, one starts another file and the disabled one is enabled.
run reg delete "$run_key" /v "KivSignTest Tampered" /f >/dev/null
seed "$run_key" "KivSignTest New" plain.exe
seed "$run_key" "KivSignTest Plain" other.exe
run reg delete "$run_key\\_disabledByKiv" /v "KivSignTest Off" /f >/dev/null
seed "$run_key" "KivSignTest Off" plain.exe
names+=("KivSignTest Off")
library untrusted.exe
kivctl diff "Z:$work/before.json" --format json > "$work/live.json"; code=$?
[ $code -eq 1 ] || fail "the live diff exited $code, not 1"
kivctl list --format json > "$work/after.json" || fail "second listing failed"
kivctl diff "Z:$work/before.json" "Z:$work/after.json" --format json > "$work/saved.json"; code=$?
[ $code -eq 1 ] || fail "the diff of two saved listings exited $code, not 1"
cmp -s "$work/live.json" "$work/saved.json" || fail "the live and the saved diff differ"
python3 - "$work/saved.json" <<'PY' || fail "the diff does not tell what changed"
import json, sys
diff = json.load(open(sys.argv[1]))
mine = lambda items: sorted(i["title"] for i in items if i["title"].startswith("KivSignTest"))
assert mine(diff["added"]) == ["KivSignTest New"], diff["added"]
assert mine(diff["removed"]) == ["KivSignTest Tampered"], diff["removed"]
changed = {c["title"]: {x["column"]: (x["before"], x["after"]) for x in c["changes"]}
           for c in diff["changed"] if c["title"].startswith("KivSignTest")}
assert set(changed) == {"KivSignTest Plain", "KivSignTest Off"}, changed
plain = changed["KivSignTest Plain"]
assert plain["file"][1].lower().endswith("other.exe") and plain["md5"][0] != plain["md5"][1], plain
assert plain["signature"] == ("not signed", "signed") and plain["signer"] == ("", "Kiv Test Publisher"), plain
assert changed["KivSignTest Off"] == {"state": ("disabled", "enabled")}, changed
svc = [{x["column"]: x["after"] for x in c["changes"]} for c in diff["changed"] if c["title"] == "KivSvcSignTest"]
assert len(svc) == 1 and set(svc[0]) == {"serviceDll", "serviceDllMd5", "serviceDllSignature"}, svc
assert svc[0]["serviceDllSignature"] == "untrusted root", svc
PY
kivctl diff "Z:$work/before.json" "Z:$work/after.json" | grep -q '^+ Run keys | .* | KivSignTest New' || fail "the table diff"
echo '[{"title": ' > "$work/broken.json"
kivctl diff "Z:$work/broken.json" "Z:$work/after.json" >/dev/null 2>&1; code=$?
[ $code -eq 2 ] || fail "a broken listing exited $code, not 2"

[ $status -eq 0 ] && echo "host signatures and diff: all checks passed"
exit $status
