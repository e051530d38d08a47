// deflate_bench.cpp — Kestrel's Deflate compressor beside zlib's, in memory.
//
//   deflate_bench [--levels 1,6,9] [--repeat N] PATH...
//       compresses every file under the paths in memory with Kestrel and with zlib (raw
//       Deflate, same level), checks Kestrel's stream by inflating it with zlib, and prints
//       time and size ratios per level. (bench/pack_bench.sh times the whole `kestrel zip`.)
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "writer/deflate.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct File {
  std::string name;
  std::vector<uint8_t> data;
};

std::vector<std::string> ListFiles(const std::vector<std::string>& roots) {
  std::vector<std::string> files;
  for (const auto& root : roots) {
    std::error_code ec;
    if (fs::is_regular_file(root, ec)) {
      files.push_back(root);
      continue;
    }
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class MemorySource : public kestrel::writer::DeflateSource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& d) : d_(d) {}
  uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
    size_t n = std::min<size_t>(size, d_.size() - pos_);
    std::memcpy(buffer, d_.data() + pos_, n);
    pos_ += n;
    crc = kestrel::archive::Crc32Fold(crc, buffer, n);
    return uint32_t(n);
  }
  uint32_t crc = 0xFFFFFFFFu;

 private:
  const std::vector<uint8_t>& d_;
  size_t pos_ = 0;
};

class MemorySink : public kestrel::writer::DeflateSink {
 public:
  void WriteOutput(uint8_t* buffer, uint32_t size) override { out.insert(out.end(), buffer, buffer + size); }
  std::vector<uint8_t> out;
};

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

size_t ZlibCompress(const std::vector<uint8_t>& in, int level, std::vector<uint8_t>& out) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  out.resize(deflateBound(&z, in.size()) + 16);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(in.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  size_t n = z.total_out;
  deflateEnd(&z);
  uint32_t crc = uint32_t(crc32(0, in.data(), uInt(in.size())));  // zlib's CRC, for fairness
  (void)crc;
  return n;
}

bool ZlibInflateEquals(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& expect) {
  z_stream z{};
  inflateInit2(&z, -15);
  std::vector<uint8_t> out(expect.size() + 1);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = uInt(stream.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  int rc = inflate(&z, Z_FINISH);
  bool ok = rc == Z_STREAM_END && z.total_out == expect.size() && z.avail_in == 0 &&
            std::equal(expect.begin(), expect.end(), out.begin());
  inflateEnd(&z);
  return ok;
}

int RunMemory(const std::vector<int>& levels, int repeat, const std::vector<std::string>& roots) {
  std::vector<File> files;
  size_t total = 0;
  for (const auto& name : ListFiles(roots)) {
    files.push_back({name, ReadAll(name)});
    total += files.back().data.size();
  }
  std::printf("%zu files, %zu bytes\n", files.size(), total);
  std::printf("level  kestrel_s  zlib_s  speedup  kestrel_bytes  zlib_bytes  size_ratio  verified\n");
  kestrel::writer::Deflater deflater;
  for (int level : levels) {
    double tk = 1e30, tz = 1e30;
    size_t bk = 0, bz = 0, bad = 0;
    for (int r = 0; r < repeat; ++r) {
      bk = 0;
      auto t0 = Clock::now();
      for (const auto& f : files) {
        MemorySource src(f.data);
        MemorySink sink;
        sink.out.reserve(f.data.size() / 2 + 64);
        auto res = deflater.deflate(level, src, sink);
        bk += res.compressedSize;
        if (r == 0) {
          bool ok = res.method == 0 ? sink.out == f.data : ZlibInflateEquals(sink.out, f.data);
          if (!ok) {
            ++bad;
            std::printf("ROUND TRIP FAILED: %s level %d\n", f.name.c_str(), level);
          }
        }
      }
      auto t1 = Clock::now();
      // Verification runs outside the timed region on later repeats only.
      if (r > 0 || repeat == 1) tk = std::min(tk, Seconds(t0, t1));
      bz = 0;
      std::vector<uint8_t> out;
      auto t2 = Clock::now();
      for (const auto& f : files) bz += ZlibCompress(f.data, level, out);
      auto t3 = Clock::now();
      tz = std::min(tz, Seconds(t2, t3));
    }
    std::printf("%5d  %9.3f  %6.3f  %7.2f  %13zu  %10zu  %9.4f%%  %s\n", level, tk, tz, tz / tk, bk, bz,
                100.0 * double(bk) / double(bz), bad ? "FAILED" : "ok");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> levels = {1, 6, 9};
  int repeat = 1;
  std::vector<std::string> roots;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--levels" && i + 1 < argc) {
      levels.clear();
      for (char* p = argv[++i]; *p;) {
        levels.push_back(int(std::strtol(p, &p, 10)));
        if (*p == ',') ++p;
      }
    } else if (a == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      roots.push_back(a);
    }
  }
  if (roots.empty()) roots.push_back("/usr/include");
  return RunMemory(levels, repeat, roots);
}
