#!/usr/bin/env python3
"""Checks that libkestrel.so exports exactly the functions kestrel.h declares for Linux.

Compares `nm -D --defined-only` of the library with every KESTREL_API function of the
header: a declared function missing from the library and a library symbol the header does
not declare (a leaked internal or std:: name) both fail. Also checks the soname.
Usage: check_exports.py LIBRARY HEADER
"""
import re
import subprocess
import sys

library, header = sys.argv[1], sys.argv[2]

text = open(header, encoding="utf-8").read()
text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
text = re.sub(r"^#.*$", "", text, flags=re.M)
declared = set(re.findall(r"\bKESTREL_API\b[^;(]*?\b(\w+)\s*\(", text))

nm = subprocess.run(["nm", "-D", "--defined-only", library], check=True,
                    capture_output=True, text=True).stdout
exported = set()
for line in nm.splitlines():
    fields = line.split()
    if fields and fields[-2:-1] != ["A"]:  # "A" lines are symbol version nodes
        exported.add(fields[-1].split("@")[0])

failures = []
if missing := sorted(declared - exported):
    failures.append(f"declared in the header but not exported: {missing}")
if extra := sorted(exported - declared):
    failures.append(f"exported but not in the header: {extra}")
dynamic = subprocess.run(["objdump", "-p", library], check=True, capture_output=True,
                         text=True).stdout
soname = re.search(r"SONAME\s+(\S+)", dynamic)
if not soname or soname.group(1) != "libkestrel.so.1":
    failures.append(f"soname is {soname.group(1) if soname else None}, expected libkestrel.so.1")
for failure in failures:
    print("FAIL: " + failure)
print(f"{len(declared)} functions declared, {len(exported)} exported")
sys.exit(1 if failures else 0)
