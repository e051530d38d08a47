// The zip CRC-32: known values, and the carry-less multiply and slicing-by-8 folds against the
// plain table fold on every length and alignment.
#include <gtest/gtest.h>

#include <vector>

#include "archive/crc32.h"

namespace kestrel::archive {
namespace {

uint32_t Crc(const std::string& s) { return ~Crc32Fold(0xFFFFFFFFu, s.data(), s.size()); }

TEST(Crc32, KnownValuesWithBothMethods) {
  for (auto method : {Crc32Method::Clmul, Crc32Method::Slicing8, Crc32Method::Table}) {
    SetCrc32Method(method);
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc(""), 0u);
    EXPECT_EQ(Crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  }
  SetCrc32Method(Crc32Method::Clmul);
  EXPECT_EQ(Crc32Table()[1], 0x77073096u);
  EXPECT_EQ(Crc32Step(0xFFFFFFFFu, 'a') ^ 0xFFFFFFFFu, 0xE8B7BE43u);
}

TEST(Crc32, FastFoldsAgreeWithTheTableOnEveryLengthAndOffset) {
  // Lengths up to and past several 64-byte strides of the carry-less fold, every alignment.
  std::vector<uint8_t> data(700);
  uint32_t x = 12345;
  for (auto& b : data) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t n = 0; n + offset <= data.size(); n += (n < 200 ? 1 : 7)) {
      SetCrc32Method(Crc32Method::Table);
      const uint32_t reg = 0x12345678u ^ uint32_t(n);
      uint32_t a = Crc32Fold(reg, data.data() + offset, n);
      SetCrc32Method(Crc32Method::Slicing8);
      ASSERT_EQ(Crc32Fold(reg, data.data() + offset, n), a) << offset << " " << n;
      SetCrc32Method(Crc32Method::Clmul);
      ASSERT_EQ(Crc32Fold(reg, data.data() + offset, n), a) << offset << " " << n;
    }
  }
  // Folding in pieces equals folding at once.
  uint32_t whole = Crc32Fold(0xFFFFFFFFu, data.data(), data.size());
  uint32_t parts = Crc32Fold(Crc32Fold(0xFFFFFFFFu, data.data(), 13), data.data() + 13, data.size() - 13);
  EXPECT_EQ(whole, parts);
}

}  // namespace
}  // namespace kestrel::archive
