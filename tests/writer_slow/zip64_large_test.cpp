// Archives that need zip64 for real: a 5 GiB file, an archive past 4 GiB and 70,000 files,
// written by the component and by ZipFile, read by every peer with the sizes they hold.
// Updates of such archives, and a deflated entry of more than 2 GiB behind a data descriptor.
// Minutes of work on a small machine, so these run only in the slow suite.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
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

// zeros.bin (4100 MiB, stored) and tail.txt behind it, past 4 GiB, written by Python into a
// sparse file: the blocks of zeros are skipped, not written.
constexpr const char* kSparseZip64 = R"(import zipfile
Z = bytes(1 << 20)
class Sparse:
    def __init__(s, f): s.f = f
    def write(s, b):
        if len(b) == len(Z) and b == Z:
            s.f.seek(len(b), 1)
            return len(b)
        return s.f.write(b)
    def __getattr__(s, n): return getattr(s.f, n)
z = zipfile.ZipFile(Sparse(open('big.zip', 'wb')), 'w')
t = (2020, 1, 1, 0, 0, 0)
with z.open(zipfile.ZipInfo('zeros.bin', t), 'w', force_zip64=True) as w:
    for i in range(4100): w.write(Z)
z.writestr(zipfile.ZipInfo('tail.txt', t), b'past the mark\n')
z.close()
)";

TEST_F(Zip64LargeTest, AnEntryPastFourGiBIsCarriedOverByUpdates) {
  Write("make.py", kSparseZip64);
  ASSERT_EQ(Shell("python3 make.py"), 0);
  Write("src/tail.txt", "replaced, still past the mark\n");
  Write("src/new.txt", "new\n");
  writer::TLynZip zip;
  PrepareRelative(zip, D("big.zip"), D("src"), 6);
  zip.FilesList().Add("tail.txt");
  zip.FilesList().Add("new.txt");
  ASSERT_EQ(zip.RunZip(), 2);
  EXPECT_EQ(PeerList("big.zip"), "zeros.bin 4299161600\ntail.txt 30\nnew.txt 4\n");
  ExpectPeersAccept("big.zip");
  EXPECT_EQ(Capture("unzip -p big.zip tail.txt"), "replaced, still past the mark\n");
  // The component's directory holds the full values, as a load of the file finds them.
  {
    archive::TLynUnZip loaded;
    loaded.SetZipName(D("big.zip"));
    loaded.OpenZip();
    ASSERT_EQ(zip.Count(), 3);
    ASSERT_EQ(loaded.Count(), 3);
    EXPECT_GT(zip.Entry(1).localHeaderOffset64, 4ull << 30);
    for (int32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(zip.Entry(i).localHeaderOffset64, loaded.Entry(i).localHeaderOffset64) << i;
      EXPECT_EQ(zip.Entry(i).compressedSize64, loaded.Entry(i).compressedSize64) << i;
      EXPECT_EQ(zip.Entry(i).centralHeaderPosition64, loaded.Entry(i).centralHeaderPosition64);
    }
  }
  // A second update in the same object: without zeros.bin nothing needs zip64 any more.
  zip.DeleteList().Add("zeros.bin");
  EXPECT_EQ(zip.RunZip(), 0);
  EXPECT_EQ(PeerList("big.zip"), "tail.txt 30\nnew.txt 4\n");
  ExpectPeersAccept("big.zip");
  EXPECT_EQ(Read(H("big.zip")).find("PK\x06\x06"), std::string::npos);
  // tail.txt's central record keeps its extended timestamp and loses its zip64 field.
  EXPECT_EQ(Capture("python3 -c \"import zipfile, struct\n"
                    "e = zipfile.ZipFile('big.zip').getinfo('tail.txt').extra\n"
                    "while e: print(hex(struct.unpack('<H', e[:2])[0])); e = e[4 + e[2]:]\""),
            "0x5455\n");
  EXPECT_EQ(Capture("unzip -p big.zip tail.txt"), "replaced, still past the mark\n");
}

// A deflated entry (stored blocks, so 2.05 GiB compressed) streamed with a data descriptor:
// its local header holds no sizes and its directory offset is past 2 GiB without zip64 (Python
// would use zip64 from 2 GiB on; it is told to wait until 4 GiB, as other writers do).
constexpr const char* kStreamedLarge = R"(import zipfile
zipfile.ZIP64_LIMIT = (1 << 32) - 2
class Pipe:
    def __init__(s, f): s.f = f
    def write(s, b): return s.f.write(b)
    def flush(s): s.f.flush()
z = zipfile.ZipFile(Pipe(open('dd.zip', 'wb')), 'w', zipfile.ZIP_DEFLATED, compresslevel=0)
Z = bytes(1 << 20)
with z.open('zeros.bin', 'w') as w:
    for i in range(2100): w.write(Z)
z.writestr('tail.txt', b'after the zeros\n')
z.close()
)";

TEST_F(Zip64LargeTest, ADeflatedEntryOfTwoGiBBehindADataDescriptorIsReadAndUpdated) {
  Write("make.py", kStreamedLarge);
  ASSERT_EQ(Shell("python3 make.py"), 0);
  ASSERT_GT(fs::file_size(H("dd.zip")), 2147483648ull);
  const std::string test = std::string(KESTREL_CLI_PATH) + " test dd.zip";
  EXPECT_EQ(Shell(test), 0);
  Write("src/new.txt", "new\n");
  writer::TLynZip zip;
  PrepareRelative(zip, D("dd.zip"), D("src"), 6);
  zip.FilesList().Add("new.txt");
  ASSERT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(PeerList("dd.zip"), "zeros.bin 2202009600\ntail.txt 16\nnew.txt 4\n");
  ExpectPeersAccept("dd.zip");
  EXPECT_EQ(Shell(test), 0);
  EXPECT_EQ(Capture("unzip -p dd.zip tail.txt"), "after the zeros\n");
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
