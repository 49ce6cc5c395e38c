#!/usr/bin/env bash
# The command-line host end to end in the test prefix: list run-key entries as
# JSON, disable and enable one by a selector, and the exit codes of selectors that
# match several items or none.
set -u
build="$1"
src="$2"
run() { "$src/wine/wine-run.sh" "$build" "$@"; }
kivctl() { (cd "$build/bin" && run ./kivctl.exe --no-progress "$@"); }
fail() { echo "FAIL: $*" >&2; status=1; }
status=0

run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
once_key='HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce'
switch_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
drive_c="$build/wineprefix/drive_c"
mkdir -p "$drive_c/kivtests/host e2e"
cp "$drive_c/windows/system32/notepad.exe" "$drive_c/kivtests/host e2e/tool.exe"
cp "$drive_c/windows/system32/notepad.exe" "$drive_c/kivtests/host e2e/other.exe"
cleanup() {
  for name in "KivHostTest Tool" "KivHostTest Other" "KivHostTest Dup"; do
    run reg delete "$run_key" /v "$name" /f >/dev/null 2>&1
  done
  run reg delete "$once_key" /v "KivHostTest Once" /f >/dev/null 2>&1
  run reg delete "$run_key\\_disabledByKiv" /f >/dev/null 2>&1
  run reg delete "$switch_key" /v "KivHostTest Other" /f >/dev/null 2>&1
  rm -f "$build/bin/kivhost-e2e.jsonl" "$build/bin/kivhost-e2e.err"
  for sid in S-1-5-21-7-7-7-2201 S-1-5-21-7-7-7-2202; do
    run reg delete 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\'"$sid" /f >/dev/null 2>&1
  done
  rm -rf "$drive_c/kivtests/host e2e"
}
trap cleanup EXIT
cleanup_before=$(run reg query "$run_key\\_disabledByKiv" 2>/dev/null | grep -c KivHostTest)
[ "$cleanup_before" = "0" ] || fail "a marker entry was left from an earlier run"

run reg add "$run_key" /v "KivHostTest Tool" /t REG_SZ /d '"C:\kivtests\host e2e\tool.exe" -background' /f >/dev/null
run reg add "$run_key" /v "KivHostTest Other" /t REG_EXPAND_SZ /d 'C:\kivtests\host e2e\other.exe' /f >/dev/null
run reg add "$once_key" /v "KivHostTest Once" /t REG_SZ /d 'C:\kivtests\host e2e\other.exe' /f >/dev/null

# state_of TITLE: the state the JSON listing gives the item with that title.
state_of() {
  kivctl list --format json | python3 -c '
import json, sys
items = [i for i in json.load(sys.stdin) if i["title"] == sys.argv[1]]
print(",".join(sorted(i["state"] for i in items)) or "none")' "$1"
}

json=$(kivctl list --format json) || fail "listing failed"
echo "$json" | python3 -c '
import json, sys
items = json.load(sys.stdin)
tool = [i for i in items if i["title"] == "KivHostTest Tool"]
assert len(tool) == 1, tool
t = tool[0]
assert t["state"] == "enabled", t
assert t["file"].lower() == r"c:\kivtests\host e2e\tool.exe", t
assert t["location"] == r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run", t
assert t["category"] == "Run keys", t
assert isinstance(t["whitelisted"], bool)
' || fail "the JSON listing does not show the seeded entry as expected"

kivctl list --format csv | grep -q '^[0-9]*,Run keys,.*,KivHostTest Other,enabled,' || fail "CSV listing"
kivctl list | grep -q 'KivHostTest Other' || fail "table listing"

kivctl disable --title "KivHostTest Tool" --location "$run_key" >/dev/null || fail "disable exited $?"
run reg query "$run_key\\_disabledByKiv" /v "KivHostTest Tool" >/dev/null 2>&1 || fail "the value is not in the marker subkey"
[ "$(state_of 'KivHostTest Tool')" = "disabled" ] || fail "not listed as disabled after disable"
kivctl enable --title "kivhosttest tool" >/dev/null || fail "enable exited $?"
[ "$(state_of 'KivHostTest Tool')" = "enabled" ] || fail "not listed as enabled after enable"
run reg query "$run_key\\_disabledByKiv" >/dev/null 2>&1 && fail "the emptied marker subkey is still there"

# JSON lines: one object a line with the machine and the time; Windows' own switch
# turned off (as Task Manager writes it) lists the entry as disabled, enable turns it
# on again, and a diff against the saved lines alerts with exit code 1.
run reg add "$switch_key" /v "KivHostTest Other" /t REG_BINARY /d 030000000102030405060708 /f >/dev/null
kivctl list --format jsonl > "$build/bin/kivhost-e2e.jsonl" || fail "the JSON-lines listing failed"
python3 - "$build/bin/kivhost-e2e.jsonl" <<'PY' || fail "the JSON lines do not show the switched-off entry as expected"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
assert lines and all(l["machine"] and l["listed"].endswith("Z") for l in lines), lines[:1]
other = [l for l in lines if l["title"] == "KivHostTest Other"]
assert len(other) == 1 and other[0]["state"] == "disabled" and other[0]["disabledByWindows"] is True, other
PY
kivctl diff kivhost-e2e.jsonl >/dev/null; code=$?
[ $code -eq 0 ] || fail "a diff against lines of the same state exited $code, not 0"
kivctl enable --title "KivHostTest Other" --location "$run_key" >/dev/null || fail "enable of a switched-off entry"
run reg query "$switch_key" /v "KivHostTest Other" | grep -qi '020000000000000000000000' || fail "the switch is not on"
diff_out=$(kivctl diff kivhost-e2e.jsonl); code=$?
[ $code -eq 1 ] || fail "a diff after enable exited $code, not 1"
echo "$diff_out" | grep -q 'state: disabled -> enabled' || fail "the diff printed \"$diff_out\""

