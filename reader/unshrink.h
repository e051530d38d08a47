// unshrink.h — decoder for shrunk entries (method 1): dynamic LZW with 9- to 13-bit codes and
// partial clearing of the code table.
#pragma once

namespace kestrel::reader {

// Decodes the current entry of State() (positioned at its compressed data), using the window
// for its tables and output buffer. Returns ExtractOk, ExtractWriteError, ExtractReadError
// (input ran out), ExtractFormatError (invalid code stream), ExtractCancelled, or
// ExtractUnsupported when the compressed size is unknown (a shrunk stream has no end code).
int Unshrink();

}  // namespace kestrel::reader
