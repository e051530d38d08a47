// crc32.cpp — table construction and the byte-wise and slicing-by-8 folds of the zip CRC-32.
#include "archive/crc32.h"

#include <array>

#include "platform/cpu_crc32.h"

namespace kestrel::archive {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  // t[k][i]: the register contribution of byte i followed by k zero bytes.
  for (uint32_t i = 0; i < 256; ++i) {
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u && kTables[0][255] == 0x2D02EF8Du);

Crc32Method Best() { return os::HasClmulCrc32() ? Crc32Method::Clmul : Crc32Method::Slicing8; }

Crc32Method g_method = Best();

uint32_t FoldTable(uint32_t reg, const uint8_t* p, size_t n) {
  const auto& t = kTables[0];
  while (n--) reg = t[(reg ^ *p++) & 0xFF] ^ (reg >> 8);
  return reg;
}

uint32_t FoldSlicing8(uint32_t reg, const uint8_t* p, size_t n) {
  while (n >= 8) {
    // Little-endian assembly of the next eight bytes, whatever the host order.
    uint32_t lo = reg ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                         uint32_t(p[3]) << 24);
    uint32_t hi = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
    reg = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  return FoldTable(reg, p, n);
}

}  // namespace

const uint32_t* Crc32Table() { return kTables[0].data(); }

uint32_t Crc32Fold(uint32_t reg, const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  switch (g_method) {
    case Crc32Method::Clmul: {
      const size_t done = os::ClmulCrc32Blocks(reg, p, n);
      return FoldSlicing8(reg, p + done, n - done);
    }
    case Crc32Method::Slicing8:
      return FoldSlicing8(reg, p, n);
    case Crc32Method::Table:
      break;
  }
  return FoldTable(reg, p, n);
}

void SetCrc32Method(Crc32Method method) {
  g_method = method == Crc32Method::Clmul ? Best() : method;
}
Crc32Method GetCrc32Method() { return g_method; }

}  // namespace kestrel::archive
