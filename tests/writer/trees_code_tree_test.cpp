// Huffman construction: the length limit with its overflow repair, the two-code minimum, the
// bit statistics, and the canonical codes of the fixed tree.
#include <gtest/gtest.h>

#include <vector>

#include "writer/code_tree.h"
#include "writer/deflate_tables.h"

namespace kestrel::writer {
namespace {

struct Built {
  std::vector<TreeNode> tree;
  TreeDescriptor desc;
  BlockLengths lengths;
};

Built Build(const std::vector<uint16_t>& freqs, int maxLength, const uint8_t* extra = nullptr,
            int extraBase = 0) {
  static const uint8_t zeros[kLCodes] = {};
  Built b;
  b.tree.resize(2 * freqs.size() + 1 + 2);
  for (size_t i = 0; i < freqs.size(); ++i) b.tree[i].freq = freqs[i];
  b.desc = TreeDescriptor{b.tree.data(), nullptr, extra ? extra : zeros, extraBase,
                          int(freqs.size()), maxLength};
  CodeTreeBuilder builder;
  builder.BuildCodeTree(b.desc, b.lengths);
  return b;
}

// Kraft sum scaled to 2^maxLength; a complete code gives exactly 2^maxLength.
uint64_t Kraft(const Built& b, int maxLength) {
  uint64_t sum = 0;
  for (int n = 0; n <= b.desc.maxCode; ++n)
    if (b.tree[size_t(n)].len) sum += uint64_t(1) << (maxLength - b.tree[size_t(n)].len);
  return sum;
}

TEST(TreesCodeTree, LengthLimitIsKeptAndTheCodeStaysComplete) {
  // Fibonacci frequencies make the natural tree 24 levels deep.
  std::vector<uint16_t> freqs;
  uint16_t a = 1, c = 1;
  for (int i = 0; i < 24; ++i) {
    freqs.push_back(a);
    uint16_t next = uint16_t(a + c);
    a = c;
    c = next;
  }
  for (int limit : {7, 15}) {
    Built b = Build(freqs, limit);
    uint32_t bits = 0;
    for (size_t n = 0; n < freqs.size(); ++n) {
      EXPECT_GE(b.tree[n].len, 1);
      EXPECT_LE(b.tree[n].len, limit);
      bits += uint32_t(freqs[n]) * b.tree[n].len;
    }
    EXPECT_EQ(Kraft(b, limit), uint64_t(1) << limit);
    EXPECT_EQ(b.lengths.optLen, bits) << "optimal length must follow the repaired lengths";
    // More frequent symbols never get longer codes.
    for (size_t n = 1; n < freqs.size(); ++n) EXPECT_LE(b.tree[n].len, b.tree[n - 1].len);
  }
}

TEST(TreesCodeTree, ALoneCodeIsPairedAndGetsOneBit) {
  for (int only : {0, 1, 5, 29}) {
    std::vector<uint16_t> freqs(30, 0);
    freqs[size_t(only)] = 7;
    Built b = Build(freqs, 15);
    int withLength = 0;
    for (int n = 0; n < 30; ++n) {
      if (b.tree[size_t(n)].len) {
        ++withLength;
        EXPECT_EQ(b.tree[size_t(n)].len, 1);
      }
    }
    EXPECT_EQ(withLength, 2) << only;
    EXPECT_EQ(b.lengths.optLen, 7u) << "the added code is not counted";
    EXPECT_EQ(b.desc.maxCode, only < 2 ? 2 - (only == 0) : only) << only;
  }
  Built none = Build(std::vector<uint16_t>(30, 0), 15);
  EXPECT_EQ(none.tree[0].len, 1);
  EXPECT_EQ(none.tree[1].len, 1);
  EXPECT_EQ(none.desc.maxCode, 1);
}

TEST(TreesCodeTree, CodesAreCanonicalAndPrefixFree) {
  std::vector<uint16_t> freqs = {10, 1, 1, 5, 5, 20, 0, 3, 3, 3, 40};
  Built b = Build(freqs, 15);
  // Re-derive the canonical codes (most significant bit first) and compare reversed.
  for (size_t n = 0; n < freqs.size(); ++n) {
    for (size_t m = 0; m < freqs.size(); ++m) {
      if (n == m || !b.tree[n].len || !b.tree[m].len || b.tree[n].len > b.tree[m].len) continue;
      uint32_t mask = (1u << b.tree[n].len) - 1;
      EXPECT_NE(b.tree[m].code & mask, b.tree[n].code) << n << " is a prefix of " << m;
    }
  }
  // Equal lengths get increasing codes in symbol order.
  EXPECT_EQ(b.tree[7].len, b.tree[8].len);
  EXPECT_LT(ReverseBits(b.tree[7].code, b.tree[7].len), ReverseBits(b.tree[8].code, b.tree[8].len));
}

TEST(TreesCodeTree, FixedTreeAndTablesFollowTheFormat) {
  const auto& lit = kFixedTrees.literal;
  EXPECT_EQ(lit[0].len, 8);
  EXPECT_EQ(ReverseBits(lit[0].code, 8), 0x30u);
  EXPECT_EQ(ReverseBits(lit[143].code, 8), 0xBFu);
  EXPECT_EQ(ReverseBits(lit[144].code, 9), 0x190u);
  EXPECT_EQ(ReverseBits(lit[255].code, 9), 0x1FFu);
  EXPECT_EQ(ReverseBits(lit[256].code, 7), 0u);
  EXPECT_EQ(ReverseBits(lit[279].code, 7), 0x17u);
  EXPECT_EQ(ReverseBits(lit[280].code, 8), 0xC0u);
  EXPECT_EQ(ReverseBits(kFixedTrees.distance[3].code, 5), 3u);
  // Lengths: 258 is code 285 without extra bits, 257 is code 284.
  EXPECT_EQ(kLengthTables.lengthCode[255], 28);
  EXPECT_EQ(kLengthTables.lengthCode[254], 27);
  EXPECT_EQ(kLengthTables.lengthCode[0], 0);
  EXPECT_EQ(kLengthTables.baseLength[8], 8);  // length 11
  // Distances (dist = distance - 1).
  EXPECT_EQ(d_code(0), 0u);
  EXPECT_EQ(d_code(4), 4u);
  EXPECT_EQ(d_code(255), 15u);
  EXPECT_EQ(d_code(256), 16u);
  EXPECT_EQ(d_code(32767), 29u);
  EXPECT_EQ(kDistanceTables.baseDist[16], 256);
}

}  // namespace
}  // namespace kestrel::writer
