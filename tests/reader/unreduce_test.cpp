// unreduce_test.cpp — Unreduce for the four compression factors: round trips through the test
// encoder (no peer here reads reduce, so the data itself is the oracle), hand-made intermediate
// streams for the 144 escape and the factor's length/distance split, matches before the start,
// cancel, write errors and corrupt input.
#include <gtest/gtest.h>

#include <random>

#include "tests/reader/legacy_encoders.h"
#include "tests/reader/legacy_harness.h"

namespace kestrel::testing {
namespace {

DecodeRun Unreduce(const LegacyScratch& scratch, int factor, const std::vector<uint8_t>& compressed,
                   size_t size) {
  DecodeRequest request;
  request.method = factor + 1;
  request.data = compressed;
  request.trailer = {0x50, 0x4B, 0x01, 0x02, 0, 0, 0, 0};
  request.uncompressedSize = int32_t(size);
  return RunLegacyDecoder(scratch, request);
}

// What an intermediate stream means, written independently of the decoder.
std::vector<uint8_t> Expand(const std::vector<uint8_t>& in, int factor) {
  const uint32_t lengthMask = (1u << (8 - factor)) - 1;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != 144) {
      out.push_back(in[i]);
      continue;
    }
    const uint32_t v = in[++i];
    if (v == 0) {
      out.push_back(144);
      continue;
    }
    uint32_t length = v & lengthMask;
    if (length == lengthMask) length += in[++i];
    const uint32_t distance = (v >> (8 - factor)) * 256 + in[++i] + 1;
    for (uint32_t k = 0; k < length + 3; ++k) {
      out.push_back(out.size() >= distance ? out[out.size() - distance] : 0);
    }
  }
  return out;
}

TEST(Unreduce, RoundTripsEveryFactor) {
  LegacyScratch scratch;
  std::vector<uint8_t> escapes(3000);
  for (size_t i = 0; i < escapes.size(); ++i) escapes[i] = i % 7 == 0 ? 144 : uint8_t(i);
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"empty", {}},
      {"one byte", {144}},
      {"escapes", escapes},
      {"text 60 KB", SampleText(60000, 1)},      // larger than the 16 KB ring and any distance
      {"binary 40 KB", SampleBinary(40000, 2)},
      {"run", std::vector<uint8_t>(10000, 7)},    // longest matches of each factor
  };
  for (int factor = 1; factor <= 4; ++factor) {
    for (const auto& [name, data] : inputs) {
      SCOPED_TRACE("factor " + std::to_string(factor) + ", " + name);
      const auto intermediate = ReduceIntermediate(data, factor);
      ASSERT_EQ(Expand(intermediate, factor), data);  // the encoder's own check
      const DecodeRun run = Unreduce(scratch, factor, ReduceEncode(data, factor), data.size());
      EXPECT_EQ(run.result, 0);
      EXPECT_EQ(run.output, data);
      EXPECT_EQ(run.crc, Crc32(data));
    }
  }
}

TEST(Unreduce, EscapeAndTheFactorsLengthAndDistanceFields) {
  LegacyScratch scratch;
  std::vector<uint8_t> prefix;
  for (int i = 0; i < 5000; ++i) prefix.push_back(uint8_t('a' + i % 23));
  struct Case {
    int factor;
    std::vector<uint8_t> tail;
  };
  const Case cases[] = {
      {4, {144, 0}},                      // a literal 144
      {4, {144, 0x1F, 2, 10}},            // length 15 + 2 + 3, distance 1 * 256 + 10 + 1
      {4, {144, 0xF0, 0}},                // length 3, distance 15 * 256 + 1
      {4, {144, 0xFF, 255, 255}},         // the longest, farthest match: 273 from 4096
      {1, {144, 0xFF, 255, 255}},         // factor 1: 127 + 255 + 3 from 512
      {1, {144, 0x80 | 5, 0}},            // factor 1: length 8, distance 257
      {2, {144, 0xC0 | 63, 1, 255}},      // factor 2: 63 + 1 + 3 from 1024
      {3, {144, 0xE0 | 30, 200}},         // factor 3: 33 from 7 * 256 + 201
      {2, {144, 0, 144, 0, 144, 1, 0}},   // escapes in a row, then a length-4 repeat
  };
  for (const auto& c : cases) {
    auto intermediate = prefix;
    intermediate.insert(intermediate.end(), c.tail.begin(), c.tail.end());
    const auto expected = Expand(intermediate, c.factor);
    SCOPED_TRACE("factor " + std::to_string(c.factor) + ", tail " + std::to_string(c.tail[1]));
    const DecodeRun run =
        Unreduce(scratch, c.factor, ReduceEncodeIntermediate(intermediate), expected.size());
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, expected);
  }
}

TEST(Unreduce, MatchBeforeTheStartGivesZeros) {
  LegacyScratch scratch;
  for (int factor = 1; factor <= 4; ++factor) {
    // "xy", then 8 bytes from 3 back, then 3 + 15 bytes from far back, all before the start.
    const std::vector<uint8_t> intermediate = {'x', 'y', 144, 5, 2, 144, uint8_t(0x10 | 0), 200};
    const auto expected = Expand(intermediate, factor);
    const DecodeRun run =
        Unreduce(scratch, factor, ReduceEncodeIntermediate(intermediate), expected.size());
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, expected);
    EXPECT_EQ(run.output[2], 0);
  }
}

TEST(Unreduce, StopsAtTheEntrySize) {
  LegacyScratch scratch;
  // The last match is longer than what is left of the entry: nothing past the size is written.
  const std::vector<uint8_t> intermediate = {'a', 'b', 144, 0x0E, 1};
  const DecodeRun run = Unreduce(scratch, 4, ReduceEncodeIntermediate(intermediate), 10);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.output, (std::vector<uint8_t>{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b'}));
}

TEST(Unreduce, CancelWriteFailureAndTruncation) {
  LegacyScratch scratch;
  const auto data = SampleBinary(80000, 4);
  DecodeRequest request;
  request.method = 5;
  request.data = ReduceEncode(data, 4);
  request.uncompressedSize = int32_t(data.size());
  request.cancel = true;
  EXPECT_EQ(RunLegacyDecoder(scratch, request).result, 5);
  request.cancel = false;
  request.failWrites = true;
  EXPECT_EQ(RunLegacyDecoder(scratch, request).result, 2);
  request.failWrites = false;
  // Cut off: no error of its own, the output is short and the CRC check rejects it.
  request.compressedSize = int32_t(request.data.size());
  request.data.resize(request.data.size() / 2);
  const DecodeRun run = RunLegacyDecoder(scratch, request);
  EXPECT_EQ(run.result, 0);
  EXPECT_NE(run.crc, Crc32(data));
}

TEST(Unreduce, CorruptStreamsFailSafely) {
  LegacyScratch scratch;
  std::mt19937 rng(31);
  const auto data = SampleText(20000, 6);
  for (int factor = 1; factor <= 4; ++factor) {
    const auto compressed = ReduceEncode(data, factor);
    for (int round = 0; round < 40; ++round) {
      auto broken = compressed;
      for (int k = 0; k < 1 + round % 4; ++k) broken[rng() % broken.size()] ^= uint8_t(1 + rng() % 255);
      const DecodeRun run = Unreduce(scratch, factor, broken, data.size());
      EXPECT_EQ(run.result, 0);
      EXPECT_LE(run.output.size(), data.size());
    }
  }
}

}  // namespace
}  // namespace kestrel::testing
