#!/usr/bin/env python3
"""Lays out a synthetic machine for the collection benchmark in a Wine prefix.

machine.py PREFIX_DRIVE_C COUNT SIZE VERSIONED_EXE PLAIN_EXE

Writes COUNT files and a registry file (kivbench\\machine.reg) whose run values
start them: four in ten are programs with version information and an icon,
three in ten programs without either, three in ten plain data. One entry in
eight lives in the 32-bit view and names its file below "C:\\Program Files"
(found below "Program Files (x86)"), one in eight is a bare name found through
PATH (C:\\kivbench\\pathdir), the rest are full paths, quoted or not. SIZE is
the size of every file in bytes, or "natural" for programs at their own size
and 10-byte data files.
"""
import os
import shutil
import sys

drive, count, size = sys.argv[1], int(sys.argv[2]), sys.argv[3]
versioned, plain = (open(p, "rb").read() for p in sys.argv[4:6])
root = os.path.join(drive, "kivbench")
folders = {
    "files": os.path.join(root, "files"),
    "pathdir": os.path.join(root, "pathdir"),
    "x86": os.path.join(drive, "Program Files (x86)", "KivBench"),
}
for folder in folders.values():
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)

filler = os.urandom(1 << 20)


def content(index):
    kind = index % 10
    head = versioned if kind < 4 else plain if kind < 7 else b"data%06d" % index
    if size == "natural":
        return head if kind < 7 else head[:10]
    wanted = int(size)
    if wanted <= len(head):
        return (b"%010d" % index)[:wanted] if wanted <= 10 else head[:wanted]
    out = bytearray(head)
    offset = (index * 4099) % len(filler)
    while len(out) < wanted:
        piece = filler[offset:offset + wanted - len(out)]
        out += piece
        offset = 0
    return bytes(out)


def reg_text(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


native, wow = [], []
for i in range(count):
    placement = i % 8
    if placement == 0:
        name = "w%05d.exe" % i
        path = os.path.join(folders["x86"], name)
        wow.append(('"C:\\Program Files\\KivBench\\%s" /min' % name))
    elif placement == 1:
        name = "b%05d.exe" % i
        path = os.path.join(folders["pathdir"], name)
        native.append("%s /quiet" % name)
    else:
        name = "f%05d.exe" % i
        path = os.path.join(folders["files"], name)
        full = "C:\\kivbench\\files\\" + name
        native.append(('"%s" -x' % full) if i % 2 else full)
    with open(path, "wb") as f:
        f.write(content(i))

with open(os.path.join(root, "machine.reg"), "w", encoding="utf-16") as reg:
    reg.write("Windows Registry Editor Version 5.00\n\n")
    for key, values in (("HKEY_CURRENT_USER\\Software\\KivBench\\Run", native),
                        ("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\KivBench\\Run", wow)):
        reg.write("[-%s]\n\n[%s]\n" % (key, key))
        for n, text in enumerate(values):
            reg.write('"Entry%05d"="%s"\n' % (n, reg_text(text)))
        reg.write("\n")
