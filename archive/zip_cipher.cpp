// zip_cipher.cpp — CRC-32 table and the traditional cipher's key schedule.
#include "archive/zip_cipher.h"

#include <array>

namespace kestrel::archive {

namespace {

std::array<uint32_t, 256> BuildTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

}  // namespace

const uint32_t* ZipCrcTable() {
  static const std::array<uint32_t, 256> table = BuildTable();
  return table.data();
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t n) {
  return Crc32Fold(crc, data, n);
}

void TZipKeys::InitKeys(const std::string& password) {
  k0 = 0x12345678u;
  k1 = 0x23456789u;
  k2 = 0x34567890u;
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void TZipKeys::UpdateKeys(uint8_t b) {
  k0 = Crc32Step(k0, b);
  k1 = (k1 + (k0 & 0xFF)) * 0x08088405u + 1;
  k2 = Crc32Step(k2, static_cast<uint8_t>(k1 >> 24));
}

uint8_t TZipKeys::KeyStreamByte() const {
  uint16_t t = static_cast<uint16_t>((k2 & 0xFFFF) | 2);
  return static_cast<uint8_t>((static_cast<uint32_t>(t) * (t ^ 1u)) >> 8);
}

uint8_t TZipKeys::EncryptByte(uint8_t plain) {
  uint8_t k = KeyStreamByte();
  UpdateKeys(plain);
  return plain ^ k;
}

void TZipKeys::EncryptBuffer(uint8_t* buffer, size_t n) {
  for (size_t i = 0; i < n; ++i) buffer[i] = EncryptByte(buffer[i]);
}

void TZipKeys::FoldCrc(const uint8_t* buffer, size_t n) { crc = Crc32Update(crc, buffer, n); }

}  // namespace kestrel::archive
