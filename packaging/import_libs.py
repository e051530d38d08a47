#!/usr/bin/env python3
"""Makes the import libraries of a Kestrel DLL from its .def file.

  lib<DLL>.dll.a   for MinGW (binutils dlltool): on i686 the stdcall symbols (_ZipFile@20)
                   that kestrel.h's declarations need, bound to the plain exported names;
  <DLL>.lib        for MSVC-style linkers (llvm-dlltool, short import format).
Both give the header's KestrelGetVersion the DLL's export GetVersion. The MSVC format can
rename an import only through a weak alias to a second import symbol; that symbol is
"GetVersion@kestrel" (undecorated to GetVersion when linking), so a host's own GetVersion
from kernel32 is never captured by the library.
Usage: import_libs.py DEF DLL_NAME i386|i386:x86-64 DLLTOOL LLVM_DLLTOOL OUT_DIR
"""
import os
import re
import subprocess
import sys

def_file, dll, machine, dlltool, llvm_dlltool, out_dir = sys.argv[1:]
stem = os.path.splitext(dll)[0]
x86 = machine == "i386"

exports = []  # (exported name, C symbol as the .def names it)
with open(def_file, encoding="ascii") as f:
    in_exports = False
    for line in f:
        line = line.split(";", 1)[0].strip()
        if line == "EXPORTS":
            in_exports = True
        elif in_exports and line:
            entry = line.split()[0]
            name, _, symbol = entry.partition("=")
            exports.append((name, symbol or name))


def base(symbol):
    return symbol.split("@", 1)[0]


def write_def(path, lines):
    with open(path, "w", encoding="ascii") as f:
        f.write(f'LIBRARY "{dll}"\nEXPORTS\n' + "".join(f"    {l}\n" for l in lines))


kill_at = ["-k"] if x86 else []
gnu_def = os.path.join(out_dir, f"{stem}.gnu.def")
write_def(gnu_def, [s if base(s) == n else f"{s} == {n}" for n, s in exports])
# Run in out_dir: dlltool names the archive's members after the path it is given.
subprocess.run([dlltool, *kill_at, "-d", os.path.basename(gnu_def), "-D", dll,
                "-l", f"lib{stem}.dll.a"], check=True, cwd=out_dir)

msvc_lines, renamed = [], []
for name, symbol in exports:
    if base(symbol) == name:
        msvc_lines.append(symbol)
    else:
        msvc_lines += [f"{name}@kestrel", f"{symbol} == {name}@kestrel"]
        renamed.append(name)
msvc_def = os.path.join(out_dir, f"{stem}.msvc.def")
write_def(msvc_def, msvc_lines)
lib_path = os.path.join(out_dir, f"{stem}.lib")
subprocess.run([llvm_dlltool, "-m", machine, *kill_at, "-d", msvc_def, "-l", lib_path],
               check=True)

data = bytearray(open(lib_path, "rb").read())
# i686's kill-at already marks the placeholder "undecorate"; x86_64 needs it set here.
for name in ([] if x86 else renamed):
    at = data.find(f"{name}@kestrel\0{dll}\0".encode())
    header = at - 20
    if at < 0 or data[header:header + 4] != b"\0\0\xff\xff":
        sys.exit(f"import_libs: no short import record for {name}")
    data[at - 2] = (data[at - 2] & 0x03) | (3 << 2)  # IMPORT_OBJECT_NAME_UNDECORATE
if x86:
    # The alias objects hold no code; mark them safe-SEH compatible like every import, so
    # hosts linking with /SAFESEH accept them.
    data = data.replace(b"@feat.00\0\0\0\0\xff\xff", b"@feat.00\x01\0\0\0\xff\xff")
open(lib_path, "wb").write(data)
