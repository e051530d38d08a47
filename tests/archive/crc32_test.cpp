// The zip CRC-32: known values, and the slicing-by-8 fold against the plain table fold on
// every length and alignment.
#include <gtest/gtest.h>

#include <vector>

#include "archive/crc32.h"

namespace kestrel::archive {
namespace {

uint32_t Crc(const std::string& s) { return ~Crc32Fold(0xFFFFFFFFu, s.data(), s.size()); }

TEST(Crc32, KnownValuesWithBothMethods) {
  for (auto method : {Crc32Method::Slicing8, Crc32Method::Table}) {
    SetCrc32Method(method);
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc(""), 0u);
    EXPECT_EQ(Crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  }
  SetCrc32Method(Crc32Method::Slicing8);
  EXPECT_EQ(Crc32Table()[1], 0x77073096u);
  EXPECT_EQ(Crc32Step(0xFFFFFFFFu, 'a') ^ 0xFFFFFFFFu, 0xE8B7BE43u);
}

TEST(Crc32, SlicingAgreesWithTheTableOnEveryLengthAndOffset) {
  std::vector<uint8_t> data(300);
  uint32_t x = 12345;
  for (auto& b : data) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t n = 0; n + offset <= data.size(); n += 7) {
      SetCrc32Method(Crc32Method::Table);
      uint32_t a = Crc32Fold(0x12345678u, data.data() + offset, n);
      SetCrc32Method(Crc32Method::Slicing8);
      uint32_t b = Crc32Fold(0x12345678u, data.data() + offset, n);
      ASSERT_EQ(a, b) << offset << " " << n;
    }
  }
  // Folding in pieces equals folding at once.
  uint32_t whole = Crc32Fold(0xFFFFFFFFu, data.data(), data.size());
  uint32_t parts = Crc32Fold(Crc32Fold(0xFFFFFFFFu, data.data(), 13), data.data() + 13, data.size() - 13);
  EXPECT_EQ(whole, parts);
}

}  // namespace
}  // namespace kestrel::archive
