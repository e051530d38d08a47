// inflate_test.cpp — Inflate on raw Deflate streams made by Python's zlib (wbits -15),
// decoded from memory, and on hand-made invalid streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "reader/crc32.h"
#include "reader/inflate.h"
#include "reader/unzip_state.h"

namespace kestrel::reader {
namespace {

std::vector<uint8_t> RunPython(const std::string& script) {
  std::string command = "python3 -c '" + script + "'";
  FILE* pipe = popen(command.c_str(), "r");
  std::vector<uint8_t> out;
  if (pipe == nullptr) return out;
  int c;
  while ((c = fgetc(pipe)) != EOF) out.push_back(uint8_t(c));
  pclose(pipe);
  return out;
}

// Decodes stream as an entry's data. As in an archive, other records follow it: the decoder
// may look a few bytes ahead of its last code. Without them the input ends with the stream.
int InflateMemory(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out, bool following = true) {
  std::vector<uint8_t> input = stream;
  if (following) input.insert(input.end(), {0x50, 0x4B, 0x01, 0x02, 0x14, 0x00, 0x14, 0x00});
  MemoryStreams streams;
  streams.input = input.data();
  streams.inputSize = input.size();
  streams.output = &out;
  UseMemoryStreams(&streams);
  BeginMemoryEntry(int32_t(stream.size()));
  const int result = Inflate();
  EndMemoryEntry();
  UseMemoryStreams(nullptr);
  return result;
}

TEST(Inflate, DecodesZlibStreamsAtEveryLevel) {
  const std::string data = RunPython(
      "import sys,random; random.seed(4); "
      "w=[bytes(random.choice(b\"abcdefgh \") for _ in range(random.randint(1,9))) for _ in range(300)]; "
      "sys.stdout.buffer.write(b\"\".join(random.choice(w) for _ in range(60000))+bytes(random.getrandbits(8) for _ in range(70000)))")
      .size() > 0 ? "ok" : "";
  ASSERT_EQ(data, "ok");
  for (int level = 0; level <= 9; ++level) {
    const std::string gen =
        "import sys,random,zlib; random.seed(4); "
        "w=[bytes(random.choice(b\"abcdefgh \") for _ in range(random.randint(1,9))) for _ in range(300)]; "
        "d=b\"\".join(random.choice(w) for _ in range(60000))+bytes(random.getrandbits(8) for _ in range(70000)); "
        "c=zlib.compressobj(" + std::to_string(level) + ",zlib.DEFLATED,-15); "
        "sys.stdout.buffer.write(len(d).to_bytes(4,\"little\")+c.compress(d)+c.flush())";
    std::vector<uint8_t> stream = RunPython(gen);
    ASSERT_GT(stream.size(), 4u);
    const uint32_t size = stream[0] | stream[1] << 8 | stream[2] << 16 | uint32_t(stream[3]) << 24;
    stream.erase(stream.begin(), stream.begin() + 4);
    std::vector<uint8_t> out;
    EXPECT_EQ(InflateMemory(stream, out), InflateOk) << "level " << level;
    EXPECT_EQ(out.size(), size) << "level " << level;
  }
}

TEST(Inflate, EmptyStoredBlockGivesNothing) {
  std::vector<uint8_t> out;
  EXPECT_EQ(InflateMemory({0x01, 0x00, 0x00, 0xFF, 0xFF}, out), InflateOk);
  EXPECT_TRUE(out.empty());
}

TEST(Inflate, RefusesInvalidData) {
  std::vector<uint8_t> out;
  EXPECT_EQ(InflateMemory({0x01, 0x05, 0x00, 0x00, 0x00}, out), InflateInvalidData);  // NLEN
  EXPECT_EQ(InflateMemory({0x07, 0x00}, out), InflateInvalidData);  // block type 3
}

// Data made by a Python expression and its raw Deflate stream at level, by Python's zlib;
// zdict, when given, is a Python expression for the compressor's preset dictionary.
struct Sample {
  std::vector<uint8_t> data;
  std::vector<uint8_t> stream;
};
Sample Compressed(const std::string& dataExpression, int level, const std::string& zdict = "",
                  const std::string& strategy = "zlib.Z_DEFAULT_STRATEGY") {
  const std::string dict = zdict.empty() ? "" : ",zdict=" + zdict;
  std::vector<uint8_t> both = RunPython(
      "import sys,random,zlib; random.seed(9); d=" + dataExpression + "; "
      "c=zlib.compressobj(" + std::to_string(level) + ",zlib.DEFLATED,-15,8," + strategy + dict + "); "
      "sys.stdout.buffer.write(len(d).to_bytes(4,\"little\")+d+c.compress(d)+c.flush())");
  Sample s;
  if (both.size() < 4) return s;
  const size_t size = both[0] | both[1] << 8 | both[2] << 16 | size_t(both[3]) << 24;
  s.data.assign(both.begin() + 4, both.begin() + 4 + long(size));
  s.stream.assign(both.begin() + 4 + long(size), both.end());
  return s;
}

void ExpectDecodes(const Sample& s, const char* what) {
  ASSERT_FALSE(s.stream.empty()) << what;
  std::vector<uint8_t> out;
  EXPECT_EQ(InflateMemory(s.stream, out), InflateOk) << what;
  EXPECT_TRUE(out == s.data) << what << ": " << out.size() << " bytes, " << s.data.size() << " expected";
}

// The decoder's fast paths: runs of literals, matches at every distance class (overlapping
// copies below 8 and 16, block copies above), output far past its internal flush point, fixed
// blocks and an incomplete distance code.
TEST(Inflate, DecodesEveryCopyAndLiteralPathExactly) {
  ExpectDecodes(Compressed("bytes(random.getrandbits(8) for _ in range(5000))*3", 6), "random literals");
  ExpectDecodes(Compressed("b\"\".join(bytes([random.randrange(256)])*random.randint(1,300) for _ in range(4000))", 9), "runs");
  for (int distance : {2, 7, 8, 9, 15, 16, 17, 300, 32768}) {
    ExpectDecodes(Compressed("(bytes(random.getrandbits(8) for _ in range(" + std::to_string(distance) + "))*(700000//" + std::to_string(distance) + "+2))[:700000]", 6),
                  ("period " + std::to_string(distance)).c_str());
  }
  ExpectDecodes(Compressed("b\"\".join(random.choice([b\"alpha \",b\"beta \",b\"gamma\\n\",bytes([random.randrange(256)])]) for _ in range(200000))", 1, "", "zlib.Z_FIXED"), "fixed blocks");
  ExpectDecodes(Compressed("b\"ab\"*40000", 6), "one distance code");
}

// Distances reaching before the start of the output read zeros, also in an entry decoded after
// one long enough to have moved its own bytes into the history.
TEST(Inflate, DistancesBeforeTheStartReadZerosInEveryEntry) {
  const Sample before = Compressed("bytes(b\"\\0\"*40)+b\"tail\"+bytes(300)+b\"end\"", 9, "bytes(32768)");
  ExpectDecodes(before, "first entry");
  ExpectDecodes(Compressed("bytes(random.getrandbits(8) for _ in range(20000))*40", 6), "long entry");
  ExpectDecodes(before, "after a long entry");
}

// Codes longer than the first lookup level go through sub-tables: a skewed byte distribution
// gives literal codes up to 15 bits, and the rare repeats of its rare bytes distance codes
// beyond 8 bits.
TEST(Inflate, DecodesLongCodesThroughSubTables) {
  ExpectDecodes(Compressed("bytes(min(int(random.expovariate(0.5)),255) for _ in range(300000))", 9), "skewed literals");
}

// Stored blocks copied in pieces: lengths around the 2048-byte refills, a full block of
// 65535 bytes, and data that spans several blocks and the output flush.
TEST(Inflate, StoredBlocksAcrossRefills) {
  for (int size : {1, 2047, 2048, 2049, 4100, 65535, 65536, 300000}) {
    ExpectDecodes(Compressed("random.randbytes(" + std::to_string(size) + ")", 0), ("stored " + std::to_string(size)).c_str());
  }
}

// Streams whose last code falls at every byte around the end of the first input buffer, where
// decoding moves from the fast loop to checked reads, with and without bytes behind the stream.
TEST(Inflate, StreamEndsAtEveryOffsetAroundARefill) {
  const std::vector<uint8_t> all = RunPython(
      "import sys,random,zlib; random.seed(5); "
      "t=bytes(random.choice(b\"abcdefghijklmnopqrstuvwxyz .,\\n\") for _ in range(20000)); "
      "size=lambda n: len((lambda c: c.compress(t[:n])+c.flush())(zlib.compressobj(6,zlib.DEFLATED,-15))); "
      "lo,hi=1,len(t)\nwhile lo<hi:\n m=(lo+hi)//2\n lo,hi=(m+1,hi) if size(m)<2048 else (lo,m)\n"
      "sys.stdout.buffer.write(t)\nfor n in range(lo-150,lo+150):\n "
      "c=zlib.compressobj(6,zlib.DEFLATED,-15); s=c.compress(t[:n])+c.flush(); "
      "sys.stdout.buffer.write(n.to_bytes(4,\"little\")+len(s).to_bytes(4,\"little\")+s)");
  ASSERT_GT(all.size(), 20000u);
  const std::vector<uint8_t> text(all.begin(), all.begin() + 20000);
  size_t at = 20000;
  std::set<size_t> sizes;
  while (at + 8 <= all.size()) {
    const auto word = [&](size_t i) { return size_t(all[i] | all[i + 1] << 8 | all[i + 2] << 16 | size_t(all[i + 3]) << 24); };
    const size_t n = word(at);
    const size_t len = word(at + 4);
    ASSERT_LE(at + 8 + len, all.size());
    const std::vector<uint8_t> stream(all.begin() + long(at + 8), all.begin() + long(at + 8 + len));
    at += 8 + len;
    sizes.insert(len);
    const std::vector<uint8_t> expected(text.begin(), text.begin() + long(n));
    for (bool following : {true, false}) {
      std::vector<uint8_t> out;
      EXPECT_EQ(InflateMemory(stream, out, following), InflateOk) << n << " bytes, stream of " << len;
      EXPECT_TRUE(out == expected) << n << " bytes, stream of " << len;
    }
  }
  for (size_t len = 2040; len <= 2056; ++len) EXPECT_EQ(sizes.count(len), 1u) << "no stream of " << len << " bytes";
}

// A stream cut short anywhere fails (input exhausted, or invalid data when the stale bytes of
// the last refill decode as such); nothing but correct bytes reaches the output.
TEST(Inflate, TruncatedStreamsFailWithCorrectOutputOnly) {
  const Sample s = Compressed("b\"\".join(random.choice([b\"alpha \",b\"beta \",b\"gamma\\n\",random.randbytes(3)]) for _ in range(150000))", 6);
  ASSERT_GT(s.stream.size(), 20000u);
  for (size_t cut : {size_t(1), size_t(15), size_t(16), size_t(17), size_t(2047), size_t(2048), size_t(2049),
                     size_t(2048 * 5 + 9), s.stream.size() / 2, s.stream.size() - 64}) {
    const std::vector<uint8_t> head(s.stream.begin(), s.stream.begin() + long(cut));
    std::vector<uint8_t> out;
    const int result = InflateMemory(head, out, false);
    EXPECT_TRUE(result == InflateInputExhausted || result == InflateInvalidData) << "cut at " << cut << ": " << result;
    ASSERT_LE(out.size(), s.data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), s.data.begin())) << "cut at " << cut;
  }
}

TEST(Crc32, SlicedMatchesBytewise) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + 7);
  // Lengths around the 64-byte threshold and 16-byte blocks of the carry-less path, from an
  // aligned and an unaligned start.
  for (size_t start : {0u, 3u}) {
    for (size_t n : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 65u, 79u, 80u, 127u, 128u, 997u}) {
      EXPECT_EQ(UpdateCrc(0xFFFFFFFFu, bytes.data() + start, n),
                UpdateCrcBytewise(0xFFFFFFFFu, bytes.data() + start, n))
          << "start " << start << ", " << n << " bytes";
    }
  }
  const uint8_t check[] = "123456789";
  EXPECT_EQ(UpdateCrc(0xFFFFFFFFu, check, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
}

}  // namespace
}  // namespace kestrel::reader
