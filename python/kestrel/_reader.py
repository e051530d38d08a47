"""Reading archives: kestrel.open(path) and the Archive it returns."""
import ctypes
import datetime
import os
from dataclasses import dataclass

from . import _library as c
from ._errors import check

_OVERWRITE_ALWAYS = 1


@dataclass(frozen=True)
class EntryInfo:
    """One entry of an archive, as its central directory describes it."""
    name: str               # '/' separators; a directory's name ends in '/'
    size: int
    compressed_size: int
    crc32: int
    method: int             # 0 stored, 1 shrunk, 2-5 reduced, 6 imploded, 8 deflated
    mtime: datetime.datetime
    is_dir: bool
    encrypted: bool
    comment: str

    @classmethod
    def _from(cls, entry):
        return cls(entry.name.decode(), entry.uncompressed_size, entry.compressed_size,
                   entry.crc32, entry.method, datetime.datetime.fromtimestamp(entry.mtime),
                   bool(entry.is_directory), bool(entry.encrypted), entry.comment.decode())


def _pattern_of_name(name):
    """A pattern matching exactly name: wildcard characters in it stand for themselves."""
    return "".join(f"[{ch}]" if ch in "*?[" else ch for ch in name)


class Archive:
    """An open archive; use as a context manager or call close()."""

    def __init__(self, path, password=None):
        self._handle = c.lib.kestrel_reader_new()
        if not self._handle:
            raise MemoryError("kestrel: no memory for a reader")
        try:
            self._check(c.lib.kestrel_reader_open(self._handle, os.fsencode(path)))
            if password is not None:
                self._check(c.lib.kestrel_reader_set_password(self._handle, _bytes(password)))
        except BaseException:
            self.close()
            raise

    def _check(self, result):
        return check(result, lambda: c.lib.kestrel_reader_error(self._handle))

    def _live(self):
        if not self._handle:
            raise ValueError("kestrel: the archive is closed")
        return self._handle

    def close(self):
        if self._handle:
            c.lib.kestrel_reader_close(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()

    def __len__(self):
        count = c.c_uint64()
        self._check(c.lib.kestrel_reader_count(self._live(), ctypes.byref(count)))
        return count.value

    def __iter__(self):
        """The entries in the order of the central directory."""
        return iter(self.entries())

    def entries(self):
        entry = c.Entry()
        result = []
        for index in range(len(self)):
            self._check(c.lib.kestrel_reader_entry(self._live(), index, ctypes.byref(entry)))
            result.append(EntryInfo._from(entry))
        return result

    def names(self):
        return [entry.name for entry in self.entries()]

    @property
    def comment(self):
        text = c.c_char_p()
        self._check(c.lib.kestrel_reader_comment(self._live(), ctypes.byref(text)))
        return text.value.decode()

    def _find(self, name):
        entry = c.Entry()
        self._check(c.lib.kestrel_reader_find(self._live(), name.encode(), ctypes.byref(entry)))
        return entry

    def getinfo(self, name):
        return EntryInfo._from(self._find(name))

    def read(self, name):
        """The entry's data, decoded and checked against its CRC."""
        index = self._find(name).index
        pieces = []

        def write(_context, data, size):
            pieces.append(ctypes.string_at(data, size))
            return 0

        callback = c.WRITE_FN(write)
        self._check(c.lib.kestrel_reader_extract_to_callback(self._live(), index, callback, None))
        return b"".join(pieces)

    def extract(self, name, dest="."):
        """Writes the entry below dest (its directories created) and returns the path."""
        self._find(name)  # KestrelError(E_NOT_FOUND) for a name the archive does not have
        written = self._extract(dest, [_pattern_of_name(name)])
        return written[0] if written else os.path.join(dest, *name.split("/"))

    def extractall(self, dest=".", threads=1):
        """Writes every entry below dest; existing files are replaced. Returns the paths.

        threads: entries are decoded and written on that many threads (0: one per processor)
        with the outcome of one thread: the same files, paths, order and errors."""
        return self._extract(dest, [], threads)

    def _extract(self, dest, patterns, threads=1):
        self._check(c.lib.kestrel_reader_set_threads(self._live(), threads))
        written = []

        def done(_context, _entry, result, _message, path):
            if result == 0 and path:
                written.append(os.fsdecode(path))

        encoded = [p.encode() for p in patterns]
        options = c.ExtractOptions()
        options.overwrite = _OVERWRITE_ALWAYS
        if encoded:
            options.include = (c.c_char_p * len(encoded))(*encoded)
            options.include_count = len(encoded)
        options.entry_done = c.ENTRY_DONE_FN(done)
        self._check(c.lib.kestrel_reader_extract_all(self._live(), os.fsencode(dest),
                                                     ctypes.byref(options)))
        return written


def _bytes(text):
    return text.encode() if isinstance(text, str) else bytes(text)


def open(path, password=None):  # noqa: A001 - the module's documented name
    """Opens the zip archive at path for reading."""
    return Archive(path, password)
