// Broken archives through the component: a lost or damaged central directory, wrong counts,
// duplicate offsets, false signatures, and cancelling the repair scan.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "archive_fixtures.h"
#include "classlib/exception.h"

namespace kestrel::archive {
namespace {

using namespace fixtures;

// Writes an archive with python3's zipfile: `body` runs with `z` open for writing.
void MakeArchive(const fs::path& out, const std::string& body) {
  ScratchDir tmp;
  WriteText(tmp / "make.py",
            "import sys, zipfile, random\nrandom.seed(7)\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n" + body);
  ASSERT_EQ(Shell("python3 " + (tmp / "make.py").string() + " " + out.string()), 0);
}

const char* kThreeEntries =
    "    z.writestr('a.txt', b'alpha ' * 300, zipfile.ZIP_DEFLATED)\n"
    "    i = zipfile.ZipInfo('dir/b.txt'); i.comment = b'bee'; i.external_attr = 0x21\n"
    "    z.writestr(i, b'beta ' * 50)\n"
    "    z.writestr('c.bin', bytes(range(256)) * 8, zipfile.ZIP_DEFLATED)\n";

struct Loaded {
  std::vector<std::string> names;
  std::vector<uint32_t> crcs, sizes, offsets, attributes;
  std::vector<std::string> comments;
};

Loaded Load(TLynUnZip& z) {
  z.OpenZip();
  Loaded l;
  for (int32_t i = 0; i < z.Count(); ++i) {
    TZipHeaderInfo& h = z.Entry(i);
    l.names.push_back(h.FullName());
    l.crcs.push_back(h.crc32);
    l.sizes.push_back(h.compressedSize);
    l.offsets.push_back(h.localHeaderOffset);
    l.attributes.push_back(h.externalAttributes);
    l.comments.push_back(z.FileCommentOf(i));
  }
  return l;
}

Loaded LoadPath(const fs::path& p, TIncompleteZipMode mode = izAssumeMulti) {
  TLynUnZip z;
  z.SetIncompleteZipMode(mode);
  z.SetZipName(DrivePath(p));
  return Load(z);
}

template <class E>
void ExpectLoadFails(const fs::path& p, TIncompleteZipMode mode, const char* message) {
  TLynUnZip z;
  z.SetIncompleteZipMode(mode);
  z.SetZipName(DrivePath(p));
  try {
    z.OpenZip();
    FAIL() << "loaded " << p;
  } catch (const E& e) {
    EXPECT_STREQ(e.what(), message);
  }
  EXPECT_EQ(z.Count(), 0);
}

class BrokenArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    good_ = dir_ / "good.zip";
    MakeArchive(good_, kThreeEntries);
    bytes_ = ReadAll(good_);
    end_ = FindEndRecord(bytes_);
    ASSERT_NE(end_, std::string::npos);
    central_ = Get32(bytes_, end_ + 16);
  }
  fs::path Variant(const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::path p = dir_ / name;
    WriteAll(p, bytes);
    return p;
  }
  ScratchDir dir_;
  fs::path good_;
  std::vector<uint8_t> bytes_;
  size_t end_ = 0;
  uint32_t central_ = 0;
};

TEST_F(BrokenArchives, LostDirectoryFollowsTheIncompleteMode) {
  std::vector<uint8_t> cut(bytes_.begin(), bytes_.begin() + central_);
  fs::path p = Variant("lost.zip", cut);
  ExpectLoadFails<EIncompleteZip>(p, izAssumeMulti, "Incomplete Zip File");
  ExpectLoadFails<ENotAZipFile>(p, izAssumeNotAZip, "Not a valid zip file!");

  Loaded want = LoadPath(good_);
  TLynUnZip z;
  z.SetZipName(DrivePath(p));
  int asked = 0;
  z.OnInCompleteZip = [&](Object* sender, TIncompleteZipMode& mode) {
    EXPECT_EQ(sender, &z);
    EXPECT_EQ(mode, izAssumeMulti);
    mode = izAssumeBad;
    ++asked;
  };
  Loaded got = Load(z);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(z.Repaired());
  EXPECT_EQ(z.IncompleteZipMode(), izAssumeBad);
  EXPECT_EQ(got.names, want.names);
  EXPECT_EQ(got.crcs, want.crcs);
  EXPECT_EQ(got.sizes, want.sizes);
  EXPECT_EQ(got.offsets, want.offsets);
  EXPECT_EQ(z.EndCentral().totalEntries, 3);
  EXPECT_EQ(z.EndCentral().centralOffset, central_);
}

