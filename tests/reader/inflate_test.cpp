// inflate_test.cpp — Inflate on raw Deflate streams made by Python's zlib (wbits -15),
// decoded from memory, and on hand-made invalid streams.
#include <gtest/gtest.h>

#include <cstdio>
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
// may look a few bytes ahead of its last code.
int InflateMemory(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out) {
  std::vector<uint8_t> input = stream;
  input.insert(input.end(), {0x50, 0x4B, 0x01, 0x02, 0x14, 0x00, 0x14, 0x00});
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

TEST(Crc32, SlicedMatchesBytewise) {
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 31 + 7);
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 999u}) {
    EXPECT_EQ(UpdateCrc(0xFFFFFFFFu, bytes.data(), n), UpdateCrcBytewise(0xFFFFFFFFu, bytes.data(), n));
  }
  const uint8_t check[] = "123456789";
  EXPECT_EQ(UpdateCrc(0xFFFFFFFFu, check, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
}

}  // namespace
}  // namespace kestrel::reader
