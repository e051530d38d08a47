// The component loads archives written by peers (zip, 7z, python3 zipfile, bsdtar) and
// agrees with an independent reading of each one, entry by entry.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "archive/lyn_unzip.h"
#include "archive_fixtures.h"
#include "classlib/exception.h"

namespace kestrel::archive {
namespace {

using namespace fixtures;

// Python's zipfile reads the central directory as a black box; names and comments come out
// as hex of their stored bytes.
const char* kTruthScript = R"PY(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(z.comment.hex() or '-', len(z.infolist()))
for i in z.infolist():
    raw = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
    y, mo, d, h, mi, s = i.date_time
    dos = ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)
    print(raw.hex(), i.compress_size, i.file_size, i.CRC, dos, i.external_attr,
          i.internal_attr, i.header_offset, i.volume, i.compress_type, i.flag_bits,
          i.comment.hex() or '-')
)PY";

std::string Unhex(const std::string& hex) {
  std::string out;
  if (hex == "-") return out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

struct Truth {
  std::string name, comment;
  uint32_t csize, usize, crc, dos, ext, internal, offset, disk, method, flags;
};

bool ReadTruth(const fs::path& archive, std::string& archiveComment, std::vector<Truth>& out) {
  ScratchDir dir;
  WriteText(dir / "truth.py", kTruthScript);
  std::string cmd = "python3 " + (dir / "truth.py").string() + " " + archive.string() + " > " +
                    (dir / "truth.txt").string();
  if (std::system(cmd.c_str()) != 0) return false;
  std::ifstream in(dir / "truth.txt");
  std::string commentHex;
  size_t count = 0;
  if (!(in >> commentHex >> count)) return false;
  archiveComment = Unhex(commentHex);
  for (size_t i = 0; i < count; ++i) {
    Truth t;
    std::string nameHex, commentHex2;
    in >> nameHex >> t.csize >> t.usize >> t.crc >> t.dos >> t.ext >> t.internal >> t.offset >>
        t.disk >> t.method >> t.flags >> commentHex2;
    if (!in) return false;
    t.name = Unhex(nameHex);
    for (char& c : t.name) {
      if (c == '/') c = '\\';
    }
    t.comment = Unhex(commentHex2);
    out.push_back(t);
  }
  return true;
}

// Loads the archive through the component and compares every entry with the truth.
void ExpectAgreement(const fs::path& archive) {
  SCOPED_TRACE(archive.string());
  std::string truthComment;
  std::vector<Truth> truth;
  ASSERT_TRUE(ReadTruth(archive, truthComment, truth));
  TLynUnZip z;
  z.SetZipName(DrivePath(archive));
  ASSERT_NO_THROW(z.OpenZip());
  EXPECT_FALSE(z.Repaired());
  EXPECT_EQ(z.NumberOfDisks(), 1);
  ASSERT_EQ(z.Count(), static_cast<int32_t>(truth.size()));
  EXPECT_EQ(z.ZipComment(), truthComment);
  for (int32_t i = 0; i < z.Count(); ++i) {
    const Truth& t = truth[static_cast<size_t>(i)];
    TZipHeaderInfo& h = z.Entry(i);
    SCOPED_TRACE(t.name);
    EXPECT_EQ(h.FullName(), t.name);
    EXPECT_EQ(h.compressedSize, t.csize);
    EXPECT_EQ(h.uncompressedSize, t.usize);
    EXPECT_EQ(h.crc32, t.crc);
    EXPECT_EQ(h.dateTime, t.dos);
    EXPECT_EQ(h.externalAttributes, t.ext);
    EXPECT_EQ(h.internalAttributes, t.internal);
    EXPECT_EQ(h.localHeaderOffset, t.offset);
    EXPECT_EQ(h.diskNumberStart, t.disk);
    EXPECT_EQ(h.method, t.method);
    EXPECT_EQ(h.flags, t.flags);
    EXPECT_EQ(z.FileCommentOf(i), t.comment);
  }
}

class PeerArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::SetCodePages(936, 936);
    fs::create_directories(dir_ / "tree" / "sub" / "empty");
    WriteText(dir_ / "tree" / "a.txt", std::string(5000, 'a') + "tail\n");
    WriteText(dir_ / "tree" / "empty.txt", "");
    std::string noise;
    for (int i = 0; i < 3000; ++i) noise.push_back(static_cast<char>((i * 7919) % 251));
    WriteText(dir_ / "tree" / "sub" / "noise.bin", noise);
    // A name in code page 936: "中文.txt".
    WriteText(dir_ / "tree" / "\xD6\xD0\xCE\xC4.txt", "gbk\n");
  }
  ScratchDir dir_;
};

