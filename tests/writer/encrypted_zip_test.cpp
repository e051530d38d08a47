// Enciphered archives written by RunZip: the peers open them with the password and refuse a
// wrong one at every level; headers carry bit 0 and the 12 extra bytes; an empty password
// enciphers nothing; a host cipher replaces the built-in one for the data.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class EncryptedZipTest : public ZipScratch, public ::testing::WithParamInterface<int> {
 protected:
  void MakeInput() {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "enciphered line " + std::to_string(i % 77) + "\n";
    Write("src/text.txt", text);
    Write("src/random.bin", RandomBytes(50000, 3));
    Write("src/empty", "");
    Write("src/sub/small", "x");
  }
  // Every file comes back through the peer's extraction with the password.
  void ExpectExtracts(const std::string& command) {
    SCOPED_TRACE(command);
    fs::remove_all(H("x"));
    ASSERT_EQ(Shell(command), 0);
    for (const char* f : {"text.txt", "random.bin", "empty", "sub/small"})
      EXPECT_EQ(Read(H("x") / f), Read(H("src") / f)) << f;
  }
};

TEST_P(EncryptedZipTest, PeersNeedTheRightPassword) {
  MakeInput();
  writer::TLynZip zip;
  PrepareRelative(zip, D("e.zip"), D("src"), GetParam());
  zip.SetPassword("k3strel pw");
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 4);
  for (int32_t i = 0; i < zip.Count(); ++i) {
    const archive::TZipHeaderInfo& h = zip.Entry(i);
    EXPECT_EQ(h.flags & 1, 1) << h.FullName();
    if (h.method == 0) {
      EXPECT_EQ(h.compressedSize, h.uncompressedSize + 12) << h.FullName();
    }
  }
  ExpectExtracts("unzip -q -P 'k3strel pw' e.zip -d x");
  ExpectExtracts("7z x -p'k3strel pw' -ox e.zip");
  ExpectExtracts(
      "python3 -c \"import zipfile; zipfile.ZipFile('e.zip').extractall('x', pwd=b'k3strel pw')\"");
  EXPECT_NE(Shell("unzip -tq -P 'k3strel PW' e.zip"), 0);
  EXPECT_NE(Shell("7z t -p'wrong' e.zip"), 0);
  EXPECT_NE(Shell("python3 -c \"import zipfile; z=zipfile.ZipFile('e.zip'); "
                  "[z.read(n, pwd=b'wrong') for n in z.namelist()]\""),
            0);
  // The component reads its own directory back: the flags and sizes as written.
  archive::TLynUnZip back;
  back.SetZipName(D("e.zip"));
  back.OpenZip();
  ASSERT_EQ(back.Count(), 4);
  EXPECT_EQ(back.Entry(0).flags & 1, 1);
}

INSTANTIATE_TEST_SUITE_P(Levels, EncryptedZipTest, ::testing::Values(0, 1, 6, 9));

TEST_F(EncryptedZipTest, EmptyFileHasJustTheHeaderAndEmptyPasswordEnciphersNothing) {
  Write("src/empty", "");
  writer::TLynZip zip;
  PrepareRelative(zip, D("e.zip"), D("src"), 0);
  zip.SetPassword("p");
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(zip.Entry(0).compressedSize, 12u);
  EXPECT_EQ(Shell("unzip -tq -P p e.zip"), 0);

  writer::TLynZip plain;
  PrepareRelative(plain, D("p.zip"), D("src"), 6);
  plain.FilesList().Add("*.*");
  ASSERT_EQ(plain.RunZip(), 1);
  EXPECT_EQ(plain.Entry(0).flags & 1, 0);
  EXPECT_EQ(Shell("unzip -tq p.zip"), 0);
}

TEST_F(EncryptedZipTest, HostCipherReplacesTheBuiltInOneForTheData) {
  Write("src/a.txt", std::string(5000, 'a'));
  writer::TLynZip zip;
  PrepareRelative(zip, D("h.zip"), D("src"), 0);
  zip.SetPassword("p");
  int64_t seen = 0;
  zip.OnEncrypt = [&](classlib::Object*, uint8_t* b, int32_t n, const std::string& password) {
    EXPECT_EQ(password, "p");
    seen += n;
    for (int32_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(b[i] ^ 0x5A);
  };
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(seen, 5000);
  // The data after the local header (30 + 5 name bytes + the 9-byte extended timestamp) and
  // the 12-byte header is the host's cipher of the file.
  const std::string bytes = Read(H("h.zip"));
  ASSERT_GT(bytes.size(), 44u + 12u + 5000u);
  for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(bytes[44 + 12 + i], static_cast<char>('a' ^ 0x5A));
}

}  // namespace
}  // namespace kestrel::testing
