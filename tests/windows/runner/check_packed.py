#!/usr/bin/env python3
"""Checks, after the Wine step, the archives that ZipFile wrote: each must pass `unzip -t`
and `python3 -m zipfile -t`, and hold exactly the files of its source tree (ARCHIVE=DIR, or
ARCHIVE=DIR:flat for the files of DIR alone, or ARCHIVE=FILE for one file) with the same
bytes; directory entries may appear only for directories of the tree. Names without the
UTF-8 flag are code page 936, as the library writes them on a Chinese Windows.
Usage: check_packed.py ARCHIVE=SOURCE[:flat] ...
"""
import os
import subprocess
import sys
import zipfile


def source_files(source, recurse):
    if os.path.isfile(source):
        return {os.path.basename(source): source}
    files = {}
    for here, dirs, names in os.walk(source):
        if not recurse:
            dirs.clear()
        for name in names:
            full = os.path.join(here, name)
            files[os.path.relpath(full, source).replace(os.sep, "/")] = full
    return files


def host_name(info):
    if info.flag_bits & 0x800:
        return info.filename
    return info.filename.encode("cp437").decode("gbk")


def check(archive, source, recurse):
    problems = []
    for peer in (["unzip", "-tq", archive], [sys.executable, "-m", "zipfile", "-t", archive]):
        run = subprocess.run(peer, capture_output=True, text=True)
        if run.returncode != 0:
            problems.append(f"{peer[0]} fails: {(run.stdout + run.stderr).strip()}")
    expected = source_files(source, recurse)
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            name = host_name(info)
            if info.is_dir():
                if not os.path.isdir(os.path.join(source, name)):
                    problems.append(f"{name}: directory entry not in the source")
                continue
            if name not in expected:
                problems.append(f"{name}: not in the source")
                continue
            with open(expected.pop(name), "rb") as f:
                if z.read(info) != f.read():
                    problems.append(f"{name}: other bytes than the source")
    problems += [f"{name}: missing" for name in sorted(expected)]
    return problems


def main():
    failed = False
    for pair in sys.argv[1:]:
        archive, source = pair.split("=", 1)
        recurse = not source.endswith(":flat")
        source = source.removesuffix(":flat")
        problems = check(archive, source, recurse) if os.path.isfile(archive) else ["missing"]
        print(f"{'FAIL' if problems else 'ok'}: {os.path.basename(archive)}")
        for p in problems:
            print("   ", p)
        failed |= bool(problems)
    sys.exit(1 if failed else 0)


main()
