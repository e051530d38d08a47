// Archives written by RunZip at each level, checked and unpacked by the peers: unzip, 7z,
// Python's zipfile and bsdtar must accept them and give back the same bytes and times.
#include <gtest/gtest.h>

#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class LynZipPeerTest : public ZipScratch, public ::testing::WithParamInterface<int> {};

TEST_P(LynZipPeerTest, TreeUnpacksThroughPeersToTheSameBytesAndTimes) {
  MakeSampleTree("src");
  writer::TLynZip zip;
  PrepareRelative(zip, D("out.zip"), D("src"), GetParam());
  zip.FilesList().Add("*.*");
  EXPECT_EQ(zip.RunZip(), 5);
  ExpectPeersAccept("out.zip");

  struct Peer {
    const char* command;
    bool readsCp936;   // extracts the code page 936 name under its real name
    bool keepsTimes;
  };
  // unzip, 7z and bsdtar here take the names as code page 437; Python is told the code page.
  const Peer peers[] = {{"unzip -q out.zip -d x", false, true},
                        {"7z x -ox out.zip", false, true},
                        {"mkdir x && bsdtar -xf out.zip -C x", false, true},
                        {"python3 -m zipfile --metadata-encoding cp936 -e out.zip x", true, false}};
  for (const Peer& peer : peers) {
    SCOPED_TRACE(peer.command);
    fs::remove_all(H("x"));
    ASSERT_EQ(Shell(peer.command), 0);
    for (auto& e : fs::recursive_directory_iterator(H("src"))) {
      if (!e.is_regular_file()) continue;
      const fs::path rel = fs::relative(e.path(), H("src"));
      if (!peer.readsCp936 && rel.string().find('\xE6') != std::string::npos) continue;
      const fs::path back = H("x") / rel;
      EXPECT_EQ(Read(back), Read(e.path())) << rel;
      if (peer.keepsTimes) {
        EXPECT_EQ(MTime(back), MTime(e.path())) << rel;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, LynZipPeerTest, ::testing::Values(0, 1, 6, 9));

// Sizes around the 32 KB half window, the 64 KB window and the encoder's block limits, with
// text, runs and random data, at every level.
TEST_F(ZipScratch, BoundarySizesRoundTripAtEveryLevel) {
  const size_t sizes[] = {0, 1, 2, 3, 258, 32767, 32768, 32769, 65535, 65536, 65537, 131072 + 3};
  int files = 0;
  for (size_t size : sizes) {
    std::string text;
    while (text.size() < size) text += "the quick brown fox " + std::to_string(text.size() % 97) + "\n";
    text.resize(size);
    Write("in/t" + std::to_string(size), text);
    Write("in/r" + std::to_string(size), std::string(size, 'a'));
    Write("in/b" + std::to_string(size), RandomBytes(size, static_cast<unsigned>(size)));
    files += 3;
  }
  for (int level = 0; level <= 9; ++level) {
    SCOPED_TRACE(level);
    const std::string name = "l" + std::to_string(level) + ".zip";
    writer::TLynZip zip;
    PrepareRelative(zip, D(name), D("in"), level);
    zip.FilesList().Add("*.*");
    ASSERT_EQ(zip.RunZip(), files);
    EXPECT_EQ(Shell("unzip -tq " + name), 0);
    EXPECT_EQ(Shell("7z t " + name), 0);
    fs::remove_all(H("x"));
    ASSERT_EQ(Shell("unzip -q " + name + " -d x"), 0);
    for (auto& e : fs::directory_iterator(H("in")))
      EXPECT_EQ(Read(H("x") / e.path().filename()), Read(e.path())) << e.path().filename();
  }
}

TEST_F(ZipScratch, CodePage936NamesReadBackAsThemselves) {
  MakeSampleTree("src");
  writer::TLynZip zip;
  PrepareRelative(zip, D("out.zip"), D("src"), 6);
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 5);
  // 中文/文件.txt is stored in GBK (D6D0 CEC4 / CEC4 BCFE .txt). This machine's unzip has no
  // -O option, so the name is read back through Python with the code page named.
  const std::string raw = Read(H("out.zip"));
  EXPECT_NE(raw.find("\xD6\xD0\xCE\xC4/\xCE\xC4\xBC\xFE.txt"), std::string::npos);
  const std::string listing =
      Capture("python3 -c \"import zipfile\nfor i in zipfile.ZipFile('out.zip', "
              "metadata_encoding='cp936').infolist(): print(i.filename)\"");
  EXPECT_NE(listing.find("\xE4\xB8\xAD\xE6\x96\x87/\xE6\x96\x87\xE4\xBB\xB6.txt"),
            std::string::npos)
      << listing;
  if (Shell("unzip -O cp936 -l out.zip") == 0) {
    EXPECT_NE(Capture("unzip -O cp936 -l out.zip").find("\xE4\xB8\xAD\xE6\x96\x87/"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace kestrel::testing
