// Round trips of the compressor at every level over generated data of every size near the
// window and block boundaries: decoded by the strict reference decoder here, and by Python's
// zlib (raw inflate) in one batch.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "writer/deflate_reference_inflate.h"
#include "writer/deflate_test_support.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

struct Kind {
  const char* name;
  std::function<std::vector<uint8_t>(size_t, uint64_t)> make;
};

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"text", TextBytes}, {"random", RandomBytes}, {"runs", RunBytes}, {"binary", BinaryBytes}};
  return kinds;
}

// Sizes around the lookahead (262), the window halves (32768, 65536) and the slide point
// (65274), and a few windows' worth.
const std::vector<size_t>& Sizes() {
  static const std::vector<size_t> sizes = {0,     1,     2,     3,     4,     261,   262,
                                            263,   32767, 32768, 32769, 65273, 65274, 65275,
                                            65535, 65536, 65537, 98303, 98305, 200000};
  return sizes;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void ExpectRoundTrip(const std::vector<uint8_t>& data, const Compressed& c, const std::string& what) {
  EXPECT_EQ(c.result.compressedSize, c.bytes.size()) << what;
  EXPECT_EQ(c.result.uncompressedSize, data.size()) << what;
  if (c.result.method == 0) {
    EXPECT_EQ(c.bytes, data) << what << ": a stored file must go out unchanged";
    return;
  }
  ASSERT_EQ(c.result.method, 8) << what;
  auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
  ASSERT_TRUE(decoded.has_value()) << what << ": malformed stream";
  EXPECT_TRUE(*decoded == data) << what << ": decoded bytes differ";
}

TEST(DeflateRoundTrip, EveryLevelKindAndBoundarySizeAlsoThroughPythonZlib) {
  fs::path dir = fs::temp_directory_path() / ("kestrel_deflate_rt_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream manifest(dir / "manifest.txt");
  writer::Deflater deflater;  // one object for every file, as in a zip run
  int cases = 0;
  for (const Kind& kind : Kinds()) {
    for (size_t size : Sizes()) {
      auto data = kind.make(size, size * 31 + 7);
      std::string base = std::string(kind.name) + "_" + std::to_string(size);
      WriteFile(dir / (base + ".in"), data);
      for (int level = 1; level <= 9; ++level) {
        std::string what = base + " level " + std::to_string(level);
        Compressed c = Compress(deflater, data, level);
        ExpectRoundTrip(data, c, what);
        std::string name = base + "_" + std::to_string(level) + ".deflate";
        WriteFile(dir / name, c.bytes);
        manifest << base << ".in " << name << " " << c.result.method << "\n";
        ++cases;
      }
    }
  }
  manifest.close();
  const char* script =
      "import sys, zlib, os\n"
      "d = sys.argv[1]; bad = 0\n"
      "for line in open(os.path.join(d, 'manifest.txt')):\n"
      "    src, stream, method = line.split()\n"
      "    a = open(os.path.join(d, src), 'rb').read()\n"
      "    b = open(os.path.join(d, stream), 'rb').read()\n"
      "    if method == '8':\n"
      "        o = zlib.decompressobj(-15); b = o.decompress(b) + o.flush()\n"
      "        if not o.eof or o.unused_data: bad += 1; print('not a complete stream:', stream); continue\n"
      "    if a != b: bad += 1; print('mismatch:', stream)\n"
      "sys.exit(1 if bad else 0)\n";
  WriteFile(dir / "check.py", std::vector<uint8_t>(script, script + std::strlen(script)));
  std::string cmd = "python3 " + (dir / "check.py").string() + " " + dir.string();
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cases << " streams checked by Python's zlib";
  fs::remove_all(dir);
}

TEST(DeflateRoundTrip, ShortReadsStillGiveAValidStream) {
  auto data = TextBytes(150000, 3);
  for (int level : {1, 4, 9}) {
    writer::Deflater d;
    Compressed c = Compress(d, data, level, 1000);
    ExpectRoundTrip(data, c, "chunks of 1000, level " + std::to_string(level));
  }
}

TEST(DeflateRoundTrip, MixedContentAcrossManyBlocks) {
  std::vector<uint8_t> data;
  for (int part = 0; part < 12; ++part) {
    auto piece = part % 3 == 0 ? RandomBytes(30000 + part * 977, part)
                 : part % 3 == 1 ? TextBytes(70000, part) : RunBytes(50000, part);
    data.insert(data.end(), piece.begin(), piece.end());
  }
  writer::Deflater d;
  for (int level = 1; level <= 9; ++level) {
    Compressed c = Compress(d, data, level);
    ExpectRoundTrip(data, c, "mixed level " + std::to_string(level));
    auto stats = ReferenceInflater::LastStats();
    EXPECT_GT(stats.stored + stats.fixed + stats.dynamic, 3) << "several blocks expected";
  }
}

}  // namespace
}  // namespace kestrel::testing
