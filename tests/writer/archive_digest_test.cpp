// Whole archives written by the component are pinned by their size and CRC-32: an archive
// that needs no zip64 records must stay byte-for-byte what earlier releases wrote, whatever
// is added to the writer for larger archives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "archive/crc32.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class ArchiveDigestTest : public ZipScratch {
 protected:
  void SetUp() override {
    ZipScratch::SetUp();
    // DOS times are local times: the digests hold for one zone.
    saved_ = std::getenv("TZ") ? std::getenv("TZ") : "";
    setenv("TZ", "UTC", 1);
    tzset();
    MakeSampleTree("src");
    time_t t = 1710000000;
    for (const char* dir : {"src/docs/deep", "src/docs", "src/\xE4\xB8\xAD\xE6\x96\x87"})
      SetTime(H(dir), t += 2);
  }
  void TearDown() override {
    if (saved_.empty()) unsetenv("TZ"); else setenv("TZ", saved_.c_str(), 1);
    tzset();
    ZipScratch::TearDown();
  }
  // "size crc" of a whole file.
  std::string Digest(const std::string& relative) const {
    const std::string bytes = Read(H(relative));
    char text[40];
    snprintf(text, sizeof text, "%zu %08X", bytes.size(),
             ~archive::Crc32Fold(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(bytes.data()),
                                 bytes.size()));
    return text;
  }
  int Pack(const std::string& archive, int level, bool dirEntries) {
    writer::TLynZip zip;
    PrepareRelative(zip, D(archive), D("src") + "\\", level);
    zip.SetAddDirEntriesOnRecurse(dirEntries);
    zip.FilesList().Add("*.*");
    return zip.RunZip();
  }
  std::string saved_;
};

TEST_F(ArchiveDigestTest, FreshArchivesAreThePinnedBytes) {
  struct Case { int level; bool dirs; const char* digest; };
  const Case cases[] = {{0, false, "262187 C3DD9E89"},
                        {1, true, "75828 65CC51A6"},
                        {6, false, "74586 3F8A0CD3"},
                        {9, true, "74158 B08753FD"}};
  for (const Case& c : cases) {
    const std::string name = "l" + std::to_string(c.level) + ".zip";
    ASSERT_EQ(Pack(name, c.level, c.dirs), c.dirs ? 8 : 5) << name;  // three directories
    EXPECT_EQ(Digest(name), c.digest) << name;
  }
}

TEST_F(ArchiveDigestTest, AnUpdateIsThePinnedBytes) {
  ASSERT_EQ(Pack("u.zip", 6, false), 5);
  Write("src/added.txt", "added later\n");
  SetTime(H("src/added.txt"), 1720000000);
  Write("src/readme.txt", "rewritten\n");
  SetTime(H("src/readme.txt"), 1720000002);
  writer::TLynZip zip;
  PrepareRelative(zip, D("u.zip"), D("src") + "\\", 6);
  zip.FilesList().Add("*.*");
  EXPECT_EQ(zip.RunZip(), 2);
  EXPECT_EQ(Digest("u.zip"), "70890 A8C42E2C");
}

}  // namespace
}  // namespace kestrel::testing
