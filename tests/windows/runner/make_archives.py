#!/usr/bin/env python3
"""Makes the files the Windows export tests ask isZip about, in OUTDIR:
  deflated.zip  `zip` archive (deflated, with a directory)   -> zip
  stored.zip    `zip -0` archive                             -> zip
  sfx.exe       DOS stub whose image ends where a zip starts -> self-extracting zip
  stub.exe      the same stub followed by no archive         -> not a zip
  empty.zip     only an end-of-central-directory record      -> not a zip (no local header)
  plain.txt     text                                         -> not a zip
  nodot         a zip archive whose path has no "."          -> not a zip
  folder.d/     a directory                                  -> not a zip
  xxx…x.zip     a zip archive named with 240 "x": its full path is too long -> not a zip
  中文.zip      a zip archive with a name in code page 936   -> zip
Usage: make_archives.py OUTDIR
"""
import os
import shutil
import struct
import subprocess
import sys

out = sys.argv[1]
shutil.rmtree(out, ignore_errors=True)
os.makedirs(os.path.join(out, "src", "sub"))
os.makedirs(os.path.join(out, "folder.d"))
with open(os.path.join(out, "src", "hello.txt"), "w") as f:
    f.write("hello, windows\n" * 200)
with open(os.path.join(out, "src", "sub", "empty.txt"), "w"):
    pass
subprocess.run(["zip", "-qr", "../deflated.zip", "."], cwd=os.path.join(out, "src"), check=True)
subprocess.run(["zip", "-qr0", "../stored.zip", "."], cwd=os.path.join(out, "src"), check=True)

# A DOS executable header: 0x30 bytes on the last of 2 pages -> image ends at 512 + 0x30.
image_end = 512 + 0x30
stub = bytearray(image_end)
stub[0:2] = b"MZ"
struct.pack_into("<HH", stub, 2, 0x30, 2)
archive = open(os.path.join(out, "deflated.zip"), "rb").read()
with open(os.path.join(out, "sfx.exe"), "wb") as f:
    f.write(bytes(stub) + archive)
with open(os.path.join(out, "stub.exe"), "wb") as f:
    f.write(bytes(stub) + b"no archive here" * 4)
with open(os.path.join(out, "empty.zip"), "wb") as f:
    f.write(b"PK\x05\x06" + bytes(18))
with open(os.path.join(out, "plain.txt"), "w") as f:
    f.write("PK is not enough\n")
shutil.copy(os.path.join(out, "deflated.zip"), os.path.join(out, "nodot"))
shutil.copy(os.path.join(out, "deflated.zip"), os.path.join(out, "x" * 240 + ".zip"))
shutil.copy(os.path.join(out, "deflated.zip"), os.path.join(out, "中文.zip"))
