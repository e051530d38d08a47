// explode_test.cpp — Explode in its four variants: round trips through the test encoder (also
// checked by `unzip -t`), lengths and distances at the variant's limits, matches before the
// start of the output, bad tree headers, truncated and unknown-size input, cancel, write errors.
#include <gtest/gtest.h>

#include <random>

#include "tests/reader/legacy_encoders.h"
#include "tests/reader/legacy_harness.h"

namespace kestrel::testing {
namespace {

const ImplodeVariant kVariants[] = {{true, true}, {true, false}, {false, true}, {false, false}};

std::string Describe(ImplodeVariant v) {
  return std::string(v.literalTree ? "literal tree" : "raw literals") +
         (v.largeDictionary ? ", 8 KB" : ", 4 KB");
}

DecodeRun Explode(const LegacyScratch& scratch, ImplodeVariant v,
                  const std::vector<uint8_t>& compressed, size_t size) {
  DecodeRequest request;
  request.method = 6;
  request.flags = v.Flags();
  request.data = compressed;
  request.trailer = {0x50, 0x4B, 0x01, 0x02, 0, 0, 0, 0};
  request.uncompressedSize = int32_t(size);
  return RunLegacyDecoder(scratch, request);
}

TEST(Explode, RoundTripsEveryVariantAndPeerAgrees) {
  LegacyScratch scratch;
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"empty", {}},
      {"one byte", {0x41}},
      {"text 100 KB", SampleText(100000, 1)},           // far larger than both dictionaries
      {"binary 70 KB", SampleBinary(70000, 2)},         // crosses the 32 KB window twice
      {"run 5000", std::vector<uint8_t>(5000, 0x61)},   // longest matches, distance 1
  };
  for (const auto v : kVariants) {
    std::vector<ZipItem> items;
    for (const auto& [name, data] : inputs) {
      SCOPED_TRACE(Describe(v) + ", " + name);
      const auto compressed = ImplodeEncode(data, v);
      const DecodeRun run = Explode(scratch, v, compressed, data.size());
      EXPECT_EQ(run.result, 0);
      EXPECT_EQ(run.output, data);
      EXPECT_EQ(run.crc, Crc32(data));
      items.push_back(MakeItem(name, 6, v.Flags(), data, compressed));
    }
    const auto archive = scratch.Path("implode.zip");
    WriteZip(archive, items);
    EXPECT_TRUE(PeerUnzipAccepts(archive)) << Describe(v);
  }
}

TEST(Explode, LengthsAndDistancesAtTheLimits) {
  LegacyScratch scratch;
  for (const auto v : kVariants) {
    SCOPED_TRACE(Describe(v));
    std::mt19937 rng(7);
    std::vector<ImplodeToken> tokens;
    for (uint32_t i = 0; i < v.MaxDistance() + 100; ++i) tokens.push_back({0, 0, uint8_t(rng())});
    const uint32_t minimum = v.MinMatch();
    tokens.push_back({minimum, v.MaxDistance(), 0});       // farthest, shortest
    tokens.push_back({v.MaxMatch(), v.MaxDistance(), 0});  // farthest, longest (63 + 255)
    tokens.push_back({v.MaxMatch(), 1, 0});                // longest run
    tokens.push_back({minimum + 62, 2, 0});                // last length without extra bits
    tokens.push_back({minimum + 63, 3, 0});                // first with extra bits (0)
    tokens.push_back({minimum + 64, 128, 0});              // extra bits 1, distance code edge
    tokens.push_back({minimum, 129, 0});
    tokens.push_back({minimum, 64, 0});
    tokens.push_back({minimum, 65, 0});
    const auto expected = ExpandImplodeTokens(tokens);
    const auto compressed = ImplodeEncodeTokens(tokens, v);
    const DecodeRun run = Explode(scratch, v, compressed, expected.size());
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, expected);

    const auto archive = scratch.Path("limits.zip");
    WriteZip(archive, {MakeItem("limits", 6, v.Flags(), expected, compressed)});
    EXPECT_TRUE(PeerUnzipAccepts(archive));
  }
}

TEST(Explode, MatchBeforeTheStartGivesZeros) {
  LegacyScratch scratch;
  for (const auto v : kVariants) {
    SCOPED_TRACE(Describe(v));
    const std::vector<ImplodeToken> tokens = {
        {0, 0, 'x'}, {0, 0, 'y'}, {10, 5, 0}, {0, 0, 'z'}, {v.MaxMatch(), v.MaxDistance(), 0}};
    const auto expected = ExpandImplodeTokens(tokens);
    ASSERT_EQ(expected[2], 0);
    const DecodeRun run = Explode(scratch, v, ImplodeEncodeTokens(tokens, v), expected.size());
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.output, expected);
  }
}

// A raw-literal stream whose length tree header is given; the distance tree is complete.
std::vector<uint8_t> WithLengthTree(const std::vector<uint8_t>& lengthHeader) {
  std::vector<uint8_t> stream = lengthHeader;
  for (uint8_t b : {uint8_t(3), uint8_t(0xF5), uint8_t(0xF5), uint8_t(0xF5), uint8_t(0xF5)}) {
    stream.push_back(b);  // 64 codes of 6 bits
  }
  stream.insert(stream.end(), 16, 0xFF);
  return stream;
}

