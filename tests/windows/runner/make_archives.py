#!/usr/bin/env python3
"""Makes the files the Windows export tests work on, in OUTDIR (made afresh):
  isZip:
    deflated.zip  `zip` archive (deflated, with a directory)   -> zip
    stored.zip    `zip -0` archive                             -> zip
    sfx.exe       DOS stub whose image ends where a zip starts -> self-extracting zip
    stub.exe      the same stub followed by no archive         -> not a zip
    empty.zip     only an end-of-central-directory record      -> not a zip (no local header)
    plain.txt     text                                         -> not a zip
    nodot         a zip archive whose path has no "."          -> not a zip
    xxx….zip      the zip archive under a 240-letter name      -> not a zip (path too long)
    中文.zip      the zip archive under a code page 936 name   -> zip
    folder.d/     a directory with a "." in its name           -> not a zip
    folder/       a directory                                  -> not a zip
    nine.zip      the local header signature and 5 more bytes  -> not a zip (10 bytes needed)
    ten.zip       the signature and 6 more bytes               -> zip
  UnZipFile (each archive's entries are checked afterwards by check_extracted.py):
    python.zip    Python's zipfile: deflated, stored, empty file, directory entries
    cp936.zip     names in code page 936 (no UTF-8 flag), as a Chinese Windows writes them
    unicode.zip   Python's zipfile: names marked UTF-8 in Latin accents, CJK, Cyrillic,
                  Arabic and emoji (most have no form in code page 936)
    encrypted.zip a plain entry, an encrypted one, another plain one
    legacy/       the old-method archives (shrink, reduce, implode)
    floppy_unzip/ drive A: (drive/, empty) and, waiting in disks/1 and disks/2, a volume
                  set carrying big.zip (bigger than one floppy); volume.m01 is a copy of
                  its first volume for isZip (-> not a zip)
  ZipFile:
    src/          the tree to pack (a text file, an empty file in a subdirectory, a binary)
    src_unicode/  a tree whose names are CJK, Latin accents, Cyrillic, Arabic and emoji
    over.zip      an archive to be overwritten; over_orig.zip is its copy
    floppy_zip/   drive A: (drive/, empty) for the archive packed onto floppies
Usage: make_archives.py OUTDIR LEGACYDIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

out, legacy = sys.argv[1], sys.argv[2]
shutil.rmtree(out, ignore_errors=True)


def path(*parts):
    return os.path.join(out, *parts)


def write(name, data):
    os.makedirs(os.path.dirname(path(name)), exist_ok=True)
    with open(path(name), "wb") as f:
        f.write(data)


rng = random.Random(936)
write("src/hello.txt", b"hello, windows\n" * 200)
write("src/sub/empty.txt", b"")
write("src/sub/noise.bin", bytes(rng.getrandbits(8) for _ in range(40000)))
for name in ("中文.txt", "Привет.txt", "naïve/résumé.txt", "مرحبا/سلام.txt", "😀 smile.txt"):
    write("src_unicode/" + name, (name + "\n").encode() * 30)
os.makedirs(path("folder.d"))
os.makedirs(path("folder"))
os.makedirs(path("out"))
subprocess.run(["zip", "-qr", "../deflated.zip", "."], cwd=path("src"), check=True)
subprocess.run(["zip", "-qr0", "../stored.zip", "."], cwd=path("src"), check=True)

# A DOS executable header: 0x30 bytes on the last of 2 pages -> image ends at 512 + 0x30.
image_end = 512 + 0x30
stub = bytearray(image_end)
stub[0:2] = b"MZ"
struct.pack_into("<HH", stub, 2, 0x30, 2)
archive = open(path("deflated.zip"), "rb").read()
write("sfx.exe", bytes(stub) + archive)
write("stub.exe", bytes(stub) + b"no archive here" * 4)
write("empty.zip", b"PK\x05\x06" + bytes(18))
write("plain.txt", b"PK is not enough\n")
write("nine.zip", b"PK\x03\x04" + bytes(5))
write("ten.zip", b"PK\x03\x04" + bytes(6))
shutil.copy(path("deflated.zip"), path("nodot"))
shutil.copy(path("deflated.zip"), path("x" * 240 + ".zip"))  # too long a path for isZip
shutil.copy(path("deflated.zip"), path("中文.zip"))

with zipfile.ZipFile(path("python.zip"), "w") as z:
    z.writestr(zipfile.ZipInfo("docs/"), b"")
    z.writestr("docs/readme.txt", b"deflated by python\n" * 500, zipfile.ZIP_DEFLATED)
    z.writestr("docs/stored.bin", bytes(rng.getrandbits(8) for _ in range(5000)),
               zipfile.ZIP_STORED)
    z.writestr("empty.dat", b"", zipfile.ZIP_DEFLATED)
    z.writestr(zipfile.ZipInfo("docs/deeper/"), b"")
    z.writestr("docs/deeper/level9.txt", b"abcabcabd" * 3000, zipfile.ZIP_DEFLATED,
               compresslevel=9)


# Names in code page 936: files whose host names are the GBK bytes themselves, packed by
# `zip`, which stores such names as they are, with no UTF-8 flag.
gbk = path("gbk").encode()
os.makedirs(os.path.join(gbk, "中文目录".encode("gbk")))
with open(os.path.join(gbk, "中文目录".encode("gbk"), "说明.txt".encode("gbk")), "wb") as f:
    f.write("压缩包里的中文文件\n".encode("gbk") * 100)
with open(os.path.join(gbk, "数据.bin".encode("gbk")), "wb") as f:
    f.write(bytes(range(256)) * 8)
subprocess.run(["zip", "-qr", "../cp936.zip", "."], cwd=gbk, check=True)

# Names marked UTF-8 (bit 11), as every current tool writes them.
with zipfile.ZipFile(path("unicode.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for name in ("naïve/résumé.txt", "中文/说明.txt", "Привет.txt", "مرحبا/سلام.txt",
                 "😀 smile.txt", "mixed 中文 😀/ελληνικά ñ.txt"):
        z.writestr(name, (name + "\n").encode() * 40)

write("plain/first.txt", b"first, not encrypted\n" * 50)
write("plain/secret.txt", b"only with the password\n" * 50)
write("plain/last.txt", b"last, not encrypted\n" * 50)
for name, extra in (("first.txt", []), ("secret.txt", ["-P", "kestrel"]), ("last.txt", [])):
    subprocess.run(["zip", "-q"] + extra + ["../encrypted.zip", name], cwd=path("plain"),
                   check=True)

shutil.copytree(legacy, path("legacy"), ignore=shutil.ignore_patterns("*.md"))

# big.zip: a stored random file larger than a floppy, and a text file.
with zipfile.ZipFile(path("big.zip"), "w") as z:
    z.writestr("random.bin", bytes(rng.getrandbits(8) for _ in range(1_600_000)),
               zipfile.ZIP_STORED)
    z.writestr("notes.txt", b"carried over two floppies\n" * 1000, zipfile.ZIP_DEFLATED)
# The volume set format: "xml", the volume number, and on the first volume the total size,
# the data bytes per volume and the carried file's name; then the data.
big = open(path("big.zip"), "rb").read()
volume = 1400 * 1024
name = b"big.zip"
write("floppy_unzip/disks/1/big.m01", b"xml" + struct.pack("<iiii", 1, len(big), volume, len(name)) + name
      + big[:volume])
write("floppy_unzip/disks/2/big.m02", b"xml" + struct.pack("<i", 2) + big[volume:])
assert len(big) <= 2 * volume
shutil.copy(path("floppy_unzip/disks/1/big.m01"), path("volume.m01"))
for floppy in ("floppy_unzip", "floppy_zip"):
    os.makedirs(path(floppy, "drive"))

with zipfile.ZipFile(path("over.zip"), "w") as z:
    z.writestr("old.txt", b"an entry the new archive must not keep\n")
shutil.copy(path("over.zip"), path("over_orig.zip"))
