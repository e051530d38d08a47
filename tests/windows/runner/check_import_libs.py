#!/usr/bin/env python3
"""Checks the MSVC-format import library of a Kestrel DLL with an MSVC-style toolchain.

Compiles a host calling the four functions of kestrel.h (clang for the *-pc-windows-msvc
target), links it with lld-link against <DLL>.lib alone (on i686 with /SAFESEH, as Visual
Studio projects do) and reads the program's import table: exactly GetVersion, ZipFile,
isZip and UnZipFile from the DLL. The library must not define kernel32's names (a host's
own GetVersion call would land in Kestrel).
Usage: check_import_libs.py INCLUDE_DIR LIB i686|x86_64 OBJDUMP
"""
import os
import re
import subprocess
import sys
import tempfile

include_dir, lib, arch, objdump = sys.argv[1:]
dll = os.path.splitext(os.path.basename(lib))[0] + ".dll"
HOST = """#include "kestrel.h"
int entry(void) {
  return (KestrelGetVersion()[0] == '1') + ZipFile("a", "b", "", 6, 1) + isZip("c") +
         UnZipFile("d", "e", "");
}
"""
failures = []
with tempfile.TemporaryDirectory() as tmp:
    source, obj, exe = (os.path.join(tmp, n) for n in ("host.c", "host.obj", "host.exe"))
    open(source, "w").write(HOST)
    subprocess.run(["clang", f"--target={arch}-pc-windows-msvc", "-ffreestanding", "-O1",
                    "-I", include_dir, "-c", source, "-o", obj], check=True)
    safeseh = ["/safeseh"] if arch == "i686" else []
    subprocess.run(["lld-link", "/nodefaultlib", "/entry:entry", "/subsystem:console",
                    *safeseh, obj, lib, f"/out:{exe}"], check=True)
    headers = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                             text=True).stdout
    imports = re.findall(r"DLL Name: (\S+)\n.*?\n((?:\s+[0-9a-f]+\s+\d+\s+\S+\n)+)", headers)
    found = {(name, entry.split()[-1]) for name, block in imports
             for entry in block.strip().splitlines()}
    expected = {(dll, f) for f in ("GetVersion", "ZipFile", "isZip", "UnZipFile")}
    if found != expected:
        failures.append(f"imports are {sorted(found)}, expected {sorted(expected)}")
symbols = subprocess.run(["llvm-nm", lib], check=True, capture_output=True, text=True).stdout
for clash in ("GetVersion", "_GetVersion@0", "__imp_GetVersion", "__imp__GetVersion@0"):
    if re.search(rf"^\S* *[A-Z] {re.escape(clash)}$", symbols, re.M):
        failures.append(f"{lib} defines {clash}, kernel32's name")
for failure in failures:
    print("FAIL: " + failure)
sys.exit(1 if failures else 0)
