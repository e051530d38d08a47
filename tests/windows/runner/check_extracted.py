#!/usr/bin/env python3
"""Checks, after the Wine step, what UnZipFile extracted: each ARCHIVE=DIR pair must hold
every entry of the archive with the size and CRC-32 its directory records (the oracle also
for the methods no peer here reads), every directory entry as a directory, no encrypted
entry (UnZipFile skips those), and nothing else.
Names without the UTF-8 flag are code page 936, as the library wrote them on a Chinese
Windows; Wine keeps them on the host as UTF-8.
Usage: check_extracted.py ARCHIVE=DIR ...
"""
import os
import sys
import zipfile
import zlib


def host_name(info):
    if info.flag_bits & 0x800:
        return info.filename
    return info.filename.encode("cp437").decode("gbk")


def crc_of(path):
    crc = 0
    with open(path, "rb") as f:
        while block := f.read(1 << 20):
            crc = zlib.crc32(block, crc)
    return crc


def check(archive, root):
    problems = []
    expected = set()
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            name = host_name(info).rstrip("/")
            target = os.path.join(root, *name.split("/"))
            if info.flag_bits & 1:
                if os.path.exists(target):
                    problems.append(f"{name}: encrypted entry was extracted")
                continue
            expected.add(os.path.normpath(target))
            if info.is_dir():
                if not os.path.isdir(target):
                    problems.append(f"{name}: directory missing")
            elif not os.path.isfile(target):
                problems.append(f"{name}: missing")
            elif os.path.getsize(target) != info.file_size:
                problems.append(f"{name}: {os.path.getsize(target)} bytes, "
                                f"expected {info.file_size}")
            elif crc_of(target) != info.CRC:
                problems.append(f"{name}: CRC {crc_of(target):08x}, expected {info.CRC:08x}")
    for here, dirs, files in os.walk(root):
        for entry in dirs + files:
            full = os.path.normpath(os.path.join(here, entry))
            # Parent directories of entries are made even when the archive lists none.
            if full not in expected and not any(e.startswith(full + os.sep) for e in expected):
                problems.append(f"{os.path.relpath(full, root)}: not in the archive")
    return problems


def main():
    failed = False
    for pair in sys.argv[1:]:
        archive, root = pair.split("=", 1)
        problems = check(archive, root) if os.path.isdir(root) else [f"{root} missing"]
        status = "FAIL" if problems else "ok"
        print(f"{status}: {os.path.basename(archive)} -> {root}")
        for p in problems:
            print("   ", p)
        failed |= bool(problems)
    sys.exit(1 if failed else 0)


main()
