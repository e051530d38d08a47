// file_handles_test.cpp — Win32 file handles through the platform layer: dispositions and
// their error codes, reads at end of file, seeks, sizes, truncation, read sharing.
#include <gtest/gtest.h>

#include "scratch_dir.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::ScratchDir;

TEST(FileHandles, DispositionsKeepTheirWin32Meaning) {
  ScratchDir dir;
  const std::string path = dir / "a.bin";
  EXPECT_EQ(OpenFile(path, Access::Read, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(OpenFile(dir / "no\\such\\a.bin", Access::Read, Disposition::OpenExisting),
            kInvalidFile);
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  FileHandle f = OpenFile(path, Access::Write, Disposition::CreateNew);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_TRUE(CloseFile(f));
  EXPECT_EQ(OpenFile(path, Access::Write, Disposition::CreateNew), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorFileExists);

  ASSERT_TRUE(ScratchDir::Write(path, "old content"));
  f = OpenFile(path, Access::ReadWrite, Disposition::OpenAlways);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(FileSize(f), 11);  // OpenAlways keeps what is there
  CloseFile(f);
  f = OpenFile(path, Access::Write, Disposition::CreateAlways);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(FileSize(f), 0);  // CreateAlways truncates
  CloseFile(f);
}

TEST(FileHandles, WriteSeekReadAndTruncate) {
  ScratchDir dir;
  const std::string path = dir / "data.bin";
  FileHandle f = OpenFile(path, Access::ReadWrite, Disposition::CreateAlways);
  ASSERT_NE(f, kInvalidFile);
  uint32_t done = 0;
  ASSERT_TRUE(WriteFile(f, "0123456789", 10, done));
  EXPECT_EQ(done, 10u);
  EXPECT_EQ(SeekFile(f, 0, SeekFrom::Current), 10);
  EXPECT_EQ(SeekFile(f, -4, SeekFrom::End), 6);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFile(f, buffer, sizeof buffer, done));
  EXPECT_EQ(std::string(buffer, done), "6789");
  ASSERT_TRUE(ReadFile(f, buffer, sizeof buffer, done));
  EXPECT_EQ(done, 0u);  // end of file is a successful read of nothing
  EXPECT_EQ(SeekFile(f, -1, SeekFrom::Begin), -1);
  EXPECT_EQ(SeekFile(f, 3, SeekFrom::Begin), 3);
  ASSERT_TRUE(SetEndOfFile(f));
  EXPECT_EQ(FileSize(f), 3);
  // Seeking past the end and setting the end there extends the file.
  EXPECT_EQ(SeekFile(f, 5000000000LL, SeekFrom::Begin), 5000000000LL);
  ASSERT_TRUE(SetEndOfFile(f));
  EXPECT_EQ(FileSize(f), 5000000000LL);
  EXPECT_EQ(SeekFile(f, 3, SeekFrom::Begin), 3);
  ASSERT_TRUE(SetEndOfFile(f));
  EXPECT_TRUE(CloseFile(f));
}

TEST(FileHandles, ReadersShareAndInvalidHandlesFail) {
  ScratchDir dir;
  const std::string path = dir / "shared.txt";
  ASSERT_TRUE(ScratchDir::Write(path, "abc"));
  FileHandle a = OpenFile(path, Access::Read, Disposition::OpenExisting);
  FileHandle b = OpenFile(path, Access::Read, Disposition::OpenExisting);
  EXPECT_NE(a, kInvalidFile);
  EXPECT_NE(b, kInvalidFile);
  CloseFile(a);
  CloseFile(b);
  EXPECT_FALSE(CloseFile(kInvalidFile));
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
  uint32_t done = 7;
  char c;
  EXPECT_FALSE(ReadFile(kInvalidFile, &c, 1, done));
  EXPECT_EQ(FileSize(kInvalidFile), -1);
}

}  // namespace
}  // namespace kestrel::os
