// walker_test.cpp — IsZipArchive and the central directory walk on archives built in the
// test: result codes, delivered fields, comments and extra fields, streaming mode, and
// hostile sizes and offsets.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "reader/walker_archives.h"
#include "reader/zip_walker.h"

namespace kestrel::reader {
namespace {

namespace fs = std::filesystem;
using testing::ArchiveBuilder;
using testing::BuiltEntry;
using testing::NamedEntry;

class WalkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-walker-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // Writes bytes to a file of the scratch directory and returns its drive path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return Drive(dir_ / name);
  }
  static std::string Drive(const fs::path& host) {
    std::string drive;
    EXPECT_TRUE(os::host::DrivePath(host.string(), drive)) << host;
    return drive;
  }
  // Names of every entry the walk delivers, and the code that ended it.
  static std::vector<std::string> Walk(const std::string& path, int32_t& end) {
    std::vector<std::string> names;
    ZipDirEntry entry;
    int32_t r = FirstZipEntry(path, entry);
    while (r == 0) {
      names.emplace_back(entry.name);
      r = NextZipEntry(entry);
    }
    end = r;
    EXPECT_FALSE(entry.window);
    EXPECT_EQ(entry.file, os::kInvalidFile);
    return names;
  }

  fs::path dir_;
};

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST_F(WalkerTest, FilesWithoutADirectoryFail) {
  ZipDirEntry entry;
  EXPECT_EQ(FirstZipEntry(Drive(dir_ / "missing.zip"), entry), -1);
  EXPECT_EQ(FirstZipEntry(Write("empty.zip", {}), entry), -1);
  EXPECT_EQ(FirstZipEntry(Write("short.zip", Bytes("PK\x05\x06 too short")), entry), -1);
  // No end record anywhere in a file of several search blocks.
  EXPECT_EQ(FirstZipEntry(Write("none.zip", std::vector<uint8_t>(20000, 'x')), entry), -1);
  EXPECT_FALSE(entry.window);
  EXPECT_EQ(NextZipEntry(entry), -2);
}

TEST_F(WalkerTest, EndRecordBeforeOffset46) {
  ArchiveBuilder empty;
  ZipDirEntry entry;
  EXPECT_EQ(FirstZipEntry(Write("empty.zip", empty.Finish()), entry), -2);
}

TEST_F(WalkerTest, OneEntryDeliversItsFields) {
  ArchiveBuilder b;
  b.bytes.assign(7, 'S');  // a prefix, so the local header offset is not 0
  BuiltEntry e;
  e.name = "dir/sub/file.txt";
  e.data = "hello";
  e.method = 8;
  e.flags = 0x0002;
  e.externalAttributes = 0x1234'0021;
  b.Add(e);
  const std::string path = Write("one.zip", b.Finish());

  ZipDirEntry entry;
  ASSERT_EQ(FirstZipEntry(path, entry), 0);
  EXPECT_EQ(entry.name, "dir\\sub\\file.txt");
  EXPECT_EQ(entry.dateTime, 0x5A8B6C21u);
  EXPECT_EQ(entry.crc32, 0x12345678u);
  EXPECT_EQ(entry.compressedSize, 5u);
  EXPECT_EQ(entry.uncompressedSize, 5u);
  EXPECT_EQ(entry.localHeaderOffset, 7u);
  EXPECT_EQ(entry.method, 8);
  EXPECT_EQ(entry.flags, 0x0002);
  EXPECT_EQ(entry.attributes, 0x21);  // low byte only
  EXPECT_EQ(entry.file, os::kInvalidFile);  // small directory: the file is closed already
  EXPECT_EQ(NextZipEntry(entry), 1);
  EXPECT_FALSE(entry.window);
  EXPECT_EQ(NextZipEntry(entry), -2);
  CloseZipEntries(entry);  // harmless when closed
}

TEST_F(WalkerTest, CommentsExtraFieldsAndHosts) {
  ArchiveBuilder b;
  BuiltEntry first;
  first.name = "a.txt";
  first.extra = std::string(300, 'E');
  first.comment = "a file comment";
  first.versionMadeBy = 0x0314;  // made on Unix: no DOS attributes
  first.externalAttributes = 0x81A4'0001;
  b.Add(first);
  BuiltEntry second;
  second.name = "b.txt";
  b.Add(second);
  // An archive comment longer than a search block, holding a local header signature.
  const std::string path = Write("comments.zip", b.Finish("PK\x03\x04" + std::string(5000, 'c')));

  ZipDirEntry entry;
  ASSERT_EQ(FirstZipEntry(path, entry), 0);
  EXPECT_EQ(entry.name, "a.txt");
  EXPECT_EQ(entry.attributes, 0);
  ASSERT_EQ(NextZipEntry(entry), 0);
  EXPECT_EQ(entry.name, "b.txt");
  EXPECT_EQ(entry.attributes, 0x20);
  EXPECT_EQ(NextZipEntry(entry), 1);
}

