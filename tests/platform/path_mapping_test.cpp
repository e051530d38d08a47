// path_mapping_test.cpp — drive paths to host paths and back: the drive table, separators,
// case-insensitive lookup, code page 936 names and the paths Windows would refuse.
#include <filesystem>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using os::host::DrivePath;
using os::host::HostPath;

class PathMapping : public ScratchDrive {};

TEST_F(PathMapping, DriveCIsTheHostRoot) {
  std::string host;
  ASSERT_TRUE(HostPath("C:\\tmp\\a.zip", host));
  EXPECT_EQ(host, "/tmp/a.zip");
  ASSERT_TRUE(HostPath("c:/tmp/", host));
  EXPECT_EQ(host, "/tmp/");
  ASSERT_TRUE(HostPath("C:\\", host));
  EXPECT_EQ(host, "/");
}

TEST_F(PathMapping, MappedDriveAndDotComponents) {
  std::string host;
  ASSERT_TRUE(HostPath("T:\\a\\.\\b\\..\\c.txt", host));
  EXPECT_EQ(host, root_ + "/a/c.txt");
  ASSERT_TRUE(HostPath("T:\\..\\..\\x", host));  // never above the drive's root
  EXPECT_EQ(host, root_ + "/x");
  ASSERT_TRUE(HostPath("t:\\\\a\\\\\\b", host));  // repeated separators collapse
  EXPECT_EQ(host, root_ + "/a/b");
}

