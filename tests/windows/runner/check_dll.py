#!/usr/bin/env python3
"""Checks a built Kestrel DLL from the outside, as a host would see it.

Reads `objdump -p/-t/-d` of the DLL and parses its PE resource section directly:
  * the export table holds exactly GetVersion, ZipFile, isZip, UnZipFile at ordinals 1-4;
  * (i686) each export is the stdcall-decorated function (_name@bytes) and returns with
    `ret $bytes`, i.e. the callee pops its arguments;
  * the version resource is filed under language 0x0804, has the one string table
    "080403A8", the translation entry (0x0804, 936) and FileVersion "1.0.0.0";
  * the DLL imports only system DLLs (the C++ runtime is linked in statically).
Usage: check_dll.py OBJDUMP DLL [--stdcall]
"""
import re
import struct
import subprocess
import sys

EXPORTS = {"GetVersion": 1, "ZipFile": 2, "isZip": 3, "UnZipFile": 4}
# C name and stdcall argument bytes behind each export.
STDCALL = {"GetVersion": ("KestrelGetVersion", 0), "ZipFile": ("ZipFile", 20),
           "isZip": ("isZip", 4), "UnZipFile": ("UnZipFile", 12)}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "version.dll", "msvcrt.dll", "advapi32.dll",
               "shell32.dll", "ntdll.dll", "bcrypt.dll"}

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run(objdump, *args):
    return subprocess.run([objdump, *args], check=True, capture_output=True,
                          text=True).stdout


def check_exports(private_headers):
    base_match = re.search(r"Ordinal Base (\d+)", private_headers)
    base = int(base_match.group(1)) if base_match else 1
    names_block = private_headers.split("[Ordinal/Name Pointer] Table", 1)
    if len(names_block) != 2:
        fail("no export name table")
        return {}, {}
    names = {}
    for line in names_block[1].splitlines()[1:]:
        m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
        if not m:
            break
        names[m.group(2)] = int(m.group(1)) + base
    if names != EXPORTS:
        fail(f"exports are {names}, expected {EXPORTS}")
    rvas = {}
    for m in re.finditer(r"\[\s*\d+\] \+base\[\s*(\d+)\] ([0-9a-f]+) Export RVA",
                         private_headers):
        rvas[int(m.group(1))] = int(m.group(2), 16)
    return names, rvas


def check_stdcall(objdump, dll, names, rvas, image_base):
    for export, (c_name, arg_bytes) in STDCALL.items():
        ordinal = names.get(export)
        if ordinal not in rvas:
            fail(f"{export}: no export address")
            continue
        start = image_base + rvas[ordinal]
        listing = run(objdump, "-d", f"--start-address={start:#x}",
                      f"--stop-address={start + 0x8000:#x}", dll)
        decorated = f"_{c_name}@{arg_bytes}"
        labels = re.findall(r"^[0-9a-f]+ <([^>]+)>:$", listing, re.M)
        if not labels or labels[0] != decorated:
            fail(f"{export}: export address holds {labels[:1]}, expected {decorated}")
            continue
        body = listing.split(f"<{decorated}>:", 1)[1]
        body = re.split(r"^[0-9a-f]+ <[^>]+>:$", body, maxsplit=1, flags=re.M)[0]
        rets = re.findall(r"\tret\s*(\$0x[0-9a-f]+)?", body)
        popped = {int(r[1:], 16) if r else 0 for r in rets}
        if not rets:
            fail(f"{export}: no return instruction found in {decorated}")
        elif popped != {arg_bytes}:
            fail(f"{export}: returns pop {sorted(popped)} bytes, expected {arg_bytes}")
        else:
            print(f"ok: {export} -> {decorated}, ret pops {arg_bytes} bytes")


def check_imports(private_headers):
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", private_headers)}
    foreign = dlls - SYSTEM_DLLS
    if foreign:
        fail(f"imports non-system DLLs {sorted(foreign)}")
    else:
        print(f"ok: imports only {sorted(dlls)}")


# ---- PE resource section -----------------------------------------------------------------

