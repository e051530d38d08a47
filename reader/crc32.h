// crc32.h — the reader's own CRC-32 of the zip format (reflected polynomial 0xEDB88320).
//
// The register is passed in and returned: preset it to 0xFFFFFFFF and invert the final value.
// UpdateCrc uses the processor's carry-less multiply where it has one (platform/cpu_crc32.h)
// and slicing by eight (eight 256-entry tables, eight bytes per step) for the rest;
// UpdateCrcBytewise is the plain one-table form, kept as the reference and for tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::reader {

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t n);
uint32_t UpdateCrcBytewise(uint32_t crc, const uint8_t* bytes, size_t n);

}  // namespace kestrel::reader
