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

int InflateMemory(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out) {
  MemoryStreams streams;
  streams.input = stream.data();
  streams.inputSize = stream.size();
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
