// crc32.cpp — the reader's CRC-32 entry points over the library's one CRC implementation
// (archive/crc32.h: carry-less multiply where the processor has it, slicing by eight, table).
#include "reader/crc32.h"

#include "archive/crc32.h"

namespace kestrel::reader {

uint32_t UpdateCrcBytewise(uint32_t crc, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = archive::Crc32Step(crc, bytes[i]);
  return crc;
}

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t n) {
  return archive::Crc32Fold(crc, bytes, n);
}

}  // namespace kestrel::reader
