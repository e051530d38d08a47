// The tree encoder's block decisions: whole-file store, stored blocks, the distance tree of a
// block with one distance code, the early flush above level 2, and the text/binary attribute
// decided at the first block.
#include <gtest/gtest.h>

#include <functional>

#include "writer/deflate_reference_inflate.h"
#include "writer/deflate_test_support.h"

namespace kestrel::testing {
namespace {

ReferenceInflater::Stats Decode(const Compressed& c, const std::vector<uint8_t>& data) {
  auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
  EXPECT_TRUE(decoded && *decoded == data);
  return ReferenceInflater::LastStats();
}

TEST(TreesEncoder, RandomFileInOneBlockIsStoredWholeWithMethod0) {
  for (size_t size : {size_t(1), size_t(100), size_t(5000), size_t(32000)}) {
    auto data = RandomBytes(size, size);
    for (int level = 1; level <= 9; ++level) {
      Compressed c = Compress(data, level);
      EXPECT_EQ(c.result.method, 0) << size << " level " << level;
      EXPECT_EQ(c.result.compressedSize, size);
      EXPECT_EQ(c.bytes, data);
    }
  }
}

TEST(TreesEncoder, IncompressibleBlocksAfterTheFirstGoOutAsStoredBlocks) {
  // 32767 literals fill a block; the first one is in the window and is stored, the file as a
  // whole is deflated (several blocks).
  auto data = RandomBytes(50000, 9);
  for (int level : {1, 6, 9}) {
    Compressed c = Compress(data, level);
    EXPECT_EQ(c.result.method, 8);
    auto stats = Decode(c, data);
    EXPECT_GE(stats.stored, 1) << level;
    EXPECT_LE(c.bytes.size(), data.size() + 5 * 4 + 8) << "stored blocks add 5 bytes each";
  }
}

TEST(TreesEncoder, OneDistanceCodeStillGetsACompleteTwoCodeDistanceTree) {
  // A de Bruijn sequence over 8 letters (every 3-letter string once, so no match) followed
  // by a run of 200: one match at distance 1, and small literal codes that make the block
  // dynamic. The reference decoder refuses an incomplete distance code in a dynamic block.
  const int k = 8, n = 3;
  std::vector<int> a(k * n, 0);
  std::vector<uint8_t> data;
  std::function<void(int, int)> deBruijn = [&](int t, int p) {
    if (t > n) {
      if (n % p == 0)
        for (int j = 1; j <= p; ++j) data.push_back(uint8_t('a' + a[size_t(j)]));
    } else {
      a[size_t(t)] = a[size_t(t - p)];
      deBruijn(t + 1, p);
      for (int j = a[size_t(t - p)] + 1; j < k; ++j) {
        a[size_t(t)] = j;
        deBruijn(t + 1, t);
      }
    }
  };
  deBruijn(1, 1);
  ASSERT_EQ(data.size(), 512u);
  data.insert(data.end(), 200, 'z');
  for (int level = 1; level <= 9; ++level) {
    Compressed c = Compress(data, level);
    auto stats = Decode(c, data);
    EXPECT_EQ(stats.dynamic, 1) << level;
    EXPECT_EQ(stats.matches, 1u) << level;
    EXPECT_EQ(stats.maxDistance, 1u) << level;
  }
}

TEST(TreesEncoder, EarlyFlushOnlyAboveLevel2) {
  // Three literals and one long match per unit: few matches that cover most of the input,
  // so from level 3 on a block is flushed at 4096 tokens; levels 1 and 2 fill 32767.
  std::vector<uint8_t> data;
  Lcg g(11);
  std::vector<uint8_t> run(258, 'z');
  while (data.size() < 1200000) {
    for (int i = 0; i < 3; ++i) data.push_back(uint8_t('a' + g.Next() % 20));
    data.insert(data.end(), run.begin(), run.end());
  }
  int blocks[10] = {};
  for (int level = 1; level <= 9; ++level) {
    auto stats = Decode(Compress(data, level), data);
    blocks[level] = stats.stored + stats.fixed + stats.dynamic;
  }
  for (int level = 3; level <= 9; ++level) {
    EXPECT_GE(blocks[level], 3 * blocks[2]) << "level " << level << " blocks " << blocks[level];
  }
  EXPECT_LE(blocks[1], 2);
  EXPECT_LE(blocks[2], 2);
}

TEST(TreesEncoder, TextAttributeComesFromTheFirstBlockOnly) {
  // Bytes drawn at random from 7-127 (text) and 128-255 (binary) hold next to no repeated
  // strings, so the first block (32767 literals) sees only the first part of each file.
  auto draw = [](size_t n, uint64_t seed, int low, int span) {
    auto v = RandomBytes(n, seed);
    for (auto& b : v) b = uint8_t(low + b % span);
    return v;
  };
  auto text = draw(40000, 1, 7, 121);
  auto binary = draw(40000, 2, 128, 128);
  EXPECT_EQ(Compress(text, 6).result.internalAttributes, 1);
  EXPECT_EQ(Compress(binary, 6).result.internalAttributes, 0);
  EXPECT_EQ(Compress({}, 6).result.internalAttributes, 1) << "no binary bytes: text";
  std::vector<uint8_t> textThenBinary = text;
  textThenBinary.insert(textThenBinary.end(), binary.begin(), binary.end());
  std::vector<uint8_t> binaryThenText = binary;
  binaryThenText.insert(binaryThenText.end(), text.begin(), text.end());
  for (int level : {1, 6, 9}) {
    EXPECT_EQ(Compress(textThenBinary, level).result.internalAttributes, 1) << level;
    EXPECT_EQ(Compress(binaryThenText, level).result.internalAttributes, 0) << level;
  }
  // The rule, on literals: text when those of 0-6 and 128-255 are at most a quarter of those
  // of 7-127.
  for (int binaryCount : {100, 101}) {
    auto mixed = draw(400, 3, 7, 121);
    auto high = draw(size_t(binaryCount), 4, 128, 128);
    mixed.insert(mixed.end(), high.begin(), high.end());
    Compressed c = Compress(mixed, 6);
    if (c.result.method == 8) {
      ASSERT_EQ(Decode(c, mixed).matches, 0u) << "the data must be literals only";
    }
    EXPECT_EQ(c.result.internalAttributes, binaryCount <= 100 ? 1 : 0) << binaryCount;
  }
}

TEST(TreesEncoder, ReturnedSizeMatchesTheBytesWritten) {
  // The size in the header comes from the result: it must be the stream's length exactly,
  // for every block form.
  writer::Deflater d;
  for (size_t size : {size_t(10), size_t(4000), size_t(70000), size_t(300000)}) {
    for (auto data : {TextBytes(size, 1), RandomBytes(size, 2), BinaryBytes(size, 3)}) {
      for (int level = 1; level <= 9; ++level) {
        Compressed c = Compress(d, data, level);
        EXPECT_EQ(c.result.compressedSize, c.bytes.size());
      }
    }
  }
}

}  // namespace
}  // namespace kestrel::testing
