#!/usr/bin/env python3
"""Lays out a machine of a real Windows machine's shape for the benchmark.

realmachine.py PREFIX_DRIVE_C VERSIONED_EXE PLAIN_EXE

Read through the default catalogue. Writes the files below C:\\kivreal and a
registry file (kivreal\\machine.reg) with: 400 drivers and 300 services for the
service manager (one in six disabled; 200 services share one host process, as
svchost services do; drivers share 40 system libraries in nine of ten cases),
150 codec values (Drivers32) naming 60 system libraries, 100 class hooks (shell
service objects and browser helper objects, each with its class's server), run
values of the machine and the user, Winlogon values; and 10 startup files. Files
have real sizes: 12 system libraries of 3 to 8 MiB among libraries of 64 KiB to
1 MiB and drivers of 16 to 256 KiB. Every file starts as a program, four in ten
with version information. The 50 scheduled tasks are made by kivbench itself.
Prints the number of entries it wrote.
"""
import os
import random
import shutil
import sys

drive = sys.argv[1]
versioned, plain = (open(p, "rb").read() for p in sys.argv[2:4])
rng = random.Random(23)
root = os.path.join(drive, "kivreal")
shutil.rmtree(root, ignore_errors=True)
for sub in ("system32", "drivers", "programs"):
    os.makedirs(os.path.join(root, sub))
startup = os.path.join(drive, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "StartUp")
os.makedirs(startup, exist_ok=True)
for old in os.listdir(startup):
    if old.startswith("kivreal"):
        os.remove(os.path.join(startup, old))
filler = os.urandom(8 << 20)


def write(path, size, index):
    head = versioned if index % 10 < 4 else plain
    body = bytearray(head)
    offset = (index * 7919) % len(filler)
    while len(body) < size:
        piece = filler[offset:offset + size - len(body)]
        body += piece
        offset = 0
    with open(path, "wb") as f:
        f.write(bytes(body[:max(size, len(head))]))


def windows(*parts):
    return "C:\\kivreal\\" + "\\".join(parts)


libraries = []
for i in range(60):
    name = "lib%02d.dll" % i
    size = rng.randint(3 << 20, 8 << 20) if i < 12 else rng.randint(64 << 10, 1 << 20)
    write(os.path.join(root, "system32", name), size, i)
    libraries.append(windows("system32", name))
write(os.path.join(root, "system32", "svchost.exe"), 80 << 10, 1)
svchost = windows("system32", "svchost.exe")
drivers = []
for i in range(80):
    name = "drv%03d.sys" % i
    write(os.path.join(root, "drivers", name), rng.randint(16 << 10, 256 << 10), i)
    drivers.append(windows("drivers", name))
programs = []
for i in range(160):
    name = "app%03d.exe" % i
    write(os.path.join(root, "programs", name), rng.randint(64 << 10, 2 << 20), i)
    programs.append(windows("programs", name))
for i in range(10):
    write(os.path.join(startup, "kivreal%02d.exe" % i), 32 << 10, i)


def text(value):
    return '"%s"' % value.replace("\\", "\\\\").replace('"', '\\"')


def dword(value):
    return "dword:%08x" % value


keys = []
entries = 10  # the startup files
services = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services"
for i in range(700):
    driver = i < 400
    name = ("KivRealDrv%03d" if driver else "KivRealSvc%03d") % i
    if driver:
        image = drivers[i % len(drivers)] if i % 10 else libraries[i % 40]
        kind = 1
    elif i < 600:
        image = svchost + " -k netsvcs -p"
        kind = 0x20
    else:
        image = '"%s" -service' % programs[i % len(programs)]
        kind = 0x10
    # Demand start or disabled: the test system starts nothing of its own.
    keys.append(("%s\\%s" % (services, name), [
        ("Type", dword(kind)), ("Start", dword(4 if i % 6 == 0 else 3)), ("ErrorControl", dword(1)),
        ("ImagePath", text(image)), ("DisplayName", text("Kiv real %s %03d" % ("driver" if driver else "service", i))),
        ("ObjectName", text("LocalSystem"))]))
    entries += 1
codecs = [("kivreal.c%03d" % i, text(libraries[i % 60])) for i in range(150)]
keys.append(("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", codecs))
entries += 150
delayload, bho = [], []
for i in range(100):
    clsid = "{6b1d%04x-5c2e-4a3b-9d7f-%012x}" % (i, 0x23 + i)
    keys.append(("HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\%s" % clsid, [("@", text("Kiv real hook %d" % i))]))
    keys.append(("HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\%s\\InprocServer32" % clsid,
                 [("@", text(libraries[(i * 7) % 60])), ("ThreadingModel", text("Apartment"))]))
    if i % 2:
        delayload.append(("KivRealHook%03d" % i, text(clsid)))
    else:
        bho.append(clsid)
keys.append(("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
             delayload))
for clsid in bho:
    keys.append(("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                 "Browser Helper Objects\\%s" % clsid, []))
entries += 100
run = [("KivRealRun%02d" % i, text('"%s" /background' % programs[i])) for i in range(40)]
keys.append(("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", run))
user_run = [("KivRealUser%02d" % i, text(programs[40 + i])) for i in range(20)]
keys.append(("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", user_run))
entries += 60
keys.append(("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
             [("VmApplet", text(programs[100]))]))
entries += 1

with open(os.path.join(root, "machine.reg"), "w", encoding="utf-16") as reg:
    reg.write("Windows Registry Editor Version 5.00\n\n")
    for key, values in keys:
        reg.write("[%s]\n" % key)
        for name, value in values:
            reg.write("%s=%s\n" % ("@" if name == "@" else text(name), value))
        reg.write("\n")
print(entries)
