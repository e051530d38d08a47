"""The exception the module raises, carrying the library's result code and message."""
from ._library import lib

# kestrel_result values, for KestrelError.code.
OK, END = 0, 1
E_INVALID, E_IO, E_NOT_FOUND, E_NOT_ZIP, E_FORMAT, E_UNSUPPORTED, E_PASSWORD = range(-1, -8, -1)
E_UNSAFE, E_EXISTS, E_CANCELLED, E_CALLBACK, E_BUFFER, E_NOMEM, E_LIMIT = range(-8, -15, -1)
E_OVERLAP, E_DAMAGED = -15, -16


class KestrelError(Exception):
    """A failed library call: code is the kestrel_result, message the library's explanation."""

    def __init__(self, code, message):
        self.code = code
        self.message = message or lib.kestrel_result_text(code).decode()
        super().__init__(self.message)


def check(result, error_text):
    """Raises KestrelError for a failure result; error_text() gives the handle's message."""
    if result < 0:
        raise KestrelError(result, error_text().decode("utf-8", "replace"))
    return result
