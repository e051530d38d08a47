// legacy_bench.cpp — unpacking speed of the old methods (shrink, reduce 1-4, implode in its four
// variants) next to `unzip` on the same archives:
//
//   legacy_bench [MEGABYTES [ROUNDS [REAL_ROUNDS]]]
//
// First one-entry archives made by the test encoders from a text corpus (the system headers)
// and a generated binary corpus, MEGABYTES each (default 8); then the real archives of
// tests/data/legacy in the methods unzip reads. Kestrel unpacks each archive through the
// directory walker and ExtractEntry (file creation, writes, CRC and stamping included), unzip
// with `unzip -qq -o` into a directory; times are median CPU seconds (user + system), unzip's
// including its start-up. `unzip` on this machine does not read reduce, so reduce is printed
// without a peer.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "bench/library_unpack.h"
#include "tests/reader/legacy_encoders.h"
#include "tests/reader/legacy_harness.h"

namespace {

using namespace kestrel::testing;

// Up to `limit` bytes of the headers under /usr/include, falling back to generated text.
std::vector<uint8_t> TextCorpus(size_t limit) {
  std::vector<uint8_t> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator("/usr/include", ec);
       !ec && it != std::filesystem::recursive_directory_iterator() && out.size() < limit;
       it.increment(ec)) {
    if (!it->is_regular_file(ec) || it->path().extension() != ".h") continue;
    std::ifstream in(it->path(), std::ios::binary);
    out.insert(out.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (out.size() < limit) {
    const auto extra = SampleText(limit - out.size(), 1);
    out.insert(out.end(), extra.begin(), extra.end());
  }
  out.resize(limit);
  return out;
}

// CPU seconds (user + system) of this process, or of its finished children.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Median CPU time of `rounds` unpackings of archive by Kestrel (in this process, through the
// directory walker and ExtractEntry) and by `unzip -qq -o` (a child process, start-up
// included). -1 for unzip when it cannot read the archive.
struct Times {
  double kestrel = 0;
  double unzip = 0;
};
Times TimeBoth(const LegacyScratch& scratch, const std::filesystem::path& archive, int rounds) {
  const auto dir = scratch.Path("out");
  const std::string command =
      "unzip -qq -o '" + archive.string() + "' -d '" + dir.string() + "' >/dev/null 2>&1";
  std::vector<double> kestrel, unzip;
  for (int r = 0; r < rounds; ++r) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    double start = CpuSeconds(RUSAGE_SELF);
    if (bench::UnpackWithLibrary(archive.string(), dir.string()) != 0) {
      std::fprintf(stderr, "kestrel failed on %s\n", archive.string().c_str());
      std::exit(1);
    }
    kestrel.push_back(CpuSeconds(RUSAGE_SELF) - start);
    std::filesystem::remove_all(dir);
    start = CpuSeconds(RUSAGE_CHILDREN);
    const int status = std::system(command.c_str());
    unzip.push_back(status == 0 ? CpuSeconds(RUSAGE_CHILDREN) - start : -1);
  }
  return {Median(kestrel), Median(unzip)};
}

void PrintRow(const char* corpus, const std::string& name, double ratio, double megabytes,
              const Times& t) {
  if (t.unzip > 0) {
    std::printf("%-10s %-22s %8.1f%% %7.1f MB/s %6.1f MB/s %6.2fx\n", corpus, name.c_str(),
                100 * ratio, megabytes / t.kestrel, megabytes / t.unzip, t.unzip / t.kestrel);
  } else {
    std::printf("%-10s %-22s %8.1f%% %7.1f MB/s %10s %7s\n", corpus, name.c_str(), 100 * ratio,
                megabytes / t.kestrel, "-", "-");
  }
  std::fflush(stdout);
}

// The methods unzip reads (shrink, implode) in the real archives of the test data, each
// unpacked `rounds` times; these are small, so unzip's start-up weighs heavily.
void RealArchives(const LegacyScratch& scratch, int rounds) {
  const std::filesystem::path dir = std::string(KESTREL_SOURCE_DIR) + "/tests/data/legacy";
  for (const char* name : {"HWSHRINK.ZIP", "HWIMPODE.ZIP", "z2_shrink.zip", "z2_implode.zip",
                           "ex_shrink.zip", "ex_implode.zip"}) {
    const auto archive = dir / name;
    uint64_t size = 0, packed = 0;
    for (const auto& item : ReadZip(archive)) {
      size += item.size;
      packed += item.compressed.size();
    }
    PrintRow("real", name, double(packed) / double(size), double(size) / (1 << 20),
             TimeBoth(scratch, archive, rounds));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 8;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const int realRounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 51;
  LegacyScratch scratch;
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> corpora = {
      {"text", TextCorpus(megabytes << 20)}, {"binary", SampleBinary(megabytes << 20, 2)}};

  std::printf("%-10s %-22s %9s %10s %10s %7s\n", "corpus", "method", "ratio", "kestrel",
              "unzip", "speedup");
  for (const auto& [corpus, data] : corpora) {
    std::vector<std::pair<std::string, ZipItem>> items;
    items.push_back({"shrink", MakeItem("s", 1, 0, data, ShrinkEncode(data))});
    for (int factor = 1; factor <= 4; ++factor) {
      items.push_back({"reduce " + std::to_string(factor),
                       MakeItem("r", uint16_t(factor + 1), 0, data, ReduceEncode(data, factor))});
    }
    for (const ImplodeVariant v : {ImplodeVariant{true, true}, ImplodeVariant{true, false},
                                   ImplodeVariant{false, true}, ImplodeVariant{false, false}}) {
      const std::string name = std::string("implode ") + (v.literalTree ? "lit " : "raw ") +
                               (v.largeDictionary ? "8K" : "4K");
      items.push_back({name, MakeItem("i", 6, v.Flags(), data, ImplodeEncode(data, v))});
    }
    for (const auto& [name, item] : items) {
      const auto archive = scratch.Path("one.zip");
      WriteZip(archive, {item});
      PrintRow(corpus.c_str(), name, double(item.compressed.size()) / double(item.size),
               double(item.size) / (1 << 20), TimeBoth(scratch, archive, rounds));
    }
  }
  RealArchives(scratch, realRounds);
  return 0;
}
