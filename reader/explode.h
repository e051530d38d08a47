// explode.h — decoder for imploded entries (method 6): Shannon-Fano coded literals, lengths and
// distances over a 4 KB or 8 KB sliding dictionary, in the four variants the entry's flags pick.
#pragma once

namespace kestrel::reader {

// Decodes the current entry of State() (positioned at its compressed data) into the window,
// flushing it to the output file. Flag bit 2: literal tree and 3-byte minimum matches (else raw
// literals and 2-byte minimum); flag bit 1: 8 KB dictionary (else 4 KB). Returns ExtractOk,
// ExtractWriteError, ExtractReadError (input ran out), ExtractFormatError (bad tree or code) or
// ExtractCancelled. Not re-entrant: it runs inside the one extraction of the driver.
int Explode();

}  // namespace kestrel::reader
