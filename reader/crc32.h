// crc32.h — the reader's CRC-32 of the zip format (reflected polynomial 0xEDB88320).
//
// The register is passed in and returned: preset it to 0xFFFFFFFF and invert the final value.
// UpdateCrc is the fast fold of archive/crc32.h; UpdateCrcBytewise steps one byte at a time,
// kept as the reference for tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::reader {

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t n);
uint32_t UpdateCrcBytewise(uint32_t crc, const uint8_t* bytes, size_t n);

}  // namespace kestrel::reader
