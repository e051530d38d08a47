"""Zip archives through Kestrel's library (libkestrel), with ctypes.

    import kestrel
    with kestrel.open("in.zip") as archive:
        for entry in archive:
            print(entry.name, entry.size)
        data = archive.read("docs/readme.txt")
        archive.extractall("out")
    with kestrel.create("new.zip", level=9) as writer:
        writer.add("tree")
        writer.write("notes.txt", b"hello")

Failures raise KestrelError with the library's result code and message.
"""
from ._errors import KestrelError
from ._library import lib as _lib
from ._reader import Archive, EntryInfo, open
from ._writer import Writer, create

__all__ = ["Archive", "EntryInfo", "KestrelError", "Writer", "create", "open", "version"]


def version():
    """The loaded library's version, "major.minor.patch"."""
    return _lib.kestrel_version().decode()
