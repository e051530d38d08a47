// The compressed stream is fixed by the input and the level: these digests pin the exact bytes
// at every level on data that reaches every path (all block kinds, slides, short and long
// chains, early flushes), so that a faster match finder, encoder or bit writer that changed a
// single bit is caught. The digests were taken from the straightforward implementation.
#include <gtest/gtest.h>

#include <array>

#include "archive/crc32.h"
#include "writer/deflate_reference_inflate.h"
#include "writer/deflate_test_support.h"

namespace kestrel::testing {
namespace {

std::vector<uint8_t> DigestInput() {
  std::vector<uint8_t> data;
  for (int part = 0; part < 10; ++part) {
    auto piece = part % 4 == 0   ? TextBytes(90000 + part * 1231, part)
                 : part % 4 == 1 ? BinaryBytes(60000, part)
                 : part % 4 == 2 ? RunBytes(40000, part)
                                 : RandomBytes(50000 + part * 313, part);
    data.insert(data.end(), piece.begin(), piece.end());
  }
  return data;
}

uint32_t StreamCrc(const Compressed& c) {
  return ~archive::Crc32Fold(0xFFFFFFFFu, c.bytes.data(), c.bytes.size());
}

TEST(DeflateStreamDigest, EveryLevelGivesThePinnedStream) {
  constexpr std::array<uint32_t, 10> kExpected = {
      0,          0x6F7FCF53, 0xE9BA7F9E, 0x0570D86F, 0x0D368C36,
      0xA1937362, 0x7388E8B4, 0x302E74A9, 0x147488C0, 0x12EAE268};
  constexpr std::array<uint64_t, 10> kExpectedSize = {
      0, 295710, 289572, 279866, 278650, 274366, 266405, 264132, 262215, 261543};
  const auto data = DigestInput();
  writer::Deflater deflater;
  for (int level = 1; level <= 9; ++level) {
    Compressed c = Compress(deflater, data, level);
    auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(decoded.has_value() && *decoded == data) << "level " << level;
    auto stats = ReferenceInflater::LastStats();
    // Levels 1-2 have no early flush, so their blocks mix the random parts with others.
    if (level >= 3) {
      EXPECT_GT(stats.stored, 0) << "level " << level;
    }
    EXPECT_GT(stats.dynamic, 0) << "level " << level;
    EXPECT_EQ(c.bytes.size(), kExpectedSize[size_t(level)]) << "level " << level;
    EXPECT_EQ(StreamCrc(c), kExpected[size_t(level)]) << "level " << level;
  }
}

TEST(DeflateStreamDigest, SmallTextFilesGiveThePinnedStreams) {
  // Many one-block files, as in a tree of source files: the tree builder decides these.
  constexpr std::array<uint32_t, 10> kExpected = {
      0,          0x0D2CCE95, 0x0E051728, 0x642D92B3, 0x6F67B16F,
      0xA8BFA888, 0x2FC48624, 0xD97DFD7A, 0x3B1B38DD, 0x45BC36A2};
  writer::Deflater deflater;
  for (int level = 1; level <= 9; ++level) {
    uint32_t crc = 0xFFFFFFFFu;
    int fixed = 0;
    for (size_t size : {100, 700, 3000, 9000, 20000}) {
      // A short run of one byte is cheapest with the fixed codes.
      auto input = size == 700 ? RunBytes(size, 1) : TextBytes(size, size + uint64_t(level));
      Compressed c = Compress(deflater, input, level);
      crc = archive::Crc32Fold(crc, c.bytes.data(), c.bytes.size());
      ASSERT_TRUE(ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size()).has_value());
      fixed += ReferenceInflater::LastStats().fixed;
    }
    EXPECT_GT(fixed, 0) << "level " << level;
    EXPECT_EQ(~crc, kExpected[size_t(level)]) << "level " << level;
  }
}

}  // namespace
}  // namespace kestrel::testing
