// Updating archives that peers wrote with zip64 records (Python's force_zip64, entries streamed
// with 8-byte data descriptors, zip -fz): an entry is replaced, one deleted and one added; the
// carried-over entries come back byte for byte, every peer accepts the result, and the
// component's directory afterwards is what a fresh load reads, ready for a second update.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class Zip64UpdateTest : public ZipScratch {
 protected:
  void SetUp() override {
    ZipScratch::SetUp();
    // The peer's copies, at an old time so that src/a.txt is newer.
    Write("peer/a.txt", kOldA);
    Write("peer/b.bin", kB);
    Write("peer/c.txt", "charlie\n");
    for (const char* f : {"peer/a.txt", "peer/b.bin", "peer/c.txt"}) SetTime(H(f), 1600000000);
    Write("src/a.txt", "alpha, newer\n");
    Write("src/d.txt", "delta\n");
  }

  // a.txt deflated, b.bin stored, c.txt deflated, by Python; streamed: to a pipe, so every
  // entry gets a data descriptor.
  void PythonArchive(const std::string& name, bool streamed) {
    const std::string target = streamed ? "sys.stdout.buffer" : "'../" + name + "'";
    const std::string pipe = streamed ? " | cat > ../" + name : "";
    ASSERT_EQ(Shell("cd peer && python3 -c \"import zipfile, sys\n"
                    "z = zipfile.ZipFile(" + target + ", 'w')\n"
                    "for n, m in (('a.txt', 8), ('b.bin', 0), ('c.txt', 8)):\n"
                    "  i = zipfile.ZipInfo(n, (2020, 9, 13, 12, 26, 40)); i.compress_type = m\n"
                    "  with z.open(i, 'w', force_zip64=True) as w: w.write(open(n, 'rb').read())\n"
                    "z.close()\"" + pipe),
              0);
  }

  // Replaces a.txt, deletes c.txt, adds d.txt.
  static void Update(writer::TLynZip& zip) {
    zip.FilesList().Add("a.txt");
    zip.FilesList().Add("d.txt");
    zip.DeleteList().Add("c.txt");
    ASSERT_EQ(zip.RunZip(), 2);
  }

  void ExpectUpdated(const std::string& archive) {
    ExpectPeersAccept(archive);
    EXPECT_EQ(PeerList(archive), "a.txt 13\nb.bin 5000\nd.txt 6\n");
    EXPECT_EQ(Capture("unzip -p " + archive + " a.txt"), "alpha, newer\n");
    EXPECT_EQ(Capture("unzip -p " + archive + " b.bin"), kB);
    EXPECT_EQ(Capture("unzip -p " + archive + " d.txt"), "delta\n");
  }

  // Per entry in file order: the bytes between its data and the next record, where a data
  // descriptor stands (24 bytes with 8-byte sizes and the signature).
  std::string DescriptorGaps(const std::string& archive) const {
    return Capture("python3 -c \"import zipfile, struct, sys\n"
                   "z = zipfile.ZipFile(sys.argv[1]); f = open(sys.argv[1], 'rb')\n"
                   "infos = sorted(z.infolist(), key=lambda i: i.header_offset)\n"
                   "ends = [i.header_offset for i in infos[1:]] + [z.start_dir]\n"
                   "for i, e in zip(infos, ends):\n"
                   "  f.seek(i.header_offset + 26); n, m = struct.unpack('<HH', f.read(4))\n"
                   "  print(i.filename, e - (i.header_offset + 30 + n + m + i.compress_size))\" " +
                   archive);
  }

  static constexpr const char* kOldA = "alpha, older and longer than the new one\n";
  const std::string kB = RandomBytes(5000, 3);
};

// The full values of the component's entries against a fresh load of the file.
void ExpectDirectoryIsTheLoadOf(const writer::TLynZip& zip) {
  archive::TLynUnZip loaded;
  loaded.SetZipName(zip.ZipName());
  loaded.OpenZip();
  ASSERT_EQ(zip.Count(), loaded.Count());
  for (int32_t i = 0; i < zip.Count(); ++i) {
    SCOPED_TRACE(i);
    const archive::TZipHeaderInfo& mine = zip.Entry(i);
    const archive::TZipHeaderInfo& theirs = loaded.Entry(i);
    EXPECT_EQ(mine.FullName(), theirs.FullName());
    EXPECT_EQ(mine.compressedSize, theirs.compressedSize);
    EXPECT_EQ(mine.compressedSize64, theirs.compressedSize64);
    EXPECT_EQ(mine.uncompressedSize64, theirs.uncompressedSize64);
    EXPECT_EQ(mine.localHeaderOffset, theirs.localHeaderOffset);
    EXPECT_EQ(mine.localHeaderOffset64, theirs.localHeaderOffset64);
    EXPECT_EQ(mine.centralHeaderPosition64, theirs.centralHeaderPosition64);
    EXPECT_EQ(mine.centralExtraLength, theirs.centralExtraLength);
  }
  EXPECT_EQ(zip.EndCentral().location.totalEntries, loaded.EndCentral().location.totalEntries);
  EXPECT_EQ(zip.EndCentral().location.centralOffset, loaded.EndCentral().location.centralOffset);
  EXPECT_EQ(zip.EndCentral().location.zip64EndPosition,
            loaded.EndCentral().location.zip64EndPosition);
}

TEST_F(Zip64UpdateTest, PeerZip64ArchivesAreUpdatedWhole) {
  PythonArchive("forced.zip", false);
  PythonArchive("streamed.zip", true);
  ASSERT_EQ(Shell("cd peer && zip -fz -q ../fz.zip a.txt b.bin c.txt"), 0);
  for (const std::string archive : {"forced.zip", "streamed.zip", "fz.zip"}) {
    SCOPED_TRACE(archive);
    ExpectPeersAccept(archive);
    const std::string descriptor = archive == "streamed.zip" ? "24" : "0";
    EXPECT_EQ(DescriptorGaps(archive), "a.txt " + descriptor + "\nb.bin " + descriptor +
                                           "\nc.txt " + descriptor + "\n");
    writer::TLynZip zip;
    PrepareRelative(zip, D(archive), D("src"), 6);
    Update(zip);
    ExpectUpdated(archive);
    EXPECT_EQ(DescriptorGaps(archive), "a.txt 0\nb.bin " + descriptor + "\nd.txt 0\n");
    ExpectDirectoryIsTheLoadOf(zip);
  }
}

TEST_F(Zip64UpdateTest, ASecondUpdateInTheSameObjectUsesTheDirectoryItWrote) {
  PythonArchive("streamed.zip", true);
  writer::TLynZip zip;
  PrepareRelative(zip, D("streamed.zip"), D("src"), 6);
  Update(zip);
  Write("src/e.txt", "echo\n");
  zip.FilesList().Add("e.txt");
  zip.DeleteList().Add("d.txt");
  ASSERT_EQ(zip.RunZip(), 1);
  ExpectPeersAccept("streamed.zip");
  EXPECT_EQ(PeerList("streamed.zip"), "a.txt 13\nb.bin 5000\ne.txt 5\n");
  EXPECT_EQ(Capture("unzip -p streamed.zip b.bin"), kB);
  ExpectDirectoryIsTheLoadOf(zip);
}

}  // namespace
}  // namespace kestrel::testing
