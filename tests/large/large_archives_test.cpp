// large_archives_test.cpp — archives that need zip64, written by zip and 7z: a 5 GiB file and
// 70,000 entries list, test and unpack byte-identical. Slow: left out of the default run.
#include <string>

#include "exports/unpack_walk.h"
#include "interop/peer_archives.h"
#include "kestrel.h"
#include "reader/zip_walker.h"

namespace kestrel::interop {
namespace {

class LargeArchives : public PeerScratch {
 protected:
  // The walk over archive: entries read, whether the directory was whole, the largest size.
  struct Listing {
    uint64_t entries = 0;
    uint64_t largest = 0;
    bool damaged = true;
  };
  Listing List(const std::string& archive) const {
    Listing l;
    reader::ZipDirEntry e;
    for (int32_t r = reader::FirstZipEntry(Drive(archive), e); r == 0;
         r = reader::NextZipEntry(e)) {
      l.largest = std::max(l.largest, e.uncompressedSize64);
    }
    l.entries = e.entriesRead;
    l.damaged = reader::DirectoryDamaged(e);
    return l;
  }
  // Test mode over every entry: the number that failed.
  int FailedInTest(const std::string& archive) const {
    struct Counter : exports::WalkObserver {
      int failed = 0;
      bool AfterEntry(const reader::ZipDirEntry&, int result) override {
        failed += result != 0;
        return true;
      }
    } counter;
    const auto summary =
        exports::UnpackArchive(Drive(archive), "", exports::WalkMode::Test, &counter);
    EXPECT_EQ(summary.result, 1) << summary.failure;
    return counter.failed;
  }
};

TEST_F(LargeArchives, FiveGibFileByZipAnd7z) {
  // Sparse zeros with marks at both ends, so a wrong offset or a cut shows.
  ASSERT_EQ(Sh("mkdir big && truncate -s 5G big/five.bin && printf head | dd of=big/five.bin "
               "conv=notrunc && printf tail | dd of=big/five.bin bs=1 seek=5368709116 "
               "conv=notrunc"), 0);
  ASSERT_EQ(Sh("cd big && zip -q -1 ../zip5.zip five.bin && 7z a -bd -tzip -mx1 ../7z5.zip five.bin"), 0);
  for (const std::string archive : {"zip5.zip", "7z5.zip"}) {
    SCOPED_TRACE(archive);
    const Listing l = List(archive);
    EXPECT_EQ(l.entries, 1u);
    EXPECT_FALSE(l.damaged);
    EXPECT_EQ(l.largest, 5ull << 30);
    EXPECT_EQ(FailedInTest(archive), 0);
    ASSERT_EQ(UnZipFile(Drive(archive).c_str(), Drive("out").c_str(), ""), 1);
    EXPECT_EQ(Sh("cmp big/five.bin out/five.bin"), 0);
    Sh("rm -rf out");
  }
}

TEST_F(LargeArchives, SeventyThousandEntriesByZipAnd7z) {
  ASSERT_EQ(Sh("mkdir -p many/a many/b && cd many && "
               "seq 1 35000 | sed 's|^|a/|' | xargs touch && "
               "seq 1 34999 | sed 's|^|b/|' | xargs touch && echo last > b/z.txt"), 0);
  ASSERT_EQ(Sh("cd many && zip -qr ../zip70k.zip a b && 7z a -bd -tzip ../7z70k.zip a b"), 0);
  for (const std::string archive : {"zip70k.zip", "7z70k.zip"}) {
    SCOPED_TRACE(archive);
    const Listing l = List(archive);
    EXPECT_EQ(l.entries, 70002u);  // two directory entries
    EXPECT_FALSE(l.damaged);
    EXPECT_EQ(FailedInTest(archive), 0);
    ASSERT_EQ(UnZipFile(Drive(archive).c_str(), Drive("out").c_str(), ""), 1);
    EXPECT_STREQ(kestrel_last_error(), "");
    EXPECT_EQ(Sh("diff -r many out"), 0);
    Sh("rm -rf out");
  }
}

}  // namespace
}  // namespace kestrel::interop