TEST_F(PeerArchives, ZipCommand) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip missing";
  fs::path a = dir_ / "z.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() + " && zip -q -r " + a.string() + " ."), 0);
  ExpectAgreement(a);
  fs::path stored = dir_ / "z0.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() + " && zip -q -0 -r " + stored.string() +
                " . && echo 'the comment' | zip -q -z " + stored.string()),
            0);
  ExpectAgreement(stored);
  // Written to a pipe: the entry carries a data descriptor.
  fs::path dd = dir_ / "dd.zip";
  ASSERT_EQ(Shell("cat " + (dir_ / "tree" / "a.txt").string() + " | zip -q - - > " + dd.string()),
            0);
  ExpectAgreement(dd);
}

TEST_F(PeerArchives, SevenZip) {
  if (!HaveTool("7z")) GTEST_SKIP() << "7z missing";
  fs::path a = dir_ / "s.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() + " && 7z a -tzip " + a.string() + " ."), 0);
  ExpectAgreement(a);
  fs::path stored = dir_ / "s0.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() + " && 7z a -tzip -mx=0 " + stored.string() +
                " ."),
            0);
  ExpectAgreement(stored);
}

TEST_F(PeerArchives, PythonZipfileWithComments) {
  fs::path a = dir_ / "p.zip";
  fs::path script = dir_ / "make.py";
  WriteText(script, R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.comment = b'archive comment \x00 with a zero byte'
    i = zipfile.ZipInfo('dir/', (2001, 2, 3, 4, 5, 6)); i.external_attr = 0x10
    z.writestr(i, b'')
    i = zipfile.ZipInfo('dir/stored.txt', (2010, 12, 31, 23, 59, 58))
    i.comment = b'first entry comment'
    z.writestr(i, b'stored ' * 100, zipfile.ZIP_STORED)
    i = zipfile.ZipInfo('deflated.txt', (1980, 1, 1, 0, 0, 0))
    z.writestr(i, b'deflated ' * 1000, zipfile.ZIP_DEFLATED)
    i = zipfile.ZipInfo('x.bin'); i.comment = b'c' * 300; i.extra = b'\x99\x99\x04\x00abcd'
    z.writestr(i, bytes(range(256)) * 4, zipfile.ZIP_DEFLATED)
)PY");
  ASSERT_EQ(Shell("python3 " + script.string() + " " + a.string()), 0);
  ExpectAgreement(a);
  // Written to a pipe: every entry carries a data descriptor.
  fs::path dd = dir_ / "pdd.zip";
  fs::path pipe = dir_ / "pipe.py";
  WriteText(pipe, R"PY(
import sys, zipfile
class Pipe:
    def __init__(s, f): s.f = f
    def write(s, b): return s.f.write(b)
    def flush(s): s.f.flush()
with zipfile.ZipFile(Pipe(sys.stdout.buffer), 'w', zipfile.ZIP_DEFLATED) as z:
    for n in range(5):
        z.writestr('f%d.txt' % n, ('line %d\n' % n) * (200 * n + 1))
)PY");
  ASSERT_EQ(Shell("python3 " + pipe.string() + " | cat > " + dd.string()), 0);
  ExpectAgreement(dd);
}

TEST_F(PeerArchives, Bsdtar) {
  if (!HaveTool("bsdtar")) GTEST_SKIP() << "bsdtar missing";
  fs::path a = dir_ / "b.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() + " && LC_ALL=C bsdtar --format zip -cf " + a.string() +
                " ."),
            0);
  ExpectAgreement(a);
  fs::path stored = dir_ / "b0.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() +
                " && LC_ALL=C bsdtar --format zip --options zip:compression=store -cf " + stored.string() +
                " ."),
            0);
  ExpectAgreement(stored);
}

TEST_F(PeerArchives, SortedViewsHoldTheSameEntries) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip missing";
  fs::path a = dir_ / "v.zip";
  ASSERT_EQ(Shell("cd " + (dir_ / "tree").string() + " && zip -q -r " + a.string() + " ."), 0);
  TLynUnZip z;
  z.SetSortMode(ByName);
  z.SetZipName(DrivePath(a));
  z.OpenZip();
  ASSERT_NE(z.SortedView(), z.EntryList());
  ASSERT_EQ(z.SortedView()->Count(), z.Count());
  for (int32_t i = 1; i < z.Count(); ++i) {
    EXPECT_LE(CompareNamesNoCase(z.Entry(i - 1).FullName(), z.Entry(i).FullName()), 0);
  }
  for (int32_t i = 1; i < z.EntryList()->Count(); ++i) {
    EXPECT_LT(z.EntryList()->Header(i - 1)->localHeaderOffset,
              z.EntryList()->Header(i)->localHeaderOffset);
  }
  for (int32_t i = 0; i < z.Count(); ++i) {
    EXPECT_GE(z.EntryList()->IndexOf(&z.Entry(i)), 0);
  }
  z.ApplySortMode(ByNone);
  EXPECT_EQ(z.SortedView(), z.EntryList());
  EXPECT_EQ(z.SortMode(), ByNone);
}

}  // namespace
}  // namespace kestrel::archive
