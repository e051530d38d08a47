// deflate_io.h — the seam between the Deflate compressor and the zip operation that feeds it.
//
// The compressor (writer/deflate.h) reads the file through a DeflateSource and writes the
// compressed stream through a DeflateSink; the zip operation implements both on TLynZip:
//
//   ReadInput(buffer, size) -> count
//     Fills up to `size` bytes (1 to 65534) at `buffer` from the source file and returns how
//     many it placed. 0 means end of input. A count larger than `size` (such as the legacy
//     error value 0xFFFF) is also taken as end of input. The zip operation's ReadInput reports
//     progress and folds the bytes into the entry's CRC-32 here. The compressor asks for 32768
//     bytes first and then for whatever room the window has; it expects full reads until the
//     end of the file (a file read gives them), and the stream it produces for a given input
//     and level is fixed under that condition.
//
//   WriteOutput(buffer, size)
//     Takes all `size` bytes (1 or more) of compressed output. They lie in the compressor's own
//     output buffer, never in its window, so the sink may change them in place (encryption)
//     before it writes them. The sink writes to the archive (or the per-entry temporary file),
//     processes window messages, and throws when it cannot write everything (ENotEnoughRoom)
//     or when the user cancels (EUserCanceled).
//
// Errors: neither routine reports failure through its result; they throw, and the compressor
// lets the exception pass untouched (it holds no resources outside its own object, which stays
// reusable for the next file). Threading: one compression at a time per Deflater, on the
// caller's thread; the source and sink are called only from inside Deflater::deflate.
#pragma once

#include <cstdint>

namespace kestrel::writer {

class DeflateSource {
 public:
  virtual ~DeflateSource() = default;
  virtual uint32_t ReadInput(uint8_t* buffer, uint32_t size) = 0;
};

class DeflateSink {
 public:
  virtual ~DeflateSink() = default;
  virtual void WriteOutput(uint8_t* buffer, uint32_t size) = 0;
};

// General-purpose flag bits that the compressor sets in the entry's header.
inline constexpr uint16_t kFlagMaximumCompression = 0x0002;  // levels 8 and 9
inline constexpr uint16_t kFlagFastCompression = 0x0004;     // levels 1 and 2

// What the zip operation copies into the entry's header after deflate() returns:
//   header.method  = method;
//   header.flags  |= flagBits;
//   header.internal attributes = internalAttributes;
//   header.compressed size = compressedSize (plus 12 when encrypted).
struct DeflateResult {
  uint64_t compressedSize = 0;     // bytes handed to WriteOutput for this file
  uint64_t uncompressedSize = 0;   // bytes taken from ReadInput
  uint16_t method = 8;             // 8 deflated; 0 when the whole file went out unchanged
  uint16_t flagBits = 0;           // kFlagFastCompression, kFlagMaximumCompression or 0
  uint16_t internalAttributes = 0; // 1 text, 0 binary, decided from the first block
};

}  // namespace kestrel::writer