// Cut only where the system's paths could not take them (Windows: 259); on Linux whole.
TEST_F(WalkerTest, LongNamesAreWholeUpToTheLimit) {
  ArchiveBuilder b;
  BuiltEntry e;
  e.name = std::string(5000, 'n');
  b.Add(e);
  ZipDirEntry entry;
  ASSERT_EQ(FirstZipEntry(Write("long.zip", b.Finish()), entry), 0);
  EXPECT_EQ(entry.name, std::string(std::min<size_t>(5000, kMaxEntryName), 'n'));
}

TEST_F(WalkerTest, LargeDirectoryStreamsThroughTheWindow) {
  ArchiveBuilder b;
  std::vector<std::string> expected;
  for (int i = 0; i < 1500; ++i) {
    BuiltEntry e;
    e.name = "folder/entry-" + std::to_string(i) + std::string(i % 37, 'x') + ".txt";
    e.comment = std::string(i % 11, 'k');
    e.extra = std::string((i * 7) % 29, 'e');
    b.Add(e);
    expected.push_back(e.name);
    for (char& c : expected.back()) {
      if (c == '/') c = '\\';
    }
  }
  const std::string path = Write("large.zip", b.Finish("the archive comment"));

  ZipDirEntry entry;
  ASSERT_EQ(FirstZipEntry(path, entry), 0);
  EXPECT_NE(entry.file, os::kInvalidFile);  // streaming keeps the archive open
  EXPECT_EQ(entry.windowSize, kMaxWalkerWindow);
  CloseZipEntries(entry);
  EXPECT_EQ(entry.file, os::kInvalidFile);

  int32_t end = 0;
  EXPECT_EQ(Walk(path, end), expected);
  EXPECT_EQ(end, 1);
}

TEST_F(WalkerTest, HostileOffsetsAndSizes) {
  ArchiveBuilder b;
  BuiltEntry e;
  e.name = "x.txt";
  e.data = std::string(100, 'd');
  b.Add(e);
  const std::vector<uint8_t> good = b.Finish();
  const size_t end = good.size() - archive::kEndCentralSize;
  const size_t central = end - (archive::kCentralHeaderSize + 5);
  ZipDirEntry entry;

  // A directory said to start beyond its end record, or beyond the file.
  std::vector<uint8_t> bad = good;
  archive::StoreLe32(&bad[end + 16], static_cast<uint32_t>(end + 1));
  EXPECT_EQ(FirstZipEntry(Write("beyond.zip", bad), entry), -1);
  archive::StoreLe32(&bad[end + 16], 0xFFFFFFF0u);
  EXPECT_EQ(FirstZipEntry(Write("far.zip", bad), entry), -1);

  // A record claiming more name, extra and comment bytes than the directory holds.
  bad = good;
  archive::StoreLe16(&bad[central + 28], 0xFFFF);
  archive::StoreLe16(&bad[central + 30], 0xFFFF);
  EXPECT_EQ(FirstZipEntry(Write("names.zip", bad), entry), 1);

  // A directory offset pointing into the file data, no signature there: the directory is
  // found where its size puts it, as for data in front, and the offsets move with it.
  bad = good;
  archive::StoreLe32(&bad[end + 16], 40);
  EXPECT_EQ(FirstZipEntry(Write("data.zip", bad), entry), 0);
  EXPECT_EQ(entry.localHeaderPosition, central - 40);
  // With its size wrong too, nothing is there: the walk ends at once.
  archive::StoreLe32(&bad[end + 12], 1);
  EXPECT_EQ(FirstZipEntry(Write("data.zip", bad), entry), 1);

  // Truncated in the middle of the directory: the end record is lost with it.
  bad.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(central + 20));
  EXPECT_EQ(FirstZipEntry(Write("cut.zip", bad), entry), -1);
  EXPECT_FALSE(entry.window);
}

