// component_agrees_test.cpp — the zip component (TLynUnZip) loads every peer archive the
// walker reads and agrees with the walker entry by entry.
#include <string>
#include <vector>

#include "archive/lyn_unzip.h"
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
