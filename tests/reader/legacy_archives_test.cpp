// legacy_archives_test.cpp — the real shrink, reduce and implode archives written by other
// programs: every entry must decode to its stored CRC, and the same file stored with different
// methods must come out identical.
#include <gtest/gtest.h>

#include <map>

#include "tests/reader/legacy_encoders.h"
#include "tests/reader/legacy_harness.h"

namespace kestrel::testing {
namespace {

const std::filesystem::path kLegacyData = std::filesystem::path(KESTREL_TEST_DATA) / "legacy";

const std::vector<uint8_t> kTrailer = {0x50, 0x4B, 0x03, 0x04, 0x0A, 0x00, 0x00, 0x00,
                                       0x08, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

DecodeRun DecodeItem(const LegacyScratch& scratch, const ZipItem& item) {
  DecodeRequest request;
  request.method = item.method;
  request.flags = item.flags;
  request.data = item.compressed;
  request.trailer = kTrailer;
  request.uncompressedSize = int32_t(item.size);
  return RunLegacyDecoder(scratch, request);
}

TEST(LegacyArchives, EveryEntryDecodesWithItsCrc) {
  LegacyScratch scratch;
  std::map<uint32_t, std::vector<uint8_t>> byCrc;  // same file in different archives
  int decoded = 0;
  for (const char* name : {"HWSHRINK.ZIP", "HWREDUCE.ZIP", "HWIMPODE.ZIP", "ex_shrink.zip",
                           "ex_reduce.zip", "ex_implode.zip", "z2_shrink.zip", "z2_reduce.zip",
                           "z2_implode.zip"}) {
    const auto items = ReadZip(kLegacyData / name);
    ASSERT_FALSE(items.empty()) << name;
    for (const auto& item : items) {
      if (item.method == 0) continue;  // the one stored entry of HWREDUCE.ZIP
      SCOPED_TRACE(std::string(name) + " " + item.name);
      const DecodeRun run = DecodeItem(scratch, item);
      EXPECT_EQ(run.result, 0);
      EXPECT_EQ(run.output.size(), item.size);
      EXPECT_EQ(run.crc, item.crc);
      EXPECT_EQ(Crc32(run.output), item.crc);
      auto [it, fresh] = byCrc.emplace(item.crc, run.output);
      if (!fresh) {
        EXPECT_EQ(it->second, run.output);
      }
      ++decoded;
    }
  }
  EXPECT_EQ(decoded, 14);
  EXPECT_EQ(byCrc.size(), 5u);  // three text files, one binary file, one more text file
}

TEST(LegacyArchives, TruncatedEntriesNeverPassTheirCrc) {
  LegacyScratch scratch;
  for (const char* name : {"HWSHRINK.ZIP", "HWREDUCE.ZIP", "HWIMPODE.ZIP"}) {
    for (auto item : ReadZip(kLegacyData / name)) {
      if (item.method == 0) continue;
      SCOPED_TRACE(std::string(name) + " " + item.name);
      // The archive ends in the middle of the entry's data.
      DecodeRequest request;
      request.method = item.method;
      request.flags = item.flags;
      request.compressedSize = int32_t(item.compressed.size());
      request.data.assign(item.compressed.begin(),
                          item.compressed.begin() + std::ptrdiff_t(item.compressed.size() / 2));
      request.uncompressedSize = int32_t(item.size);
      const DecodeRun run = RunLegacyDecoder(scratch, request);
      // Implode and shrink report the missing input; reduce leaves it to the CRC check.
      if (item.method == 1 || item.method == 6) {
        EXPECT_EQ(run.result, 3);
      }
      EXPECT_TRUE(run.result != 0 || run.crc != item.crc);
    }
  }
}

}  // namespace
}  // namespace kestrel::testing