# A failed action names its cause in the system's words and exits 1: a list
# that is not plain text is listed but never rewritten.
appinit_key='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows'
run reg add "$appinit_key" /v AppInit_DLLs /t REG_MULTI_SZ /d 'C:\windows\system32\notepad.exe' /f >/dev/null
message=$(kivctl disable --category "AppInit DLLs" --title 'C:\windows\system32\notepad.exe' 2>&1 >/dev/null); code=$?
run reg delete "$appinit_key" /v AppInit_DLLs /f >/dev/null
[ $code -eq 1 ] || fail "a failed disable exited $code, not 1"
echo "$message" | grep -Eq '^disable: [A-Z].*[.]' || fail "a failed disable printed \"$message\""

kivctl disable --title "No Such Entry" >/dev/null 2>&1; code=$?
[ $code -eq 4 ] || fail "a selector matching nothing exited $code, not 4"

run reg add "$run_key" /v "KivHostTest Dup" /t REG_SZ /d 'C:\kivtests\host e2e\other.exe' /f >/dev/null
run reg add "$run_key\\_disabledByKiv" /v "KivHostTest Dup" /t REG_SZ /d 'C:\windows\system32\notepad.exe' /f >/dev/null
kivctl remove --title "KivHostTest Dup" >/dev/null 2>&1; code=$?
[ $code -eq 3 ] || fail "a selector matching two items exited $code, not 3"
# Neither copy may write over the other; a live entry has nothing kept to restore.
message=$(kivctl enable --title "KivHostTest Dup" --state disabled 2>&1 >/dev/null); code=$?
[ $code -eq 1 ] || fail "an enable onto another entry exited $code, not 1"
[ "${message%$'\r'}" = "enable: another entry of the same name is in the way (remove one of them first)." ] \
  || fail "an enable onto another entry printed \"$message\""
run reg query "$run_key" /v "KivHostTest Dup" | grep -q 'other.exe' || fail "the live copy was written over"
message=$(kivctl restore --title "KivHostTest Other" 2>&1 >/dev/null); code=$?
[ $code -eq 1 ] || fail "a restore of a live entry exited $code, not 1"
[ "${message%$'\r'}" = "restore: nothing to restore: this entry was deleted, not kept" ] \
  || fail "a restore of a live entry printed \"$message\""
removed=$(kivctl remove --title "KivHostTest Dup" --state disabled) || fail "remove of the disabled copy"
[ "$(printf '%s\n' "$removed" | grep -c .)" = "1" ] || fail "a removal printed \"$removed\""
[ "$(state_of 'KivHostTest Dup')" = "enabled" ] || fail "remove took the wrong copy"

kivctl frobnicate >/dev/null 2>&1; code=$?
[ $code -eq 2 ] || fail "an unknown command exited $code, not 2"
code=0; kivctl list --state bogus >/dev/null 2>&1 || code=$?
[ $code -eq 2 ] || fail "an unknown state exited $code, not 2"

# A run stopped after the first item still lists what was found, as valid JSON.
full=$(kivctl list --format json | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))')
limited=$(kivctl list --format json --limit 1 | python3 -c 'import json,sys; print(len(json.load(sys.stdin)))') \
  || fail "the stopped run gave no valid JSON"
[ "${limited:-0}" -ge 1 ] && [ "${limited:-0}" -le "${full:-0}" ] || fail "stopped run listed $limited of $full"

# Another user of the machine, not logged on: kivctl loads the hive file of the
# profile, lists its run value with the user, filters by --user, and warns on stderr
# of a profile whose hive cannot be read.
profiles='HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList'
other_sid='S-1-5-21-7-7-7-2201'
lost_sid='S-1-5-21-7-7-7-2202'
mkdir -p "$drive_c/kivtests/host e2e/users/other" "$drive_c/kivtests/host e2e/users/lost"
printf '%s\n' 'WINE REGISTRY Version 2' '' '#arch=win64' '' \
  '[Software\\Microsoft\\Windows\\CurrentVersion\\Run] 1700000000' \
  '"KivHostTest Theirs"="C:\\kivtests\\host e2e\\other.exe"' > "$drive_c/kivtests/host e2e/users/other/NTUSER.DAT"
run reg add "$profiles\\$other_sid" /v ProfileImagePath /d 'C:\kivtests\host e2e\users\other' /f >/dev/null
run reg add "$profiles\\$lost_sid" /v ProfileImagePath /d 'C:\kivtests\host e2e\users\lost' /f >/dev/null
users_out=$(kivctl list --user "$other_sid" --format csv --columns user,location,title 2>"$build/bin/kivhost-e2e.err")
run reg delete "$profiles\\$other_sid" /f >/dev/null
run reg delete "$profiles\\$lost_sid" /f >/dev/null
[ "$(printf '%s\n' "$users_out" | tr -d '\r' | grep -c .)" = "2" ] || fail "--user listed \"$users_out\""
printf '%s\n' "$users_out" | tr -d '\r' | grep -qx "$other_sid,HKU\\\\$other_sid\\\\Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Run,KivHostTest Theirs" \
  || fail "the other user's entry was listed as \"$users_out\""
grep -q "kivctl: warning: the registry of $lost_sid was not read: " "$build/bin/kivhost-e2e.err" \
  || fail "no warning of the unread profile: $(cat "$build/bin/kivhost-e2e.err")"
rm -f "$build/bin/kivhost-e2e.err"

[ $status -eq 0 ] && echo "host end to end: all checks passed"
exit $status