TEST_F(WalkerTest, StreamingRecordThatRunsPastTheFile) {
  ArchiveBuilder b;
  for (int i = 0; i < 1200; ++i) {
    BuiltEntry e;
    e.name = "entry-" + std::to_string(i) + std::string(40, 'p');
    b.Add(e);
  }
  std::vector<uint8_t> bytes = b.Finish();
  // Make the last record claim a huge comment that would reach past the end of the file.
  const size_t end = bytes.size() - archive::kEndCentralSize;
  const size_t last = end - (archive::kCentralHeaderSize + 50);
  ASSERT_EQ(archive::LoadLe32(&bytes[last]), archive::kCentralHeaderSignature);
  archive::StoreLe16(&bytes[last + 32], 0xFFFF);
  int32_t code = 0;
  EXPECT_EQ(Walk(Write("stream.zip", bytes), code).size(), 1199u);
  EXPECT_EQ(code, 1);
}

TEST_F(WalkerTest, IsZipArchiveAnswers) {
  ArchiveBuilder b;
  BuiltEntry e;
  e.name = "a.txt";
  b.Add(e);
  const std::vector<uint8_t> zip = b.Finish();
  EXPECT_TRUE(IsZipArchive(Write("real.zip", zip)));
  EXPECT_FALSE(IsZipArchive(Write("nodot", zip)));  // no "." in the path at all
  EXPECT_FALSE(IsZipArchive(Drive(dir_ / "missing.zip")));
  EXPECT_FALSE(IsZipArchive(Write("nine.zip", Bytes("PK\x03\x04xxxxx"))));
  EXPECT_TRUE(IsZipArchive(Write("ten.zip", Bytes("PK\x03\x04xxxxxx"))));
  EXPECT_FALSE(IsZipArchive(Write("set.m01", Bytes("xml\x01\x02\x03\x04\x05\x06\x07\x08"))));
  // A path over 259 characters is refused only where the system's paths end there (Windows).
  const std::string dirName = std::string(200, 'd') + "/" + std::string(200, 'e');
  fs::create_directories(dir_ / dirName);
  const std::string longPath = Write(dirName + "/" + std::string(60, 'f') + ".zip", zip);
  ASSERT_GT(longPath.size(), 259u);
  EXPECT_EQ(IsZipArchive(longPath), longPath.size() <= kMaxIsZipPath);
}

TEST_F(WalkerTest, IsZipArchiveLeavesTheCurrentDirectory) {
  fs::create_directories(dir_ / "archive.zip");
  const std::string before = os::GetCurrentDirectory();
  const std::string path = Drive(dir_ / "archive.zip");
  EXPECT_FALSE(IsZipArchive(path));
  EXPECT_FALSE(IsZipArchive(path + "\\"));
  EXPECT_EQ(os::GetCurrentDirectory(), before);
}

// A DOS executable header whose image is pages * 512 (- 512 + lastPage) bytes long.
std::vector<uint8_t> DosStub(uint16_t lastPage, uint16_t pages, size_t length) {
  std::vector<uint8_t> stub(length, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  archive::StoreLe16(&stub[2], lastPage);
  archive::StoreLe16(&stub[4], pages);
  return stub;
}

TEST_F(WalkerTest, SelfExtractingArchives) {
  ArchiveBuilder whole;
  whole.bytes = DosStub(0, 3, 1536);  // the image ends at 3 * 512
  whole.Add(NamedEntry("in.txt"));
  const std::string full = Write("sfx.exe", whole.Finish());
  EXPECT_TRUE(IsZipArchive(full));
  ZipDirEntry entry;
  ASSERT_EQ(FirstZipEntry(full, entry), 0);
  EXPECT_EQ(entry.localHeaderOffset, 1536u);
  CloseZipEntries(entry);

  ArchiveBuilder oneLater;
  oneLater.bytes = DosStub(100, 2, 613);  // image ends at 612; the zip starts one byte later
  oneLater.Add(NamedEntry("in.txt"));
  EXPECT_TRUE(IsZipArchive(Write("later.exe", oneLater.Finish())));

  ArchiveBuilder elsewhere;
  elsewhere.bytes = DosStub(0, 1, 2000);  // zip data does not follow the DOS image
  elsewhere.Add(NamedEntry("in.txt"));
  EXPECT_FALSE(IsZipArchive(Write("other.exe", elsewhere.Finish())));
  EXPECT_FALSE(IsZipArchive(Write("zero.exe", DosStub(5, 0, 600))));  // negative image end
  EXPECT_FALSE(IsZipArchive(Write("mz.exe", Bytes("MZ\x01"))));
}

}  // namespace
}  // namespace kestrel::reader
