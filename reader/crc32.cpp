// crc32.cpp — CRC-32 by carry-less multiply where the processor has it, else by slicing by
// eight, with the one-table form as reference.
//
// Table k maps a byte to the CRC of that byte followed by k zero bytes, so eight input bytes
// fold into the register with eight independent lookups instead of a chain of eight.
#include "reader/crc32.h"

#include <array>

#include "platform/cpu_crc32.h"

namespace kestrel::reader {

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  }
  return t;
}

constexpr CrcTables kTables = MakeTables();

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t UpdateCrcBytewise(uint32_t crc, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ bytes[i]) & 0xFF];
  return crc;
}

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t n) {
  // Stored data and long matches make the CRC the larger part of decoding: the processor's
  // carry-less multiply takes the bulk where it can, slicing by eight the rest.
  static const bool clmul = os::HasClmulCrc32();
  if (clmul) {
    const size_t done = os::ClmulCrc32Blocks(crc, bytes, n);
    bytes += done;
    n -= done;
  }
  while (n >= 8) {
    const uint32_t lo = Load32(bytes) ^ crc;
    const uint32_t hi = Load32(bytes + 4);
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    bytes += 8;
    n -= 8;
  }
  return UpdateCrcBytewise(crc, bytes, n);
}

}  // namespace kestrel::reader