TEST_F(PathMapping, UnmappedDriveIsPathNotFound) {
  std::string host;
  EXPECT_FALSE(HostPath("Q:\\x", host));
  EXPECT_EQ(os::LastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(HostPath("\\\\server\\share\\x", host));
  EXPECT_EQ(os::LastError(), os::kErrorPathNotFound);
}

TEST_F(PathMapping, MissingComponentIsFoundWhateverItsCase) {
  std::filesystem::create_directories(H("Docs/Sub"));
  Write("Docs/Sub/ReadMe.TXT", "x");
  std::string host;
  ASSERT_TRUE(HostPath("T:\\DOCS\\sub\\readme.txt", host));
  EXPECT_EQ(host, root_ + "/Docs/Sub/ReadMe.TXT");
  // A name that does not exist in any case keeps the case it was given.
  ASSERT_TRUE(HostPath("T:\\docs\\New\\File.txt", host));
  EXPECT_EQ(host, root_ + "/Docs/New/File.txt");
}

TEST_F(PathMapping, LastNameIsLookedUpBehindAnExactParent) {
  std::filesystem::create_directories(H("Docs/Sub"));
  Write("Docs/Sub/ReadMe.TXT", "x");
  std::string host;
  ASSERT_TRUE(HostPath("T:\\Docs\\Sub\\README.txt", host));
  EXPECT_EQ(host, root_ + "/Docs/Sub/ReadMe.TXT");
  ASSERT_TRUE(HostPath("T:\\Docs\\Sub\\ReadMe.TXT", host));
  EXPECT_EQ(host, root_ + "/Docs/Sub/ReadMe.TXT");
  ASSERT_TRUE(HostPath("T:\\Docs\\Sub\\new.txt", host));
  EXPECT_EQ(host, root_ + "/Docs/Sub/new.txt");
  // A path whose exact spelling exists only in part: each component is resolved.
  ASSERT_TRUE(HostPath("T:\\Docs\\SUB\\x\\..\\readme.TXT", host));
  EXPECT_EQ(host, root_ + "/Docs/Sub/ReadMe.TXT");
}

TEST_F(PathMapping, ExactNameWinsOverOtherCase) {
  Write("abc", "1");
  Write("ABC", "2");
  std::string host;
  ASSERT_TRUE(HostPath("T:\\ABC", host));
  EXPECT_EQ(host, root_ + "/ABC");
  ASSERT_TRUE(HostPath("T:\\Abc", host));
  EXPECT_EQ(host, root_ + "/ABC");  // the first in byte order
}

TEST_F(PathMapping, CodePage936NamesBecomeUtf8) {
  std::string host;
  // "\xD6\xD0\xCE\xC4" is 中文 in code page 936.
  ASSERT_TRUE(HostPath("T:\\\xD6\xD0\xCE\xC4\\a.txt", host));
  EXPECT_EQ(host, root_ + "/\xE4\xB8\xAD\xE6\x96\x87/a.txt");
  // 0x81 0x5C is one character (乗) whose trail byte equals "\": it is not a separator.
  ASSERT_TRUE(HostPath("T:\\\x81\x5C.txt", host));
  EXPECT_EQ(host, root_ + "/\xE4\xB9\x97.txt");
  std::string drive;
  ASSERT_TRUE(DrivePath(root_ + "/\xE4\xB8\xAD\xE6\x96\x87/a.txt", drive));
  EXPECT_EQ(drive, "T:\\\xD6\xD0\xCE\xC4\\a.txt");
}

TEST_F(PathMapping, UnconvertibleNamesAreErrors) {
  std::string host, drive;
  EXPECT_FALSE(HostPath("T:\\bad\xFF.txt", host));  // 0xFF is no character in 936
  EXPECT_EQ(os::LastError(), os::kErrorNoUnicodeTranslation);
  EXPECT_FALSE(DrivePath(root_ + "/\xED\x95\x9C.txt", drive));  // 한 has no 936 form
  EXPECT_EQ(os::LastError(), os::kErrorNoUnicodeTranslation);
}

// Linux names may hold what Windows refuses, the colon and wildcards included; only "X:" at the
// start names a drive. The host's limits hold: 255 bytes a name, 4095 a path.
TEST_F(PathMapping, NamesMayHoldAnythingButTheHostsLimitsHold) {
  std::string host;
  ASSERT_TRUE(HostPath("T:\\a<b>|\"c\\tab\there\nnewline", host));
  EXPECT_EQ(host, root_ + "/a<b>|\"c/tab\there\nnewline");
  ASSERT_TRUE(HostPath("T:\\d*\\a?b:c", host));
  EXPECT_EQ(host, root_ + "/d*/a?b:c");
  ASSERT_TRUE(HostPath("q:name", host));  // Q: is no mapped drive: a name with a colon
  EXPECT_EQ(host, "q:name");
  EXPECT_TRUE(HostPath("T:\\" + std::string(255, 'x'), host));
  EXPECT_FALSE(HostPath("T:\\" + std::string(256, 'x') + "\\y", host));
  EXPECT_EQ(os::LastError(), os::kErrorFilenameTooLong);
  std::string deep = "T:";
  while (deep.size() < 4000) deep += "\\" + std::string(200, 'd');
  EXPECT_TRUE(HostPath(deep, host));
  EXPECT_FALSE(HostPath(deep + "\\" + std::string(200, 'e'), host));
  EXPECT_EQ(os::LastError(), os::kErrorFilenameTooLong);
}

TEST_F(PathMapping, DrivePathPicksTheLongestMappedDirectory) {
  std::filesystem::create_directories(H("floppy"));
  ASSERT_TRUE(os::host::MapDrive('A', H("floppy"), true));
  std::string drive;
  ASSERT_TRUE(DrivePath(H("floppy/x.zip"), drive));
  EXPECT_EQ(drive, "A:\\x.zip");
  ASSERT_TRUE(DrivePath(H("floppy"), drive));
  EXPECT_EQ(drive, "A:\\");
  ASSERT_TRUE(DrivePath(H("floppy2/x"), drive));  // a prefix of a name is no match
  EXPECT_EQ(drive, "T:\\floppy2\\x");
  ASSERT_TRUE(DrivePath("/usr/lib", drive));
  EXPECT_EQ(drive, "C:\\usr\\lib");
}

TEST_F(PathMapping, MapDriveNeedsAnExistingDirectory) {
  EXPECT_FALSE(os::host::MapDrive('B', H("missing"), true));
  EXPECT_FALSE(os::host::MapDrive('1', root_, false));
  EXPECT_EQ(os::GetDriveType("B:\\"), os::kDriveNoRootDir);
}

TEST_F(PathMapping, RelativePathsFollowTheCurrentDirectory) {
  std::filesystem::create_directories(H("work/in"));
  std::string saved = os::GetCurrentDirectory();
  ASSERT_TRUE(os::SetCurrentDirectory(D("work")));
  EXPECT_EQ(os::GetCurrentDirectory(), "T:\\work");
  std::string host;
  ASSERT_TRUE(HostPath("in\\x", host));
  EXPECT_EQ(host, "in/x");
  EXPECT_EQ(os::FullPathName("in\\..\\y.txt"), "T:\\work\\y.txt");
  EXPECT_EQ(os::FullPathName("\\z"), "T:\\z");
  EXPECT_EQ(os::FullPathName("T:q"), "T:\\work\\q");
  EXPECT_EQ(os::FullPathName("c:\\a\\..\\b\\"), "C:\\b\\");
  ASSERT_TRUE(os::SetCurrentDirectory(saved));
}

}  // namespace
}  // namespace kestrel::test
