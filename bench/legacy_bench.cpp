// legacy_bench.cpp — decoding speed of the old methods (shrink, reduce 1-4, implode in its four
// variants) next to `unzip` on the same archives. The archives are made by the test encoders
// from a text corpus (the system headers) and a generated binary corpus; each entry is timed
// through Kestrel's decoders into a file and through `unzip -o` into a directory (`unzip` on
// this machine does not read reduce, so reduce is printed without a peer). Kestrel's time is
// the decoder call alone (with its output writes and CRC); unzip's includes its start-up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/reader/legacy_encoders.h"
#include "tests/reader/legacy_harness.h"

namespace {

using namespace kestrel::testing;
using Clock = std::chrono::steady_clock;

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

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of `rounds` runs of Kestrel's decoder over one entry.
double TimeKestrel(const LegacyScratch& scratch, const ZipItem& item, int rounds) {
  double best = 1e9;
  for (int r = 0; r < rounds; ++r) {
    DecodeRequest request;
    request.method = item.method;
    request.flags = item.flags;
    request.data = item.compressed;
    request.trailer = {0x50, 0x4B, 0x01, 0x02};
    request.uncompressedSize = int32_t(item.size);
    const DecodeRun run = RunLegacyDecoder(scratch, request);
    const double t = run.seconds;
    if (run.result != 0 || run.crc != item.crc) {
      std::fprintf(stderr, "kestrel failed on %s: result %d\n", item.name.c_str(), run.result);
      std::exit(1);
    }
    best = std::min(best, t);
  }
  return best;
}

double TimeUnzip(const LegacyScratch& scratch, const ZipItem& item, int rounds) {
  const auto archive = scratch.Path("one.zip");
  WriteZip(archive, {item});
  const auto dir = scratch.Path("unzip_out");
  const std::string command =
      "unzip -qq -o '" + archive.string() + "' -d '" + dir.string() + "' >/dev/null 2>&1";
  double best = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const auto start = Clock::now();
    const int status = std::system(command.c_str());
    const double t = Seconds(start);
    if (status != 0) return -1;
    best = std::min(best, t);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? size_t(std::atoi(argv[1])) : 8;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  LegacyScratch scratch;
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> corpora = {
      {"text", TextCorpus(megabytes << 20)}, {"binary", SampleBinary(megabytes << 20, 2)}};

  std::printf("%-8s %-22s %9s %10s %10s %7s\n", "corpus", "method", "ratio", "kestrel",
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
      const double mb = double(item.size) / (1 << 20);
      const double kestrel = TimeKestrel(scratch, item, rounds);
      const double unzip = TimeUnzip(scratch, item, rounds);
      const double ratio = double(item.compressed.size()) / double(item.size);
      if (unzip > 0) {
        std::printf("%-8s %-22s %8.1f%% %7.1f MB/s %6.1f MB/s %6.2fx\n", corpus.c_str(),
                    name.c_str(), 100 * ratio, mb / kestrel, mb / unzip, unzip / kestrel);
      } else {
        std::printf("%-8s %-22s %8.1f%% %7.1f MB/s %10s %7s\n", corpus.c_str(), name.c_str(),
                    100 * ratio, mb / kestrel, "-", "-");
      }
      std::fflush(stdout);
    }
  }
  return 0;
}
