"""Finds and loads libkestrel and declares the C functions the module calls.

The library is looked for, in order: the file KESTREL_LIBRARY names; a libkestrel.so* beside
this module (a copy shipped with it); the system loader (libkestrel.so.1, then the name
ctypes.util.find_library gives).
"""
import ctypes
import ctypes.util
import glob
import os

SONAME = "libkestrel.so.1"


def _load():
    explicit = os.environ.get("KESTREL_LIBRARY")
    if explicit:
        return ctypes.CDLL(explicit)
    here = os.path.dirname(os.path.abspath(__file__))
    beside = sorted(glob.glob(os.path.join(here, "libkestrel.so*")))
    if beside:
        return ctypes.CDLL(beside[0])
    try:
        return ctypes.CDLL(SONAME)
    except OSError:
        found = ctypes.util.find_library("kestrel")
        if not found:
            raise OSError("libkestrel not found: install Kestrel, put libkestrel.so beside "
                          "the kestrel module, or set KESTREL_LIBRARY to its path")
        return ctypes.CDLL(found)


lib = _load()
lib.kestrel_version.restype = ctypes.c_char_p
_major, _minor = (int(part) for part in lib.kestrel_version().decode().split(".")[:2])
if _major != 1 or _minor < 1:
    raise ImportError(f"{lib._name} is Kestrel {_major}.{_minor}; this module needs 1.x, x >= 1")

c_char_p, c_int, c_void_p, c_size_t = ctypes.c_char_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_size_t
c_uint16, c_uint32, c_uint64, c_int64 = (ctypes.c_uint16, ctypes.c_uint32, ctypes.c_uint64,
                                         ctypes.c_int64)


class Entry(ctypes.Structure):
    """struct kestrel_entry."""
    _fields_ = [("index", c_uint64), ("name", c_char_p), ("comment", c_char_p),
                ("compressed_size", c_uint64), ("uncompressed_size", c_uint64),
                ("crc32", c_uint32), ("method", c_uint16), ("flags", c_uint16),
                ("mtime", c_int64), ("dos_attributes", c_uint32), ("unix_mode", c_uint32),
                ("encrypted", c_int), ("is_directory", c_int), ("is_symlink", c_int)]


ENTRY_DONE_FN = ctypes.CFUNCTYPE(None, c_void_p, ctypes.POINTER(Entry), c_int, c_char_p,
                                 c_char_p)
ASK_FN = ctypes.CFUNCTYPE(c_int, c_void_p, c_char_p, c_char_p, c_char_p, c_size_t)
WRITE_FN = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p, c_size_t)


class ExtractOptions(ctypes.Structure):
    """struct kestrel_extract_options."""
    _fields_ = [("overwrite", c_int), ("ask", ASK_FN), ("ask_context", c_void_p),
                ("junk_paths", c_int), ("test_only", c_int),
                ("include", ctypes.POINTER(c_char_p)), ("include_count", c_size_t),
                ("exclude", ctypes.POINTER(c_char_p)), ("exclude_count", c_size_t),
                ("entry_done", ENTRY_DONE_FN), ("entry_context", c_void_p)]


class AddOptions(ctypes.Structure):
    """struct kestrel_add_options."""
    _fields_ = [("recurse", c_int), ("junk_paths", c_int), ("no_dir_entries", c_int),
                ("base_dir", c_char_p), ("include", ctypes.POINTER(c_char_p)),
                ("exclude", ctypes.POINTER(c_char_p))]


def _declare(name, restype, *argtypes):
    function = getattr(lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)


_declare("kestrel_result_text", c_char_p, c_int)
_declare("kestrel_reader_new", c_void_p)
_declare("kestrel_reader_close", None, c_void_p)
_declare("kestrel_reader_error", c_char_p, c_void_p)
_declare("kestrel_reader_open", c_int, c_void_p, c_char_p)
_declare("kestrel_reader_set_password", c_int, c_void_p, c_char_p)
_declare("kestrel_reader_set_threads", c_int, c_void_p, c_int)
_declare("kestrel_reader_comment", c_int, c_void_p, ctypes.POINTER(c_char_p))
_declare("kestrel_reader_count", c_int, c_void_p, ctypes.POINTER(c_uint64))
_declare("kestrel_reader_entry", c_int, c_void_p, c_uint64, ctypes.POINTER(Entry))
_declare("kestrel_reader_find", c_int, c_void_p, c_char_p, ctypes.POINTER(Entry))
_declare("kestrel_reader_extract_to_callback", c_int, c_void_p, c_uint64, WRITE_FN, c_void_p)
_declare("kestrel_reader_extract_all", c_int, c_void_p, c_char_p,
         ctypes.POINTER(ExtractOptions))
_declare("kestrel_writer_open", c_int, c_char_p, c_int, ctypes.POINTER(c_void_p))
_declare("kestrel_writer_close", None, c_void_p)
_declare("kestrel_writer_error", c_char_p, c_void_p)
_declare("kestrel_writer_set_level", c_int, c_void_p, c_int)
_declare("kestrel_writer_set_threads", c_int, c_void_p, c_int)
_declare("kestrel_writer_set_password", c_int, c_void_p, c_char_p)
_declare("kestrel_writer_add_path", c_int, c_void_p, c_char_p, ctypes.POINTER(AddOptions))
_declare("kestrel_writer_add_memory", c_int, c_void_p, c_char_p, c_void_p, c_size_t)
_declare("kestrel_writer_commit", c_int, c_void_p, c_void_p, c_void_p)
