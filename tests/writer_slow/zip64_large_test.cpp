// Archives that need zip64 for real: a 5 GiB file, an archive past 4 GiB and 70,000 files,
// written by the component and by ZipFile, read by every peer with the sizes they hold.
// Minutes of work on a small machine, so these run only in the slow suite.
#include <gtest/gtest.h>

#include "kestrel.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class Zip64LargeTest : public ZipScratch {};

TEST_F(Zip64LargeTest, AFiveGiBFileIsDeflatedWithZip64Sizes) {
  Write("src/a.txt", "before\n");
  Write("src/big.bin", "");
  fs::resize_file(H("src/big.bin"), 5ull << 30);  // sparse zeros
  Write("src/z.txt", "after\n");
  writer::TLynZip zip;
  PrepareRelative(zip, D("big.zip"), D("src"), 1);
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 3);
  EXPECT_EQ(PeerList("big.zip"), "a.txt 7\nbig.bin 5368709120\nz.txt 6\n");
  ExpectPeersAccept("big.zip");
  EXPECT_EQ(Capture("unzip -p big.zip z.txt"), "after\n");
}

TEST_F(Zip64LargeTest, AnArchivePastFourGiBHasZip64OffsetsAndEndRecord) {
  Write("src/big.bin", "");
  fs::resize_file(H("src/big.bin"), (4ull << 30) + 12345);
  Write("src/tail.txt", "past the 4 GiB mark\n");
  writer::TLynZip zip;
  PrepareRelative(zip, D("big.zip"), D("src"), 0);  // stored: the archive itself passes 4 GiB
  zip.FilesList().Add("big.bin");
  zip.FilesList().Add("tail.txt");  // its local header lies past 4 GiB
  ASSERT_EQ(zip.RunZip(), 2);
  EXPECT_GT(fs::file_size(H("big.zip")), 4ull << 30);
  EXPECT_EQ(PeerList("big.zip"), "big.bin 4294979641\ntail.txt 20\n");
  ExpectPeersAccept("big.zip");
  EXPECT_EQ(Capture("unzip -p big.zip tail.txt"), "past the 4 GiB mark\n");
}

TEST_F(Zip64LargeTest, SeventyThousandFilesThroughZipFile) {
  for (int i = 0; i < 70000; ++i) {
    const fs::path dir = H("src/d" + std::to_string(i / 1000));
    if (i % 1000 == 0) fs::create_directories(dir);
    std::ofstream(dir / ("f" + std::to_string(i)));
  }
  ASSERT_EQ(ZipFile(D("src").c_str(), D("many.zip").c_str(), "", 6, 1), 70000)
      << kestrel_last_error();
  EXPECT_EQ(Capture("python3 -c \"import zipfile; print(len(zipfile.ZipFile('many.zip').infolist()))\""),
            "70000\n");
  ExpectPeersAccept("many.zip");
}

}  // namespace
}  // namespace kestrel::testing
