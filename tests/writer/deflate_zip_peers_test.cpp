// Streams of every level wrapped into a minimal zip archive (method, flag bits and internal
// attributes from the compressor's result), checked by `unzip -t`, `7z t` and
// `python3 -m zipfile -t`, which verify each entry's CRC-32.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "archive/crc32.h"
#include "writer/deflate_test_support.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

class MiniZip {
 public:
  void Add(const std::string& name, const std::vector<uint8_t>& data, const Compressed& c) {
    uint32_t crc = ~archive::Crc32Fold(0xFFFFFFFFu, data.data(), data.size());
    Entry e{name, crc, uint32_t(c.bytes.size()), uint32_t(data.size()), c.result.method,
            c.result.flagBits, c.result.internalAttributes, uint32_t(out_.size())};
    Header(0x04034B50, e, false);
    out_.insert(out_.end(), name.begin(), name.end());
    out_.insert(out_.end(), c.bytes.begin(), c.bytes.end());
    entries_.push_back(e);
  }
  std::vector<uint8_t> Finish() {
    uint32_t start = uint32_t(out_.size());
    for (const auto& e : entries_) {
      Header(0x02014B50, e, true);
      out_.insert(out_.end(), e.name.begin(), e.name.end());
    }
    uint32_t size = uint32_t(out_.size()) - start;
    Put32(0x06054B50);
    Put16(0);
    Put16(0);
    Put16(uint16_t(entries_.size()));
    Put16(uint16_t(entries_.size()));
    Put32(size);
    Put32(start);
    Put16(0);
    return out_;
  }

 private:
  struct Entry {
    std::string name;
    uint32_t crc, csize, usize;
    uint16_t method, flags, internal;
    uint32_t offset;
  };
  void Put16(uint16_t v) { out_.push_back(uint8_t(v)), out_.push_back(uint8_t(v >> 8)); }
  void Put32(uint32_t v) { Put16(uint16_t(v)), Put16(uint16_t(v >> 16)); }
  void Header(uint32_t sig, const Entry& e, bool central) {
    Put32(sig);
    if (central) Put16(20);
    Put16(20);
    Put16(e.flags);
    Put16(e.method);
    Put16(0);       // 00:00:00
    Put16(0x21);    // 1980-01-01
    Put32(e.crc);
    Put32(e.csize);
    Put32(e.usize);
    Put16(uint16_t(e.name.size()));
    Put16(0);
    if (!central) return;
    Put16(0);
    Put16(0);
    Put16(e.internal);
    Put32(0);
    Put32(e.offset);
  }
  std::vector<uint8_t> out_;
  std::vector<Entry> entries_;
};

int RunTool(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

TEST(DeflateZipPeers, EveryLevelPassesUnzip7zAndPythonZipfile) {
  MiniZip zip;
  writer::Deflater d;
  int deflated = 0, stored = 0;
  for (size_t size : {size_t(0), size_t(100), size_t(65536), size_t(150001)}) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
        {"text", TextBytes(size, 1)}, {"random", RandomBytes(size, 2)},
        {"runs", RunBytes(size, 3)},  {"binary", BinaryBytes(size, 4)}};
    for (const auto& [kind, data] : inputs) {
      for (int level = 1; level <= 9; ++level) {
        Compressed c = Compress(d, data, level);
        (c.result.method == 8 ? deflated : stored)++;
        zip.Add(kind + "_" + std::to_string(size) + "_" + std::to_string(level) + ".bin", data, c);
      }
    }
  }
  EXPECT_GT(deflated, 50);
  EXPECT_GT(stored, 10);
  fs::path path = fs::temp_directory_path() / ("kestrel_deflate_peers_" + std::to_string(::getpid()) + ".zip");
  auto bytes = zip.Finish();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              std::streamsize(bytes.size()));
  EXPECT_EQ(RunTool("unzip -t -q " + path.string()), 0) << "unzip -t";
  EXPECT_EQ(RunTool("7z t " + path.string()), 0) << "7z t";
  EXPECT_EQ(RunTool("python3 -m zipfile -t " + path.string()), 0) << "python3 -m zipfile -t";
  fs::remove(path);
}

}  // namespace
}  // namespace kestrel::testing
