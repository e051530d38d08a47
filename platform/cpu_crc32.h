// cpu_crc32.h — the zip CRC-32 (reflected polynomial 0xEDB88320) folded with the processor's
// carry-less multiply, for the processors that have one. archive/crc32.h chooses it at
// start-up and keeps the table folds as the portable fallback.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::os {

// True when this processor runs ClmulCrc32Blocks (x86 with PCLMULQDQ and SSE4.1).
bool HasClmulCrc32();

// Folds the leading bytes of p[0..n) into reg, as many as whole 16-byte blocks allow once
// there are at least 64, and returns how many it took (0 when n < 64); the caller folds the
// rest. reg is the running register, as the table step uses it. Only when HasClmulCrc32().
size_t ClmulCrc32Blocks(uint32_t& reg, const uint8_t* p, size_t n);

}  // namespace kestrel::os