def read_pe(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<2xH12xH", data, pe + 4)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    image_base = (struct.unpack_from("<I", data, opt + 28)[0] if magic == 0x10B
                  else struct.unpack_from("<Q", data, opt + 24)[0])
    res_rva, res_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    table = []
    for i in range(sections):
        s = opt + opt_size + 40 * i
        vsize, vaddr, rsize, raw = struct.unpack_from("<IIII", data, s + 8)
        table.append((vaddr, max(vsize, rsize), raw))

    def offset(rva):
        for vaddr, size, raw in table:
            if vaddr <= rva < vaddr + size:
                return raw + rva - vaddr
        raise ValueError(f"RVA {rva:#x} outside every section")

    return data, image_base, res_rva, res_size, offset


def resource_entries(data, base, directory):
    named, ids = struct.unpack_from("<HH", data, base + directory + 12)
    for i in range(named + ids):
        ident, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
        yield ident, target


def version_resources(path):
    """Yields (language, bytes) of every RT_VERSION resource."""
    data, _, res_rva, res_size, offset = read_pe(path)
    if res_size == 0:
        return
    base = offset(res_rva)
    for type_id, type_dir in resource_entries(data, base, 0):
        if type_id != 16 or not type_dir & 0x80000000:
            continue
        for _, name_dir in resource_entries(data, base, type_dir & 0x7FFFFFFF):
            if not name_dir & 0x80000000:
                continue
            for language, leaf in resource_entries(data, base, name_dir & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(rva)
                yield language, data[start:start + size]


def parse_node(block, pos):
    """One version-info node: (key, value bytes, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", block, pos)
    end = pos + length
    key_end = pos + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[pos + 6:key_end].decode("utf-16-le")
    cursor = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = block[cursor:cursor + value_bytes]
    cursor = (cursor + value_bytes + 3) & ~3
    children = []
    while cursor < end:
        child = parse_node(block, cursor)
        children.append(child)
        cursor = (child[3] + 3) & ~3
    return key, value, children, end


def check_version(path):
    found = list(version_resources(path))
    if len(found) != 1:
        fail(f"{len(found)} version resources, expected 1")
        return
    language, block = found[0]
    if language != 0x0804:
        fail(f"version resource language {language:#06x}, expected 0x0804")
    key, value, children, _ = parse_node(block, 0)
    if key != "VS_VERSION_INFO":
        fail(f"root key {key!r}")
    signature, _, ms, ls = struct.unpack_from("<IIII", value, 0)
    if signature != 0xFEEF04BD or (ms, ls) != (0x00010000, 0):
        fail(f"fixed file info {signature:#x} {ms:#x}.{ls:#x}")
    by_key = {c[0]: c for c in children}
    tables = by_key.get("StringFileInfo", (None, None, [], 0))[2]
    if [t[0] for t in tables] != ["080403A8"]:
        fail(f"string tables {[t[0] for t in tables]}, expected ['080403A8']")
    else:
        strings = {s[0]: s[1].decode("utf-16-le").rstrip("\0") for s in tables[0][2]}
        if strings.get("FileVersion") != "1.0.0.0":
            fail(f"FileVersion {strings.get('FileVersion')!r}, expected '1.0.0.0'")
    variables = {v[0]: v[1] for v in by_key.get("VarFileInfo", (None, None, [], 0))[2]}
    if variables.get("Translation") != struct.pack("<HH", 0x0804, 936):
        fail(f"translation {variables.get('Translation')!r}, expected 0x0804/936")
    if not failures:
        print("ok: version resource 0x0804/936, \"080403A8\", FileVersion \"1.0.0.0\"")


def main():
    objdump, dll = sys.argv[1], sys.argv[2]
    stdcall = "--stdcall" in sys.argv[3:]
    headers = run(objdump, "-p", dll)
    names, rvas = check_exports(headers)
    if stdcall:
        image_base = int(re.search(r"ImageBase\s+([0-9a-f]+)", headers).group(1), 16)
        check_stdcall(objdump, dll, names, rvas, image_base)
    check_imports(headers)
    check_version(dll)
    if failures:
        print(f"{len(failures)} check(s) failed for {dll}")
        return 1
    print(f"all checks passed for {dll}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