TEST_F(BrokenArchives, LostEndRecordIsRepairedWithTheCentralRecords) {
  std::vector<uint8_t> cut(bytes_.begin(), bytes_.begin() + end_);
  Loaded want = LoadPath(good_);
  Loaded got = LoadPath(Variant("noend.zip", cut), izAssumeBad);
  EXPECT_EQ(got.names, want.names);
  EXPECT_EQ(got.offsets, want.offsets);
  // Attributes and comments exist only in the central records.
  EXPECT_EQ(got.attributes, want.attributes);
  EXPECT_EQ(got.comments, want.comments);
  EXPECT_EQ(got.comments[1], "bee");
}

TEST_F(BrokenArchives, TruncatedTailKeepsTheEntriesThatBegin) {
  Loaded want = LoadPath(good_);
  std::vector<uint8_t> cut(bytes_.begin(), bytes_.begin() + want.offsets[2] + 40);
  Loaded got = LoadPath(Variant("tail.zip", cut), izAssumeBad);
  ASSERT_EQ(got.names.size(), 3u);
  EXPECT_EQ(got.names, want.names);
  std::vector<uint8_t> headerOnly(bytes_.begin(), bytes_.begin() + want.offsets[2] + 10);
  Loaded fewer = LoadPath(Variant("tail2.zip", headerOnly), izAssumeBad);
  EXPECT_EQ(fewer.names.size(), 2u);
}

TEST_F(BrokenArchives, CountsBeyondTheDirectoryAreRepairedNotTrusted) {
  for (uint16_t count : {uint16_t{4}, uint16_t{0xFFFF}}) {
    std::vector<uint8_t> b = bytes_;
    Put16(b, end_ + 8, count);
    Put16(b, end_ + 10, count);
    TLynUnZip z;
    z.SetZipName(DrivePath(Variant("count.zip", b)));
    Loaded got = Load(z);
    EXPECT_TRUE(z.Repaired());
    EXPECT_EQ(got.names.size(), 3u);
    EXPECT_EQ(got.comments[1], "bee");
  }
  // Fewer than there are: damage too, as the walker finds it; no record is left out.
  std::vector<uint8_t> b = bytes_;
  Put16(b, end_ + 10, 2);
  TLynUnZip z;
  z.SetZipName(DrivePath(Variant("fewer.zip", b)));
  EXPECT_EQ(Load(z).names.size(), 3u);
  EXPECT_TRUE(z.Repaired());
}

TEST_F(BrokenArchives, DirectoryOffsetOutsideTheFile) {
  std::vector<uint8_t> b = bytes_;
  Put32(b, end_ + 16, 0x7FFFFFF0u);
  TLynUnZip z;
  z.SetZipName(DrivePath(Variant("far.zip", b)));
  EXPECT_EQ(Load(z).names.size(), 3u);
  EXPECT_TRUE(z.Repaired());
  // An offset of 2^31 or more rejects the end record altogether.
  Put32(b, end_ + 16, 0x80000000u);
  ExpectLoadFails<EIncompleteZip>(Variant("far2.zip", b), izAssumeMulti, "Incomplete Zip File");
}

TEST_F(BrokenArchives, DuplicateOffsetsAreRepaired) {
  std::vector<uint8_t> b = bytes_;
  size_t second = central_ + 46 + Get16(b, central_ + 28) + Get16(b, central_ + 30) +
                  Get16(b, central_ + 32);
  ASSERT_EQ(Get32(b, second), 0x02014B50u);
  Put32(b, second + 42, Get32(b, central_ + 42));
  TLynUnZip z;
  z.SetZipName(DrivePath(Variant("dup.zip", b)));
  Loaded got = Load(z);
  EXPECT_TRUE(z.Repaired());
  EXPECT_EQ(got.names, LoadPath(good_).names);
}

TEST_F(BrokenArchives, RepairThatFindsNothingClearsTheComponent) {
  std::vector<uint8_t> junk(30000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 31 + 7);
  TLynUnZip z;
  z.SetIncompleteZipMode(izAssumeBad);
  z.SetZipName(DrivePath(Variant("junk.zip", junk)));
  try {
    z.OpenZip();
    FAIL();
  } catch (const EBadZipFile& e) {
    EXPECT_STREQ(e.what(), "Not a valid zip file!");
  }
  EXPECT_EQ(z.ZipName(), "");
  EXPECT_EQ(z.Count(), 0);
  EXPECT_FALSE(z.Repaired());
}

