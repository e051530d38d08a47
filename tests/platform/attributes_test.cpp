// attributes_test.cpp — DOS attributes on the host: read-only, directory, hidden dot-names and
// the archive bit kept in an extended attribute.
#include <sys/stat.h>

#include <filesystem>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

class Attributes : public ScratchDrive {};

TEST_F(Attributes, FilesDirectoriesAndMissingNames) {
  Write("f.txt", "x");
  std::filesystem::create_directory(H("d"));
  EXPECT_EQ(GetFileAttributes(D("f.txt")), kAttrArchive);
  EXPECT_EQ(GetFileAttributes(D("d")), kAttrDirectory);
  EXPECT_EQ(GetFileAttributes(D("d\\")), kAttrDirectory);
  EXPECT_EQ(GetFileAttributes(D("none")), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(GetFileAttributes(D("none\\x")), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
}

TEST_F(Attributes, ReadOnlyIsTheWritePermission) {
  Write("f.txt", "x");
  ASSERT_TRUE(SetFileAttributes(D("f.txt"), kAttrReadOnly | kAttrArchive));
  struct stat st;
  ASSERT_EQ(stat(H("f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(GetFileAttributes(D("f.txt")), kAttrReadOnly | kAttrArchive);
  EXPECT_FALSE(DeleteFile(D("f.txt")));  // as on Windows, read-only files are not deleted
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  ASSERT_TRUE(SetFileAttributes(D("f.txt"), kAttrNormal));
  ASSERT_EQ(stat(H("f.txt").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  EXPECT_TRUE(DeleteFile(D("f.txt")));
}

TEST_F(Attributes, HiddenSystemAndArchiveAreKept) {
  Write("f.txt", "x");
  ASSERT_TRUE(SetFileAttributes(D("f.txt"), kAttrNormal));
  uint32_t attributes = GetFileAttributes(D("f.txt"));
  // Without extended attributes the archive bit stays set; with them it is cleared.
  EXPECT_TRUE(attributes == kAttrNormal || attributes == kAttrArchive) << attributes;
  if (attributes == kAttrNormal) {
    ASSERT_TRUE(SetFileAttributes(D("f.txt"), kAttrHidden | kAttrSystem | kAttrArchive));
    EXPECT_EQ(GetFileAttributes(D("f.txt")), kAttrHidden | kAttrSystem | kAttrArchive);
  }
  Write(".dot", "x");
  EXPECT_EQ(GetFileAttributes(D(".dot")), kAttrHidden | kAttrArchive);
}

TEST_F(Attributes, SetThroughAnOpenHandleReadsBackAsByName) {
  // Whatever the file system keeps, a value set through a handle reads as one set by name.
  Write("byname.txt", "x");
  ASSERT_TRUE(SetFileAttributes(D("byname.txt"), kAttrNormal));
  const uint32_t normal = GetFileAttributes(D("byname.txt"));
  struct Case {
    uint32_t set;
    bool created;
    uint32_t expected;
  };
  const Case cases[] = {
      {kAttrArchive, true, kAttrArchive},
      {kAttrNormal, true, normal},
      {kAttrReadOnly | kAttrArchive, true, kAttrReadOnly | kAttrArchive},
      {kAttrNormal, false, normal},  // an old file's kept bits are replaced
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.set) + (c.created ? " new" : " old"));
    if (!c.created) {
      Write("f.txt", "old");
      if (normal == kAttrNormal) {
        ASSERT_TRUE(SetFileAttributes(D("f.txt"), kAttrHidden));
      }
    }
    const FileHandle file = OpenFile(D("f.txt"), Access::Write, Disposition::CreateAlways);
    ASSERT_NE(file, kInvalidFile);
    EXPECT_TRUE(SetOpenFileAttributes(file, D("f.txt"), c.set, c.created));
    uint32_t written = 0;
    EXPECT_TRUE(WriteFile(file, "new", 3, written));  // the handle still writes
    CloseFile(file);
    EXPECT_EQ(GetFileAttributes(D("f.txt")), c.expected);
    EXPECT_EQ(Read("f.txt"), "new");
    ASSERT_TRUE(SetFileAttributes(D("f.txt"), kAttrArchive));
    ASSERT_TRUE(DeleteFile(D("f.txt")));
  }
}

TEST_F(Attributes, SetOnMissingFileFails) {
  EXPECT_FALSE(SetFileAttributes(D("none"), kAttrArchive));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace kestrel::test
