// component_agrees_test.cpp — the zip component (TLynUnZip) loads every peer archive the
// walker reads and agrees with the walker entry by entry.
#include <string>
#include <tuple>
#include <vector>

#include "archive/lyn_unzip.h"
#include "archive/zip_records.h"
#include "interop/peer_archives.h"
#include "reader/zip_walker.h"

namespace kestrel::interop {
namespace {

struct Seen {
  std::string name;
  uint32_t dateTime, uncompressedSize, compressedSize, localHeaderOffset, crc32;
  uint16_t method, attributes, flags;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
  *os << s.name << " time " << std::hex << s.dateTime << " crc " << s.crc32 << std::dec
      << " sizes " << s.uncompressedSize << "/" << s.compressedSize << " at "
      << s.localHeaderOffset << " method " << s.method << " attributes " << s.attributes
      << " flags " << s.flags;
}

std::vector<Seen> ThroughWalker(const std::string& drivePath) {
  std::vector<Seen> seen;
  reader::ZipDirEntry e;
  for (int32_t r = reader::FirstZipEntry(drivePath, e); r == 0; r = reader::NextZipEntry(e)) {
    seen.push_back({e.name, e.dateTime, e.uncompressedSize, e.compressedSize,
                    e.localHeaderOffset, e.crc32, e.method, e.attributes, e.flags});
  }
  return seen;
}

std::vector<Seen> ThroughComponent(archive::TLynUnZip& zip, const std::string& drivePath) {
  zip.SetSortMode(archive::ByNone);
  zip.SetZipName(drivePath);
  zip.OpenZip();
  std::vector<Seen> seen;
  for (int32_t i = 0; i < zip.EntryList()->Count(); ++i) {
    const archive::TZipHeaderInfo& h = *zip.EntryList()->Header(i);
    const bool dos = (h.versionMadeBy >> 8) == 0;
    seen.push_back({h.FullName(), h.dateTime, h.uncompressedSize, h.compressedSize,
                    h.localHeaderOffset, h.crc32, h.method,
                    static_cast<uint16_t>(dos ? h.externalAttributes & 0xFF : 0), h.flags});
  }
  return seen;
}

class ComponentAgrees : public PeerScratch {};

TEST_F(ComponentAgrees, EntryByEntryOnEveryPeerArchive) {
  for (const std::string& name : MakeEveryArchive()) {
    SCOPED_TRACE(name);
    const std::vector<Seen> walked = ThroughWalker(Drive(name));
    ASSERT_FALSE(walked.empty());
    archive::TLynUnZip zip;
    EXPECT_EQ(ThroughComponent(zip, Drive(name)), walked);
    EXPECT_EQ(zip.Count(), static_cast<int32_t>(walked.size()));
  }
}

TEST_F(ComponentAgrees, CommentsTheWalkerPassesOver) {
  const std::string name = MakePythonArchive();
  archive::TLynUnZip zip;
  ThroughComponent(zip, Drive(name));
  EXPECT_EQ(zip.ZipComment(), "archive comment");
  EXPECT_EQ(zip.FileCommentOf(0), "a file comment");
  EXPECT_EQ(zip.FileCommentOf(1), "");
}

}  // namespace
}  // namespace kestrel::interop

