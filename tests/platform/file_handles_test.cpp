// file_handles_test.cpp — opening, reading, writing, seeking and truncating files through
// handles, with the Win32 results for missing, existing, read-only and directory targets, and
// devices refused as sources.
#include <sys/stat.h>

#include <filesystem>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

class FileHandles : public ScratchDrive {};

TEST_F(FileHandles, WriteSeekReadTruncate) {
  FileHandle f = OpenFile(D("a.bin"), Access::ReadWrite, Disposition::CreateNew);
  ASSERT_NE(f, kInvalidFile);
  uint32_t done = 0;
  ASSERT_TRUE(WriteFile(f, "hello world", 11, done));
  EXPECT_EQ(done, 11u);
  EXPECT_EQ(FileSize(f), 11);
  EXPECT_EQ(SeekFile(f, 6, SeekFrom::Begin), 6);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(f, buf, sizeof buf, done));
  EXPECT_EQ(done, 5u);
  EXPECT_EQ(std::string(buf, done), "world");
  ASSERT_TRUE(ReadFile(f, buf, sizeof buf, done));  // end of file: success, nothing read
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(SeekFile(f, -6, SeekFrom::End), 5);
  ASSERT_TRUE(SetEndOfFile(f));
  EXPECT_EQ(FileSize(f), 5);
  EXPECT_EQ(SeekFile(f, -6, SeekFrom::Current), -1);
  EXPECT_EQ(LastError(), kErrorNegativeSeek);
  EXPECT_EQ(SeekFile(f, 100, SeekFrom::Begin), 100);  // past the end is allowed
  ASSERT_TRUE(CloseFile(f));
  EXPECT_EQ(Read("a.bin"), "hello");
}

TEST_F(FileHandles, DispositionsKeepTheirWin32Meaning) {
  Write("old.txt", "old");
  EXPECT_EQ(OpenFile(D("old.txt"), Access::Write, Disposition::CreateNew), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorFileExists);
  EXPECT_EQ(OpenFile(D("none.txt"), Access::Read, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(OpenFile(D("nodir\\x.txt"), Access::Read, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_EQ(OpenFile(D("nodir\\x.txt"), Access::Write, Disposition::CreateAlways), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  FileHandle f = OpenFile(D("old.txt"), Access::ReadWrite, Disposition::OpenAlways);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_EQ(FileSize(f), 3);  // OpenAlways keeps the contents
  CloseFile(f);
  f = OpenFile(D("old.txt"), Access::Write, Disposition::CreateAlways);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(FileSize(f), 0);  // CreateAlways truncates
  CloseFile(f);
}

TEST_F(FileHandles, ReadOnlyFilesAndDirectoriesRefuseWriters) {
  Write("ro.txt", "keep");
  ASSERT_TRUE(SetFileAttributes(D("ro.txt"), kAttrReadOnly));
  EXPECT_EQ(OpenFile(D("ro.txt"), Access::Write, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_EQ(OpenFile(D("ro.txt"), Access::Read, Disposition::CreateAlways), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  FileHandle f = OpenFile(D("ro.txt"), Access::Read, Disposition::OpenExisting);
  ASSERT_NE(f, kInvalidFile);
  CloseFile(f);
  EXPECT_EQ(Read("ro.txt"), "keep");

  // Windows calls a folder or a file in the way "access denied" and "path not found"; Linux
  // names them, so that a user learns what is in the way.
  std::filesystem::create_directory(H("dir"));
  EXPECT_EQ(OpenFile(D("dir"), Access::Read, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorDirectoryNotSupported);
  EXPECT_EQ(OpenFile(D("dir"), Access::Write, Disposition::CreateNew), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorDirectoryNotSupported);
  EXPECT_EQ(OpenFile(D("ro.txt\\x"), Access::Write, Disposition::CreateNew), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorDirectory);
}

// A device holds no file's data to read (a link to /dev/zero in a tree would be read for
// ever); writing to one stays allowed.
TEST_F(FileHandles, DevicesAreNoSourceButMayBeWritten) {
  std::filesystem::create_symlink("/dev/zero", H("zero"));
  EXPECT_EQ(OpenFile(D("zero"), Access::Read, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorBadFileType);
  std::filesystem::create_symlink("/dev/null", H("null"));
  const FileHandle sink = OpenFile(D("null"), Access::Write, Disposition::OpenExisting);
  ASSERT_NE(sink, kInvalidFile);
  EXPECT_TRUE(CloseFile(sink));
}

TEST_F(FileHandles, ClosedOrBogusHandlesFail) {
  uint32_t done = 0;
  char c;
  EXPECT_FALSE(ReadFile(kInvalidFile, &c, 1, done));
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
  EXPECT_FALSE(CloseFile(kInvalidFile));
  EXPECT_EQ(FileSize(kInvalidFile), -1);
}

TEST_F(FileHandles, LastWriteTimeRoundTrips) {
  FileHandle f = OpenFile(D("t.txt"), Access::Write, Disposition::CreateNew);
  ASSERT_NE(f, kInvalidFile);
  FileTime want;
  ASSERT_TRUE(DosDateTimeToFileTime((44 << 9) | (6 << 5) | 15, (13 << 11) | (45 << 5) | 10, want));
  ASSERT_TRUE(SetFileTime(f, nullptr, nullptr, &want));
  FileTime got, access;
  ASSERT_TRUE(GetFileTime(f, nullptr, &access, &got));
  EXPECT_EQ(got, want);
  CloseFile(f);
  FindData data;
  FindHandle h = FindFirstFile(D("t.txt"), data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.lastWrite, want);
  FindClose(h);
}

TEST_F(FileHandles, SecondReaderWhileOneIsOpen) {
  Write("s.txt", "shared");
  FileHandle a = OpenFile(D("s.txt"), Access::Read, Disposition::OpenExisting);
  FileHandle b = OpenFile(D("S.TXT"), Access::Read, Disposition::OpenExisting);
  ASSERT_NE(a, kInvalidFile);
  ASSERT_NE(b, kInvalidFile);
  char buf[6];
  uint32_t done = 0;
  ASSERT_TRUE(ReadFile(b, buf, 6, done));
  EXPECT_EQ(std::string(buf, done), "shared");
  CloseFile(a);
  CloseFile(b);
}

}  // namespace
}  // namespace kestrel::test
