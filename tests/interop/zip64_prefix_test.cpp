// zip64_prefix_test.cpp — archives with zip64 records and archives with data in front of them
// (a script with an archive appended, adjusted by `zip -A` or not): UnZipFile unpacks them
// like unzip, and broken zip64 structures fail cleanly.
#include <map>
#include <string>

#include "archive/zip64_records.h"
#include "exports/unpack_walk.h"
#include "interop/peer_archives.h"
#include "kestrel.h"
#include "reader/zip_walker.h"

namespace kestrel::interop {
namespace {

class Zip64AndPrefix : public PeerScratch {
 protected:
  // Files under root with their bytes.
  std::map<std::string, std::string> Files(const std::string& root) const {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(Host(root))) {
      if (!item.is_regular_file()) continue;
      std::ifstream in(item.path(), std::ios::binary);
      files[fs::relative(item.path(), Host(root)).string()].assign(
          std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
  }
  // UnZipFile succeeds on archive and gives what unzip gives.
  void ExpectLikeUnzip(const std::string& archive) {
    SCOPED_TRACE(archive);
    // unzip warns (status 1) about bytes in front of an unadjusted archive.
    ASSERT_LE(Sh("unzip -qo '" + archive + "' -d 'u-" + archive + "'"), 1 << 8);
    EXPECT_EQ(UnZipFile(Drive(archive).c_str(), Drive("k-" + archive).c_str(), ""), 1);
    EXPECT_STREQ(kestrel_last_error(), "");
    const auto expected = Files("u-" + archive);
    EXPECT_GE(expected.size(), 4u);
    EXPECT_TRUE(Files("k-" + archive) == expected);
  }
  // zipfile with its zip64 thresholds lowered, so that a small archive carries every zip64
  // structure: zip64 extra fields with sizes and offsets, the zip64 end record and locator.
  void MakePythonZip64(const std::string& name) const {
    ASSERT_EQ(Sh("python3 -c \"import zipfile\n"
                 "zipfile.ZIP64_LIMIT = 10; zipfile.ZIP_FILECOUNT_LIMIT = 2\n"
                 "z = zipfile.ZipFile('" + name + "', 'w', zipfile.ZIP_DEFLATED)\n"
                 "for i in range(5): z.writestr('d/f%d.txt' % i, ('entry %d ' % i) * (40 + i))\n"
                 "z.writestr('stored.bin', bytes(range(256)) * 3, zipfile.ZIP_STORED)\n"
                 "z.close()\""), 0);
  }
  std::string Bytes(const std::string& name) const {
    std::ifstream in(Host(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Host(name), std::ios::binary) << bytes;
  }
};

TEST_F(Zip64AndPrefix, ScriptsWithAnArchiveAppendedAdjustedOrNot) {
  ASSERT_EQ(Sh("cd src && zip -qr ../plain.zip ."), 0);
  ASSERT_EQ(Sh("printf '#!/bin/sh\\necho unpack me\\nexit 0\\n' > stub.sh && "
               "head -c 70000 /dev/urandom >> stub.sh && cat stub.sh plain.zip > script.zip && "
               "cp script.zip adjusted.zip && zip -qA adjusted.zip"), 0);
  ASSERT_NE(Bytes("script.zip"), Bytes("adjusted.zip"));  // zip -A rewrote the offsets
  ExpectLikeUnzip("script.zip");
  ExpectLikeUnzip("adjusted.zip");
}

TEST_F(Zip64AndPrefix, Zip64RecordsAlsoBehindAPrefix) {
  MakePythonZip64("z64.zip");
  ASSERT_EQ(Sh("printf 'MZ stub' > stub && cat stub z64.zip > z64-script.zip"), 0);
  ExpectLikeUnzip("z64.zip");
  ExpectLikeUnzip("z64-script.zip");

  reader::ZipDirEntry entry;
  ASSERT_EQ(reader::FirstZipEntry(Drive("z64-script.zip"), entry), 0);
  EXPECT_EQ(entry.localHeaderPosition, 7u);  // the stub's 7 bytes
  EXPECT_EQ(entry.uncompressedSize, archive::kZip64Marker);  // the record's own field
  EXPECT_EQ(entry.uncompressedSize64, 8u * 40);
  EXPECT_EQ(entry.entriesDeclared, 6u);
  ASSERT_EQ(reader::NextZipEntry(entry), 0);
  EXPECT_EQ(entry.localHeaderOffset, archive::kZip64Marker);
  reader::ZipDirEntry plain;
  ASSERT_EQ(reader::FirstZipEntry(Drive("z64.zip"), plain), 0);
  ASSERT_EQ(reader::NextZipEntry(plain), 0);
  EXPECT_GT(plain.localHeaderPosition, 30u);
  EXPECT_EQ(entry.localHeaderPosition, plain.localHeaderPosition + 7);
}

TEST_F(Zip64AndPrefix, BrokenZip64StructuresFailCleanly) {
  MakePythonZip64("z64.zip");
  const std::string good = Bytes("z64.zip");
  const size_t endAt = good.size() - archive::kEndCentralSize;
  const size_t zip64End = endAt - archive::kZip64LocatorSize - archive::kZip64EndSize;
  const auto* b = reinterpret_cast<const uint8_t*>(good.data());
  const size_t central = archive::LoadLe64(b + zip64End + 48);

  // The first record's zip64 field made 8 bytes shorter than the markers demand: that entry
  // is refused, the others unpack.
  std::string shortField = good;
  const size_t extraAt = central + archive::kCentralHeaderSize + archive::LoadLe16(b + central + 28);
  ASSERT_EQ(archive::LoadLe16(b + extraAt), archive::kZip64ExtraId);
  shortField[extraAt + 2] = char(archive::LoadLe16(b + extraAt + 2) - 8);
  Write("short.zip", shortField);
  struct Recorder : exports::WalkObserver {
    std::vector<int> results;
    bool AfterEntry(const reader::ZipDirEntry&, int result) override {
      results.push_back(result);
      return true;
    }
  } recorder;
  const auto summary = exports::UnpackArchive(Drive("short.zip"), Drive("k-short"),
                                              exports::WalkMode::Extract, &recorder);
  EXPECT_EQ(summary.result, 1);
  EXPECT_EQ(recorder.results, (std::vector<int>{exports::kEntryBadValues, 0, 0, 0, 0, 0}));

  // The locator pointing past the file and no zip64 end record before it: not an archive.
  std::string lost = good;
  lost[zip64End] = 'X';
  archive::StoreLe64(reinterpret_cast<uint8_t*>(lost.data()) + endAt - 12, ~0ull >> 1);
  Write("lost.zip", lost);
  reader::ZipDirEntry entry;
  EXPECT_EQ(reader::FirstZipEntry(Drive("lost.zip"), entry), -1);
  EXPECT_FALSE(entry.window);
}

}  // namespace
}  // namespace kestrel::interop
