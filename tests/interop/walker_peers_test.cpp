// walker_peers_test.cpp — the reader's walker on archives written by zip, 7z, python3
// zipfile and bsdtar, entry by entry against zipinfo's view of the same archives; truncated
// and corrupted copies give the walker's result codes.
#include <algorithm>
#include <string>
#include <vector>

#include "archive/zip_records.h"
#include "interop/peer_archives.h"
#include "reader/zip_walker.h"

namespace kestrel::interop {
namespace {

std::string MethodText(uint16_t method) {
  switch (method) {
    case 0: return "none (stored)";
    case 8: return "deflated";
    default: return "method " + std::to_string(method);
  }
}

std::string DosTimeText(uint32_t dateTime) {
  static const char* const months[] = {"???", "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul",
                                       "Aug", "Sep", "Oct", "Nov", "Dec", "???", "???", "???"};
  const uint32_t date = dateTime >> 16, time = dateTime & 0xFFFF;
  char text[40];
  std::snprintf(text, sizeof text, "%u %s %u %02u:%02u:%02u", 1980 + (date >> 9),
                months[(date >> 5) & 15], date & 31, time >> 11, (time >> 5) & 63,
                (time & 31) * 2);
  return text;
}

// Every entry the walk delivers, in zipinfo's terms, and the code that ended the walk.
std::vector<PeerEntry> Walk(const std::string& drivePath, int32_t& end) {
  std::vector<PeerEntry> entries;
  reader::ZipDirEntry entry;
  int32_t r = reader::FirstZipEntry(drivePath, entry);
  while (r == 0) {
    PeerEntry e;
    e.name = entry.name;
    archive::MemoryNameToStored(e.name);
    e.offset = entry.localHeaderOffset;
    e.method = MethodText(entry.method);
    e.modified = DosTimeText(entry.dateTime);
    e.crc32 = entry.crc32;
    e.compressedSize = entry.compressedSize;
    e.uncompressedSize = entry.uncompressedSize;
    e.dosAttributes = entry.attributes;
    entries.push_back(e);
    r = reader::NextZipEntry(entry);
  }
  end = r;
  return entries;
}

class WalkerPeers : public PeerScratch {
 protected:
  // The walker sees exactly the entries zipinfo sees; returns how many there were.
  size_t ExpectLikeZipinfo(const std::string& archive) {
    SCOPED_TRACE(archive);
    std::vector<PeerEntry> expected = Zipinfo(archive);
    EXPECT_FALSE(expected.empty());
    for (PeerEntry& e : expected) {
      if (!e.dosOrigin) e.dosAttributes = 0;  // only MS-DOS hosts' attributes count
    }
    EXPECT_TRUE(reader::IsZipArchive(Drive(archive)));
    // Names marked UTF-8 come out in the ANSI code page; under 65001 that is how zipinfo
    // shows them (unmarked names stay the bytes stored, under any page).
    os::CodePageScope pages(65001, 65001);
    int32_t end = 0;
    const std::vector<PeerEntry> walked = Walk(Drive(archive), end);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(walked.size(), expected.size());
    for (size_t i = 0; i < std::min(walked.size(), expected.size()); ++i) {
      SCOPED_TRACE(expected[i].name);
      EXPECT_EQ(walked[i].name, expected[i].name);
      EXPECT_EQ(walked[i].offset, expected[i].offset);
      EXPECT_EQ(walked[i].method, expected[i].method);
      EXPECT_EQ(walked[i].modified, expected[i].modified);
      EXPECT_EQ(walked[i].crc32, expected[i].crc32);
      EXPECT_EQ(walked[i].compressedSize, expected[i].compressedSize);
      EXPECT_EQ(walked[i].uncompressedSize, expected[i].uncompressedSize);
      EXPECT_EQ(walked[i].dosAttributes, expected[i].dosAttributes);
    }
    return expected.size();
  }
};

TEST_F(WalkerPeers, ZipStoredDeflatedWithComment) {
  for (const std::string& name : MakeZipArchives()) EXPECT_EQ(ExpectLikeZipinfo(name), 7u);
}

TEST_F(WalkerPeers, SevenZipAndBsdtar) {
  for (const std::string& name : MakeSevenZipAndBsdtarArchives()) {
    EXPECT_GE(ExpectLikeZipinfo(name), 7u);
  }
}

TEST_F(WalkerPeers, PythonCommentsExtraFieldsAndNames) {
  EXPECT_EQ(ExpectLikeZipinfo(MakePythonArchive()), 4u);
}

TEST_F(WalkerPeers, NamesInCodePage936) {
  EXPECT_EQ(ExpectLikeZipinfo(MakeGbkArchive()), 3u);
  reader::ZipDirEntry entry;
  std::vector<std::string> names;
  for (int32_t r = reader::FirstZipEntry(Drive("gbk.zip"), entry); r == 0;
       r = reader::NextZipEntry(entry)) {
    names.emplace_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"\xC4\xBF\xC2\xBC\\", "\xC4\xBF\xC2\xBC\\\xCE\xC4.txt",
                                             "\xD6\xD0\xCE\xC4.txt"}));
}

