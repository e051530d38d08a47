// file_names_test.cpp — files and directories by name: attributes, find-first/next with
// masks, create/remove directory, delete, move, copy and the current directory.
#include <gtest/gtest.h>

#include <set>

#include "scratch_dir.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::ScratchDir;

std::set<std::string> Find(const std::string& pattern) {
  std::set<std::string> names;
  FindData data;
  FindHandle h = FindFirstFile(pattern, data);
  if (h == kInvalidFind) return names;
  do names.insert(data.name);
  while (FindNextFile(h, data));
  EXPECT_EQ(LastError(), kErrorNoMoreFiles);
  EXPECT_TRUE(FindClose(h));
  return names;
}

TEST(FileNames, AttributesOfFilesDirectoriesAndMissingPaths) {
  ScratchDir dir;
  EXPECT_EQ(GetFileAttributes(dir / "missing"), kInvalidAttributes);
  EXPECT_NE(GetFileAttributes(dir.path()) & kAttrDirectory, 0u);
  const std::string file = dir / "f.txt";
  ASSERT_TRUE(ScratchDir::Write(file, "x"));
  EXPECT_EQ(GetFileAttributes(file) & kAttrDirectory, 0u);
  ASSERT_TRUE(SetFileAttributes(file, kAttrReadOnly | kAttrArchive));
  EXPECT_EQ(GetFileAttributes(file) & (kAttrReadOnly | kAttrArchive),
            kAttrReadOnly | kAttrArchive);
  EXPECT_FALSE(DeleteFile(file));  // read-only files are protected
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  ASSERT_TRUE(SetFileAttributes(file, kAttrNormal));
  EXPECT_TRUE(DeleteFile(file));
  EXPECT_FALSE(DeleteFile(file));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST(FileNames, FindReportsDotsMasksAndCaseInsensitiveMatches) {
  ScratchDir dir;
  ASSERT_TRUE(ScratchDir::Write(dir / "One.TXT", "1"));
  ASSERT_TRUE(ScratchDir::Write(dir / "two.txt", "22"));
  ASSERT_TRUE(ScratchDir::Write(dir / "three.dat", "333"));
  ASSERT_TRUE(CreateDirectory(dir / "sub"));
  EXPECT_EQ(Find(dir / "*.*"),
            (std::set<std::string>{".", "..", "One.TXT", "two.txt", "three.dat", "sub"}));
  EXPECT_EQ(Find(dir / "*.txt"), (std::set<std::string>{"One.TXT", "two.txt"}));
  EXPECT_EQ(Find(dir / "t?o.*"), (std::set<std::string>{"two.txt"}));

  FindData data;
  FindHandle h = FindFirstFile(dir / "three.dat", data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.size, 3u);
  EXPECT_EQ(data.attributes & kAttrDirectory, 0u);
  EXPECT_NE(data.lastWrite.ticks, 0u);
  FindClose(h);
  EXPECT_EQ(FindFirstFile(dir / "*.none", data), kInvalidFind);
  EXPECT_EQ(FindFirstFile(dir / "nodir\\*.*", data), kInvalidFind);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

TEST(FileNames, DirectoriesMovesAndCopies) {
  ScratchDir dir;
  EXPECT_TRUE(CreateDirectory(dir / "d"));
  EXPECT_FALSE(CreateDirectory(dir / "d"));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_FALSE(CreateDirectory(dir / "x\\y"));  // one level at a time
  ASSERT_TRUE(ScratchDir::Write(dir / "d\\in.txt", "in"));
  EXPECT_FALSE(RemoveDirectory(dir / "d"));
  EXPECT_EQ(LastError(), kErrorDirNotEmpty);

  ASSERT_TRUE(ScratchDir::Write(dir / "a.txt", "aaa"));
  ASSERT_TRUE(ScratchDir::Write(dir / "b.txt", "b"));
  EXPECT_FALSE(MoveFile(dir / "a.txt", dir / "b.txt"));  // no silent overwrite
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_TRUE(MoveFileReplace(dir / "a.txt", dir / "b.txt"));
  EXPECT_EQ(GetFileAttributes(dir / "a.txt"), kInvalidAttributes);
  EXPECT_FALSE(CopyFile(dir / "b.txt", dir / "d\\in.txt", true));
  EXPECT_TRUE(CopyFile(dir / "b.txt", dir / "d\\in.txt", false));
  EXPECT_TRUE(MoveFile(dir / "b.txt", dir / "c.txt"));
  FindData data;
  FindHandle h = FindFirstFile(dir / "d\\in.txt", data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.size, 3u);
  FindClose(h);
}

TEST(FileNames, CurrentDirectoryAndFullPaths) {
  ScratchDir dir;
  const std::string before = GetCurrentDirectory();
  ASSERT_FALSE(before.empty());
  ASSERT_TRUE(SetCurrentDirectory(dir.path()));
  const std::string now = GetCurrentDirectory();
  EXPECT_EQ(now + "\\", FullPathName(dir.path()));
  EXPECT_EQ(FullPathName("rel.txt"), now + "\\rel.txt");
  EXPECT_FALSE(SetCurrentDirectory(dir / "missing"));
  ASSERT_TRUE(SetCurrentDirectory(before));
  EXPECT_EQ(GetCurrentDirectory(), before);
  ASSERT_TRUE(ScratchDir::Write(dir / "long file name.text", "x"));
  EXPECT_FALSE(ShortPathName(dir / "long file name.text").empty());
  EXPECT_TRUE(ShortPathName(dir / "missing.txt").empty());
}

}  // namespace
}  // namespace kestrel::os