TEST_F(BrokenArchives, CancelRequestStopsTheRepairScan) {
  std::vector<uint8_t> zeros(50000, 0);
  fs::path p = Variant("zeros.zip", zeros);
  TLynUnZip z;
  z.SetIncompleteZipMode(izAssumeBad);
  z.SetZipName(DrivePath(p));
  z.Cancel();
  try {
    z.OpenZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User Aborted Operation");
  }
  EXPECT_FALSE(z.CancelRequested());  // the request is used up
  z.SetDoProcessMessages(false);
  z.Cancel();
  EXPECT_THROW(z.OpenZip(), EBadZipFile);  // no look at the request without message processing
}

TEST_F(BrokenArchives, MissingExtraFieldIsTakenBack) {
  std::vector<uint8_t> b = bytes_;
  ASSERT_EQ(Get16(b, central_ + 30), 0);
  Put16(b, central_ + 30, 4);  // announces 4 bytes that are not there
  TLynUnZip z;
  z.SetZipName(DrivePath(Variant("extra.zip", b)));
  Loaded got = Load(z);
  EXPECT_FALSE(z.Repaired());
  EXPECT_EQ(got.names, LoadPath(good_).names);
  EXPECT_EQ(z.Entry(0).centralExtraLength, 0);
}

TEST_F(BrokenArchives, FalseSignaturesInsideDataAreSkipped) {
  // Entries written to a pipe carry data descriptors and no sizes in their local headers;
  // their (incompressible) data holds plausible-looking local header signatures.
  fs::path script = dir_ / "pipe.py";
  WriteText(script, R"PY(
import sys, zipfile, random
random.seed(3)
class Pipe:
    def __init__(s, f): s.f = f
    def write(s, b): return s.f.write(b)
    def flush(s): s.f.flush()
fake = b'PK\x03\x04\x14\x00\x00\x00\x00\x00' + bytes(16) + b'\x05\x00\x00\x00fake!'
with zipfile.ZipFile(Pipe(sys.stdout.buffer), 'w', zipfile.ZIP_DEFLATED) as z:
    for n in range(4):
        data = bytes(random.getrandbits(8) for _ in range(3000)) + fake + b'PK\x07\x08' * 3
        z.writestr('f%d.bin' % n, data)
)PY");
  fs::path p = dir_ / "pipe.zip";
  ASSERT_EQ(Shell("python3 " + script.string() + " | cat > " + p.string()), 0);
  Loaded want = LoadPath(p);
  ASSERT_EQ(want.names.size(), 4u);
  std::vector<uint8_t> b = ReadAll(p);
  size_t end = FindEndRecord(b);
  std::vector<uint8_t> cut(b.begin(), b.begin() + Get32(b, end + 16));
  Loaded got = LoadPath(Variant("pipe-lost.zip", cut), izAssumeBad);
  EXPECT_EQ(got.names, want.names);
  EXPECT_EQ(got.crcs, want.crcs);
  EXPECT_EQ(got.sizes, want.sizes);
  EXPECT_EQ(got.offsets, want.offsets);
}

TEST_F(BrokenArchives, SelfExtractorStubIsSkipped) {
  // A stub of 15,000 bytes holding a plausible local header at offset 100.
  std::vector<uint8_t> stub(15000, 'M');
  const uint8_t fake[] = {'P', 'K', 3, 4, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0,   0,   0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 'f', 'a', 'k', 'e'};
  std::copy(std::begin(fake), std::end(fake), stub.begin() + 100);
  std::vector<uint8_t> b = stub;
  b.insert(b.end(), bytes_.begin(), bytes_.begin() + central_);
  Loaded exe = LoadPath(Variant("sfx.EXE", b), izAssumeBad);
  ASSERT_EQ(exe.names.size(), 3u);
  EXPECT_EQ(exe.offsets[0], 15000u);
  Loaded zip = LoadPath(Variant("sfx.zip", b), izAssumeBad);
  ASSERT_EQ(zip.names.size(), 4u);
  EXPECT_EQ(zip.names[0], "fake");
  EXPECT_EQ(zip.offsets[1], 15000u);
}

}  // namespace
}  // namespace kestrel::archive
