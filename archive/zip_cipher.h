// zip_cipher.h — the traditional zip cipher's key registers and primitives, and the
// component's own CRC-32 table.
//
// The component base holds one TZipKeys; the writer initialises it from the password for
// each entry and enciphers the encryption header and the entry data through it. The running
// CRC register folds the source bytes while they are read for compression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/crc32.h"

namespace kestrel::archive {

// The zip CRC-32 table (reflected polynomial 0xEDB88320), built once.
const uint32_t* ZipCrcTable();
// One table step, Crc32Step(crc, b), comes from archive/crc32.h (the same table).
// Folds n bytes into a running (not inverted) CRC register.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t n);

class TZipKeys {
 public:
  uint32_t k0 = 0x12345678u;
  uint32_t k1 = 0x23456789u;
  uint32_t k2 = 0x34567890u;
  uint32_t crc = 0xFFFFFFFFu;  // running CRC register used while an entry is read

  // Resets the keys and runs UpdateKeys over each password byte, as stored (no conversion).
  void InitKeys(const std::string& password);
  void UpdateKeys(uint8_t b);
  uint8_t KeyStreamByte() const;
  // Enciphers one plain byte and advances the keys with it.
  uint8_t EncryptByte(uint8_t plain);
  void EncryptBuffer(uint8_t* buffer, size_t n);
  // crc = Crc32Step(crc, byte) over the n bytes.
  void FoldCrc(const uint8_t* buffer, size_t n);
};

}  // namespace kestrel::archive
