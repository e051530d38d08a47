// Archives past the classic limits: the zip64 fields and end records come exactly where a
// value outgrows its classic field, the peers read them, and a block set that would need
// them is refused with the old archive left as it was. (Files of 4 GiB and more are in the
// slow suite.)
#include <gtest/gtest.h>

#include <cstdio>

#include "writer/lyn_zip.h"
#include "writer/zip64_records.h"
#include "writer/zip_fixture.h"
#include "writer/zip_limits.h"

namespace kestrel::testing {
namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out;
}

TEST(Zip64Records, CentralFieldHoldsOnlyTheOverflowingValuesInOrder) {
  EXPECT_EQ(writer::CentralZip64Extra({10, 20, 30, 0}), "");
  EXPECT_EQ(Hex(writer::CentralZip64Extra({0x140000000ull, 5, 0xFFFFFFFFull, 0})),
            "01001000" "0000004001000000" "ffffffff00000000");
  EXPECT_EQ(Hex(writer::CentralZip64Extra({1, 0x100000000ull, 2, 0})),
            "01000800" "0000000001000000");
  EXPECT_EQ(Hex(writer::LocalZip64Extra({0x140000000ull, 7, 0, 0})),
            "01001000" "0000004001000000" "0700000000000000");
  // Other fields stay in their order; a zip64 field between them goes.
  const std::string ut("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
  const std::string z64("\x01\x00\x08\x00\x01\x02\x03\x04\x05\x06\x07\x08", 12);
  const std::string ux("\x75\x78\x00\x00", 4);
  EXPECT_EQ(writer::WithoutZip64Extra(ut + z64 + ux), ut + ux);
  EXPECT_EQ(writer::WithoutZip64Extra(ut + "\x01\x00\x09"), ut + "\x01\x00\x09");
}

class Zip64WriteTest : public ZipScratch {
 protected:
  // Directory entries of names that need not exist are the cheapest entries there are.
  static void AddDirectories(writer::TLynZip& zip, const std::string& root, int count) {
    char name[16];
    for (int i = 0; i < count; ++i) {
      std::snprintf(name, sizeof name, "d%05d\\", i);
      zip.FilesList().Add(root + "\\" + name);
    }
  }
};

TEST_F(Zip64WriteTest, SixtyFiveThousandFiveHundredThirtySixEntriesGetTheZip64EndRecord) {
  fs::create_directories(H("src"));
  writer::TLynZip zip;
  PrepareRelative(zip, D("many.zip"), D("src"), 0);
  AddDirectories(zip, D("src"), 65536);
  ASSERT_EQ(zip.RunZip(), 65536);
  const std::string bytes = Read(H("many.zip"));
  // zip64 end record (56 bytes), locator (20), classic end record (22) with the marker count.
  ASSERT_GT(bytes.size(), 98u);
  const std::string tail = bytes.substr(bytes.size() - 98);
  EXPECT_EQ(Hex(tail.substr(0, 4)), "504b0606");
  EXPECT_EQ(Hex(tail.substr(24, 16)), "0000010000000000" "0000010000000000");
  EXPECT_EQ(Hex(tail.substr(56, 4)), "504b0607");
  EXPECT_EQ(Hex(tail.substr(76, 4)), "504b0506");
  EXPECT_EQ(Hex(tail.substr(84, 4)), "ffffffff");
  EXPECT_EQ(Capture("python3 -c \"import zipfile; z=zipfile.ZipFile('many.zip');"
                    " print(len(z.infolist()), z.infolist()[-1].filename)\""),
            "65536 d65535/\n");
  ExpectPeersAccept("many.zip");
}

TEST_F(Zip64WriteTest, ABlockSetThatWouldNeedZip64IsRefused) {
  Write("src/a.txt", "alpha\n");
  fs::create_directories(H("out"));
  writer::TLynZip zip;
  PrepareRelative(zip, D("out/x.zip"), D("src"), 0);
  zip.SetMultiMode(archive::mmBlocks);
  AddDirectories(zip, D("src"), 65536);
  try {
    zip.RunZip();
    ADD_FAILURE() << "no exception";
  } catch (const writer::EZipLimit& e) {
    EXPECT_NE(std::string(e.what()).find("65535"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fs::is_empty(H("out")));
}

}  // namespace
}  // namespace kestrel::testing
