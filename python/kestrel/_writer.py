"""Writing archives: kestrel.create(path) and the Writer it returns.

Nothing reaches the archive until the writer is closed without an error: the library then
builds the new archive beside the old one and puts it in place whole. Leaving the with-block
through an exception discards everything added.
"""
import ctypes
import os

from . import _library as c
from ._errors import check

_WRITE_UPDATE, _WRITE_OVERWRITE = 1, 2


class Writer:
    def __init__(self, path, level=6, password=None, update=False, threads=1):
        self._handle = None
        handle = c.c_void_p()
        mode = _WRITE_UPDATE if update else _WRITE_OVERWRITE
        result = c.lib.kestrel_writer_open(os.fsencode(path), mode, ctypes.byref(handle))
        check(result, lambda: c.lib.kestrel_writer_error(None))
        self._handle = handle.value
        try:
            self._check(c.lib.kestrel_writer_set_level(self._handle, level))
            self._check(c.lib.kestrel_writer_set_threads(self._handle, threads))
            if password is not None:
                secret = password.encode() if isinstance(password, str) else bytes(password)
                self._check(c.lib.kestrel_writer_set_password(self._handle, secret))
        except BaseException:
            self.discard()
            raise

    def _check(self, result):
        return check(result, lambda: c.lib.kestrel_writer_error(self._handle))

    def _live(self):
        if not self._handle:
            raise ValueError("kestrel: the writer is closed")
        return self._handle

    def add(self, path, recurse=True):
        """Adds a file, or a directory with (recurse) everything below it, stored under its
        own name: add("/data/tree") gives "tree/", "tree/a.txt", ..."""
        path = os.path.abspath(os.fsdecode(path))
        options = c.AddOptions()
        options.recurse = int(recurse)
        options.base_dir = os.fsencode(os.path.dirname(path))
        self._check(c.lib.kestrel_writer_add_path(self._live(), os.fsencode(path),
                                                  ctypes.byref(options)))

    def write(self, name, data):
        """Adds data (bytes, or str stored as UTF-8) as the entry name ('/' separators)."""
        if isinstance(data, str):
            data = data.encode()
        data = bytes(data)
        self._check(c.lib.kestrel_writer_add_memory(self._live(), name.encode(), data,
                                                    len(data)))

    def close(self):
        """Builds the archive from everything added, then frees the writer."""
        if not self._handle:
            return
        try:
            self._check(c.lib.kestrel_writer_commit(self._handle, None, None))
        finally:
            self.discard()

    def discard(self):
        """Frees the writer without touching the archive."""
        if self._handle:
            c.lib.kestrel_writer_close(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, exc_type, *exc):
        if exc_type is None:
            self.close()
        else:
            self.discard()

    def __del__(self):
        self.discard()


def create(path, level=6, password=None, update=False, threads=1):
    """A writer for the archive at path: a new archive (replacing any file there when it is
    complete), or with update=True the existing archive with entries added or replaced.
    threads: how many threads read and compress the added files (0: one per core); the
    archive is the same byte for byte whatever the count."""
    return Writer(path, level, password, update, threads)
