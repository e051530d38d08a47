// inflate.h — decoder for compression method 8, a raw Deflate stream (RFC 1951).
#pragma once

namespace kestrel::reader {

// Results of Inflate.
enum InflateResult : int {
  InflateOk = 0,
  InflateBadHeader = 1,     // a repeat code runs past the code lengths of a dynamic block
  InflateWriteFailed = 2,
  InflateInputExhausted = 3,
  InflateInvalidData = 4,
  InflateCancelled = 5,
};

// Decodes the entry's Deflate stream from the driver's input (State(), FillInput) to its
// output (WriteOutput), folding every byte into the running CRC. On return the bit reader
// of State() stands just behind the stream's last code, so a data descriptor can be read.
int Inflate();

}  // namespace kestrel::reader