TEST(Explode, BadTreeHeadersAreFormatErrors) {
  LegacyScratch scratch;
  const ImplodeVariant raw{false, true};
  // The complete header: four runs of 16 six-bit codes. It decodes (all literals, 0xFF bits).
  EXPECT_EQ(Explode(scratch, raw, WithLengthTree({3, 0xF5, 0xF5, 0xF5, 0xF5}), 4).result, 0);
  // 48 lengths instead of 64.
  EXPECT_EQ(Explode(scratch, raw, WithLengthTree({2, 0xF5, 0xF5, 0xF5}), 4).result, 4);
  // 80 lengths: the fifth run runs past the 64 codes.
  EXPECT_EQ(Explode(scratch, raw, WithLengthTree({4, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}), 4).result,
            4);
  // 64 codes of 7 bits: an incomplete code.
  EXPECT_EQ(Explode(scratch, raw, WithLengthTree({3, 0xF6, 0xF6, 0xF6, 0xF6}), 4).result, 4);
  // 64 codes of 5 bits: over-subscribed.
  EXPECT_EQ(Explode(scratch, raw, WithLengthTree({3, 0xF4, 0xF4, 0xF4, 0xF4}), 4).result, 4);
  // A literal tree that gives only 16 of its 256 lengths.
  EXPECT_EQ(Explode(scratch, ImplodeVariant{true, true}, WithLengthTree({0, 0xF7}), 4).result, 4);
}

TEST(Explode, DistanceLookupBitsFollowTheCompressedSize) {
  LegacyScratch scratch;
  // Many distinct distances with skewed counts give distance codes longer than 8 bits.
  std::vector<ImplodeToken> tokens;
  std::mt19937 rng(3);
  for (int i = 0; i < 9000; ++i) tokens.push_back({0, 0, uint8_t(rng())});
  for (int i = 0; i < 3000; ++i) {
    const uint32_t code = uint32_t(std::min(63.0, std::exponential_distribution<>(0.15)(rng)));
    tokens.push_back({4, code * 128 + 1 + uint32_t(rng() % 128), 0});
  }
  const ImplodeVariant v{true, true};
  const auto expected = ExpandImplodeTokens(tokens);
  const auto compressed = ImplodeEncodeTokens(tokens, v);
  for (int32_t declared : {200000, 200001}) {
    DecodeRequest request;
    request.method = 6;
    request.flags = v.Flags();
    request.data = compressed;
    request.compressedSize = declared;  // larger than the data: only the table layout changes
    request.trailer = std::vector<uint8_t>(64, 0x50);
    request.uncompressedSize = int32_t(expected.size());
    const DecodeRun run = RunLegacyDecoder(scratch, request);
    EXPECT_EQ(run.result, 0) << declared;
    EXPECT_EQ(run.output, expected) << declared;
  }
}

TEST(Explode, InputThatRunsOutEndsWithReadError) {
  LegacyScratch scratch;
  const ImplodeVariant v{true, false};
  const auto data = SampleText(20000, 5);
  const auto compressed = ImplodeEncode(data, v);
  // Sizes known only from a data descriptor: decoding runs until the input is exhausted.
  DecodeRequest request;
  request.method = 6;
  request.flags = uint16_t(v.Flags() | 8);
  request.data = compressed;
  request.compressedSize = reader::kUnknownSize;
  request.uncompressedSize = reader::kUnknownSize;
  DecodeRun run = RunLegacyDecoder(scratch, request);
  EXPECT_EQ(run.result, 3);
  ASSERT_GE(run.output.size(), data.size());
  EXPECT_TRUE(std::equal(data.begin(), data.end(), run.output.begin()));
  // An archive cut off in the middle of the entry.
  request.flags = v.Flags();
  request.compressedSize = int32_t(compressed.size());
  request.uncompressedSize = int32_t(data.size());
  request.data.resize(compressed.size() / 3);
  run = RunLegacyDecoder(scratch, request);
  EXPECT_EQ(run.result, 3);
  EXPECT_LT(run.output.size(), data.size());
}

TEST(Explode, EmptyEntryWithoutDataIsEmpty) {
  LegacyScratch scratch;
  EXPECT_EQ(Explode(scratch, kVariants[0], {}, 0).result, 0);
  EXPECT_EQ(Explode(scratch, kVariants[0], {}, 10).result, 3);
}

TEST(Explode, CancelAndWriteFailure) {
  LegacyScratch scratch;
  const ImplodeVariant v{false, false};
  const auto data = SampleBinary(50000, 9);
  DecodeRequest request;
  request.method = 6;
  request.flags = v.Flags();
  request.data = ImplodeEncode(data, v);
  request.uncompressedSize = int32_t(data.size());
  request.cancel = true;
  EXPECT_EQ(RunLegacyDecoder(scratch, request).result, 5);
  request.cancel = false;
  request.failWrites = true;
  EXPECT_EQ(RunLegacyDecoder(scratch, request).result, 2);
}

TEST(Explode, CorruptStreamsFailSafely) {
  LegacyScratch scratch;
  std::mt19937 rng(11);
  for (const auto v : kVariants) {
    const auto data = SampleText(6000, 4);
    const auto compressed = ImplodeEncode(data, v);
    for (int round = 0; round < 60; ++round) {
      auto broken = compressed;
      for (int k = 0; k < 1 + round % 4; ++k) broken[rng() % broken.size()] ^= uint8_t(1 + rng() % 255);
      const DecodeRun run = Explode(scratch, v, broken, data.size());
      EXPECT_TRUE(run.result == 0 || run.result == 3 || run.result == 4) << run.result;
      EXPECT_LE(run.output.size(), data.size());
    }
  }
}

}  // namespace
}  // namespace kestrel::testing