namespace kestrel::interop {
namespace {

// Name, full-width sizes and the local header's place in the file, as each engine reads them.
using Wide = std::tuple<std::string, uint64_t, uint64_t, uint64_t>;

std::vector<Wide> WideThroughWalker(const std::string& drivePath) {
  std::vector<Wide> seen;
  reader::ZipDirEntry e;
  for (int32_t r = reader::FirstZipEntry(drivePath, e); r == 0; r = reader::NextZipEntry(e)) {
    seen.emplace_back(e.name, e.uncompressedSize64, e.compressedSize64, e.localHeaderPosition);
  }
  return seen;
}

// repaired, when given, tells whether the component rebuilt the directory from the local headers.
std::vector<Wide> WideThroughComponent(const std::string& drivePath, bool* repaired = nullptr) {
  archive::TLynUnZip zip;
  zip.SetSortMode(archive::ByNone);
  zip.SetZipName(drivePath);
  zip.OpenZip();
  if (repaired != nullptr) *repaired = zip.Repaired();
  std::vector<Wide> seen;
  for (int32_t i = 0; i < zip.EntryList()->Count(); ++i) {
    const archive::TZipHeaderInfo& h = *zip.EntryList()->Header(i);
    seen.emplace_back(h.FullName(), h.uncompressedSize64, h.compressedSize64,
                      h.localHeaderOffset64);
  }
  return seen;
}

// Zip64 records, data in front (adjusted or not), an end record hidden in the archive comment
// and bytes after the archive: both engines read one directory.
TEST_F(ComponentAgrees, OneReadingOfZip64PrefixedAndHostileArchives) {
  ASSERT_EQ(Sh("python3 -c \"import zipfile\n"
               "zipfile.ZIP64_LIMIT = 10; zipfile.ZIP_FILECOUNT_LIMIT = 2\n"
               "z = zipfile.ZipFile('z64.zip', 'w', zipfile.ZIP_DEFLATED)\n"
               "for i in range(4): z.writestr('f%d' % i, 'data %d ' % i * 30)\n"
               "z.close()\""), 0);
  ASSERT_EQ(Sh("cd src && zip -qr ../plain.zip . && cd .. && printf '#!/bin/sh\\nexit 0\\n' > s && "
               "cat s z64.zip > z64-script.zip && cat s plain.zip > script.zip && "
               "cp script.zip adjusted.zip && zip -qA adjusted.zip && "
               "cat plain.zip s > trailing.zip"), 0);
  // The comment of hidden.zip holds a second end record claiming an empty directory.
  std::ifstream in(Host("plain.zip"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string fake("PK\x05\x06", 4);
  fake.append(18, '\0');
  const std::string comment = "x" + fake + "y";
  bytes[bytes.size() - 2] = char(comment.size());
  std::ofstream(Host("hidden.zip"), std::ios::binary) << bytes + comment;

  for (const char* name : {"z64.zip", "z64-script.zip", "script.zip", "adjusted.zip",
                           "trailing.zip", "hidden.zip"}) {
    SCOPED_TRACE(name);
    const std::vector<Wide> walked = WideThroughWalker(Drive(name));
    EXPECT_GE(walked.size(), 4u);
    EXPECT_TRUE(WideThroughComponent(Drive(name)) == walked);
  }
}

}  // namespace
}  // namespace kestrel::interop

namespace kestrel::interop {
namespace {

// An end record that counts fewer or more records than the directory holds: both engines read
// every record there is and both call the directory damaged (the walker's account, the
// component's repair); only the true count reads as sound.
TEST_F(ComponentAgrees, OneReadingWhenTheCountDisagreesWithTheRecords) {
  ASSERT_EQ(Sh("python3 -c \"import zipfile\n"
               "z = zipfile.ZipFile('five.zip', 'w', zipfile.ZIP_DEFLATED)\n"
               "for i in range(5): z.writestr('f%d' % i, 'data %d ' % i * 30)\n"
               "z.close()\""), 0);
  std::ifstream in(Host("five.zip"), std::ios::binary);
  const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (uint16_t declared : {5, 3, 0, 7}) {
    SCOPED_TRACE(declared);
    std::string bytes = good;
    const size_t end = bytes.size() - archive::kEndCentralSize;
    archive::StoreLe16(reinterpret_cast<uint8_t*>(bytes.data() + end + 8), declared);
    archive::StoreLe16(reinterpret_cast<uint8_t*>(bytes.data() + end + 10), declared);
    std::ofstream(Host("count.zip"), std::ios::binary | std::ios::trunc) << bytes;

    reader::ZipDirEntry e;
    std::vector<Wide> walked;
    for (int32_t r = reader::FirstZipEntry(Drive("count.zip"), e); r == 0;
         r = reader::NextZipEntry(e)) {
      walked.emplace_back(e.name, e.uncompressedSize64, e.compressedSize64, e.localHeaderPosition);
    }
    EXPECT_EQ(walked.size(), 5u);
    EXPECT_EQ(reader::DirectoryDamaged(e), declared != 5);

    bool repaired = false;
    EXPECT_TRUE(WideThroughComponent(Drive("count.zip"), &repaired) == walked);
    EXPECT_EQ(repaired, declared != 5);
  }
}

}  // namespace
}  // namespace kestrel::interop
