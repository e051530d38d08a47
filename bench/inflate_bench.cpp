// inflate_bench.cpp — Kestrel's Inflate beside zlib's inflate on the same raw Deflate streams.
//
//   inflate_bench [--repeat N] [ARCHIVE.zip...]
//   inflate_bench --kestrel-only ARCHIVE.zip...   one Kestrel pass over the archives' streams
//                                                 and nothing else, for a profiler
//
// The streams are the deflated entries of each archive (read straight out of it) and a few
// generated ones (text, binary, runs, random at zlib levels 1, 6 and 9). Kestrel decodes each
// through the extraction driver's own path (2048-byte refills with the progress check, the
// window flush and the running CRC), output dropped; zlib decodes raw (-15 window bits) into a
// reused buffer, once alone and once followed by crc32 as an extractor needs. Every Kestrel
// CRC is checked against the archive's. Times are medians of N rounds over the whole group.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "bench/zip_index.h"
#include "reader/inflate.h"
#include "reader/unzip_state.h"

namespace {

struct Stream {
  // The raw Deflate stream, then the bytes that follow it: as in an archive, the decoder may
  // look a few bytes past the stream's last code.
  std::vector<uint8_t> data;
  size_t packed = 0;  // the stream's own size
  uint32_t crc = 0;
  uint64_t size = 0;  // uncompressed
};

struct Group {
  std::string name;
  std::vector<Stream> streams;
  uint64_t Bytes() const {
    uint64_t n = 0;
    for (const auto& s : streams) n += s.size;
    return n;
  }
};

// The deflated entries of a zip archive.
Group ReadArchive(const std::string& path) {
  const bench::ZipIndex index = bench::ReadZipIndex(path);
  Group group{path, {}};
  for (const auto& e : index.entries) {
    if (e.method != 8) continue;
    const auto data = index.bytes.begin() + long(e.dataOffset);
    const size_t following = std::min<size_t>(64, index.bytes.size() - e.dataOffset - e.packedSize);
    group.streams.push_back(
        {std::vector<uint8_t>(data, data + long(e.packedSize + following)), e.packedSize, e.crc, e.size});
  }
  return group;
}

Stream Compress(const std::vector<uint8_t>& raw, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Stream s;
  s.data.resize(deflateBound(&z, uLong(raw.size())));
  z.next_in = const_cast<uint8_t*>(raw.data());
  z.avail_in = uInt(raw.size());
  z.next_out = s.data.data();
  z.avail_out = uInt(s.data.size());
  deflate(&z, Z_FINISH);
  s.data.resize(z.total_out);
  s.packed = s.data.size();
  s.data.insert(s.data.end(), {0x50, 0x4B, 0x01, 0x02, 0x14, 0x00, 0x14, 0x00});
  deflateEnd(&z);
  s.crc = uint32_t(crc32(0, raw.data(), uInt(raw.size())));
  s.size = raw.size();
  return s;
}

// Generated inputs of 8 MB each: words (text), structured records with small numbers (binary),
// long runs of a few bytes, and random bytes (stored blocks).
std::vector<Group> Generated() {
  constexpr size_t kSize = 8u << 20;
  std::mt19937 rng(12345);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs(4);
  static const char* const kWords[] = {"static", "const", "return", "int", "struct", "the",
                                       "buffer", "window", "if", "(", ")", ";", "\n", "  ",
                                       "uint32_t", "for", "while", "=", "+", "0", "1", "{", "}"};
  inputs[0].first = "text";
  while (inputs[0].second.size() < kSize) {
    const char* w = kWords[rng() % std::size(kWords)];
    inputs[0].second.insert(inputs[0].second.end(), w, w + std::strlen(w));
    inputs[0].second.push_back(' ');
  }
  inputs[1].first = "binary";
  for (uint32_t i = 0; inputs[1].second.size() < kSize; ++i) {
    const uint32_t record[4] = {i, uint32_t(rng() % 64), 0x400000u + (i & 0xFF) * 16, 0};
    const auto* b = reinterpret_cast<const uint8_t*>(record);
    inputs[1].second.insert(inputs[1].second.end(), b, b + sizeof record);
  }
  inputs[2].first = "runs";
  while (inputs[2].second.size() < kSize) inputs[2].second.insert(inputs[2].second.end(), 1 + rng() % 2000, uint8_t(rng() % 4));
  inputs[3].first = "random";
  for (size_t i = 0; i < kSize; ++i) inputs[3].second.push_back(uint8_t(rng()));

  std::vector<Group> groups;
  for (const auto& [name, raw] : inputs) {
    for (int level : {1, 6, 9}) {
      groups.push_back({"generated " + name + " -" + std::to_string(level), {Compress(raw, level)}});
    }
  }
  return groups;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One pass of Kestrel over the group; false if any stream fails or has a wrong CRC.
bool KestrelPass(const Group& g) {
  using namespace kestrel::reader;
  for (const auto& s : g.streams) {
    MemoryStreams memory{s.data.data(), s.data.size(), 0, nullptr};
    UseMemoryStreams(&memory);
    BeginMemoryEntry(int32_t(s.packed));
    const int result = Inflate();
    const uint32_t crc = ~State().crc;
    EndMemoryEntry();
    UseMemoryStreams(nullptr);
    if (result != InflateOk || crc != s.crc) return false;
  }
  return true;
}

bool ZlibPass(const Group& g, bool withCrc) {
  static std::vector<uint8_t> out(262144);
  z_stream z{};
  inflateInit2(&z, -15);
  bool ok = true;
  for (const auto& s : g.streams) {
    inflateReset(&z);
    z.next_in = const_cast<uint8_t*>(s.data.data());
    z.avail_in = uInt(s.packed);
    uLong crc = crc32(0, nullptr, 0);
    int r;
    do {
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      r = inflate(&z, Z_NO_FLUSH);
      if (withCrc) crc = crc32(crc, out.data(), uInt(out.size() - z.avail_out));
    } while (r == Z_OK);
    if (r != Z_STREAM_END || (withCrc && uint32_t(crc) != s.crc)) ok = false;
  }
  inflateEnd(&z);
  return ok;
}

template <typename F>
double TimeMedian(int repeat, F pass) {
  std::vector<double> times;
  for (int r = 0; r < repeat; ++r) {
    const std::clock_t start = std::clock();
    if (!pass()) {
      std::fprintf(stderr, "decoding failed\n");
      std::exit(1);
    }
    times.push_back(double(std::clock() - start) / CLOCKS_PER_SEC);
  }
  return Median(times);
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  bool kestrelOnly = false;
  std::vector<Group> groups;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--kestrel-only") == 0) {
      kestrelOnly = true;
    } else {
      groups.push_back(ReadArchive(argv[i]));
    }
  }
  if (kestrelOnly) {
    for (const auto& g : groups) {
      if (!KestrelPass(g)) return 1;
    }
    return 0;
  }
  for (auto& g : Generated()) groups.push_back(std::move(g));

  std::printf("%-28s %7s %9s %9s %9s %9s %8s %8s\n", "streams", "count", "MB", "kestrel", "zlib",
              "zlib+crc", "vs zlib", "vs +crc");
  std::printf("%-28s %7s %9s %9s %9s %9s %8s %8s\n", "", "", "", "MB/s", "MB/s", "MB/s", "", "");
  for (const auto& g : groups) {
    const double mb = double(g.Bytes()) / 1e6;
    const double tk = TimeMedian(repeat, [&] { return KestrelPass(g); });
    const double tz = TimeMedian(repeat, [&] { return ZlibPass(g, false); });
    const double tc = TimeMedian(repeat, [&] { return ZlibPass(g, true); });
    std::string name = g.name;
    if (name.size() > 28) name = "..." + name.substr(name.size() - 25);
    // Ratios are speeds, Kestrel over zlib: above 1 means Kestrel is faster.
    std::printf("%-28s %7zu %9.1f %9.1f %9.1f %9.1f %8.2f %8.2f\n", name.c_str(), g.streams.size(), mb,
                mb / tk, mb / tz, mb / tc, tz / tk, tc / tk);
    std::fflush(stdout);
  }
  return 0;
}
