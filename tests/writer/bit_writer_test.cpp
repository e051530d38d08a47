// The bit writer: bit order, alignment, stored copies and buffer hand-off to the sink.
#include <gtest/gtest.h>

#include "writer/bit_writer.h"
#include "writer/deflate_test_support.h"

namespace kestrel::writer {
namespace {

using testing::VectorSink;

TEST(BitWriter, BitsGoLeastSignificantFirstAndAlignPadsWithZeros) {
  VectorSink sink;
  BitWriter w;
  w.Start(&sink);
  w.send_bits(1, 1);       // 1
  w.send_bits(2, 2);       // 01 -> bits 1-2
  w.send_bits(0x1F, 5);    // fills the first byte: 11111 010 + 1 -> 0xFD
  w.send_bits(0x7FFF, 15);
  w.send_bits(0, 3);
  w.AlignOutput();
  EXPECT_EQ(sink.bytes, (std::vector<uint8_t>{0xFD, 0xFF, 0x7F, 0x00}));
  EXPECT_EQ(w.BytesWritten(), 4u);
  w.AlignOutput();  // nothing pending: nothing written
  EXPECT_EQ(sink.calls, 1u);
}

TEST(BitWriter, StoredCopyAlignsThenWritesLengthComplementAndBytes) {
  VectorSink sink;
  BitWriter w;
  w.Start(&sink);
  w.send_bits(1, 3);
  std::vector<uint8_t> data = {'a', 'b', 'c'};
  w.CopyStoredBytes(data.data(), 3, true);
  w.CopyStoredBytes(data.data(), 2, false);
  w.AlignOutput();
  EXPECT_EQ(sink.bytes, (std::vector<uint8_t>{0x01, 3, 0, 0xFC, 0xFF, 'a', 'b', 'c', 'a', 'b'}));
  EXPECT_EQ(data, (std::vector<uint8_t>{'a', 'b', 'c'})) << "the caller's bytes are untouched";
}

TEST(BitWriter, LongOutputLeavesInFullBuffersAndIsTheSameStream) {
  VectorSink sink;
  BitWriter w;
  w.Start(&sink);
  std::vector<uint8_t> expected;
  uint64_t acc = 0;
  int count = 0;
  testing::Lcg g(3);
  for (int i = 0; i < 100000; ++i) {
    uint32_t len = 1 + g.Next() % 15;
    uint32_t value = g.Next() & ((1u << len) - 1);
    w.send_bits(value, len);
    acc |= uint64_t(value) << count;
    count += int(len);
    while (count >= 8) {
      expected.push_back(uint8_t(acc));
      acc >>= 8;
      count -= 8;
    }
  }
  if (count > 0) expected.push_back(uint8_t(acc));
  w.AlignOutput();
  EXPECT_EQ(sink.bytes, expected);
  EXPECT_GE(sink.calls, expected.size() / kOutputBufferSize);
  EXPECT_LE(sink.calls, expected.size() / kOutputBufferSize + 1);
}

}  // namespace
}  // namespace kestrel::writer