TEST_F(WalkerPeers, SelfExtractingStub) { EXPECT_EQ(ExpectLikeZipinfo(MakeSelfExtractor()), 7u); }

TEST_F(WalkerPeers, LargeDirectoryStreams) {
  const std::string name = MakeLargeDirectoryArchive();
  ASSERT_GT(fs::file_size(Host(name)), 64000u * 2);
  EXPECT_EQ(ExpectLikeZipinfo(name), 1500u);
}

TEST_F(WalkerPeers, TruncatedAndCorruptedArchives) {
  ASSERT_EQ(Sh("cd src && zip -qr ../good.zip ."), 0);
  const std::string good = Capture("cat good.zip");
  const size_t central = good.find("PK\x01\x02");
  const size_t second = good.find("PK\x01\x02", central + 4);
  ASSERT_NE(second, std::string::npos);
  auto write = [this](const std::string& name, const std::string& bytes) {
    std::ofstream(Host(name), std::ios::binary) << bytes;
    return Drive(name);
  };
  reader::ZipDirEntry entry;
  int32_t end = 0;
  // Cut anywhere: the end record is lost (or incomplete), so nothing is found.
  EXPECT_EQ(reader::FirstZipEntry(write("half.zip", good.substr(0, good.size() / 2)), entry), -1);
  EXPECT_EQ(reader::FirstZipEntry(write("tail.zip", good.substr(0, good.size() - 1)), entry), -1);
  EXPECT_EQ(reader::FirstZipEntry(write("zero.zip", ""), entry), -1);
  // Python's empty archive is the end record alone.
  ASSERT_EQ(Sh("python3 -c \"import zipfile; zipfile.ZipFile('empty.zip', 'w').close()\""), 0);
  EXPECT_EQ(reader::FirstZipEntry(Drive("empty.zip"), entry), -2);
  // A damaged first record ends the walk at once; a damaged second one after one entry.
  std::string bad = good;
  bad[central + 2] = 'X';
  EXPECT_EQ(reader::FirstZipEntry(write("first.zip", bad), entry), 1);
  bad = good;
  bad[second + 3] = 'X';
  EXPECT_EQ(Walk(write("second.zip", bad), end).size(), 1u);
  EXPECT_EQ(end, 1);
  // A directory offset beyond the end record.
  bad = good;
  const size_t record = good.size() - archive::kEndCentralSize;
  archive::StoreLe32(reinterpret_cast<uint8_t*>(&bad[record + 16]), static_cast<uint32_t>(good.size()));
  EXPECT_EQ(reader::FirstZipEntry(write("beyond.zip", bad), entry), -1);
  EXPECT_FALSE(entry.window);
}

}  // namespace
}  // namespace kestrel::interop
