// crc32.h — the zip CRC-32 (reflected polynomial 0xEDB88320) of the component side, for the
// zip operation's running CRC and the traditional cipher's key updates.
//
// Crc32Fold folds bytes into a running register (preset to all ones by the caller, inverted
// at the end by the caller): by carry-less multiplication where the processor has it
// (platform/cpu_crc32.h), else eight bytes per step with the slicing-by-8 tables; the plain
// 256-entry table remains for single steps and as a fallback that tests can force.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::archive {

// The 256-entry table: entry i is the register after eight steps from i.
const uint32_t* Crc32Table();

// One byte step: table[(reg ^ b) & 0xFF] ^ (reg >> 8).
inline uint32_t Crc32Step(uint32_t reg, uint8_t b) {
  return Crc32Table()[(reg ^ b) & 0xFF] ^ (reg >> 8);
}

// Folds n bytes into reg and returns the new register; same result as n Crc32Step calls.
uint32_t Crc32Fold(uint32_t reg, const void* data, size_t n);

enum class Crc32Method { Clmul, Slicing8, Table };
// Chooses how Crc32Fold works (Clmul by default where the processor has it, else Slicing8;
// asking for Clmul without it gives Slicing8). Meant for tests; not thread-safe.
void SetCrc32Method(Crc32Method method);
Crc32Method GetCrc32Method();

}  // namespace kestrel::archive
