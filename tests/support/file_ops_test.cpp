// file_ops_test.cpp — renaming over a target through the "$$$" backup, moving or copying
// across drives, temporary names, short path names, volume labels and existence tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/exception.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"
#include "support/file_ops.h"
#include "support/short_path.h"
#include "support/volume_label.h"
#include "tests/support/test_dir.h"

namespace kestrel::support {
namespace {

using testing::ReadWholeFile;
using testing::TestDir;
using testing::WriteWholeFile;

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  os::FindData data;
  const os::FindHandle find = os::FindFirstFile(dir + "*.*", data);
  if (find == os::kInvalidFind) return names;
  do {
    if (data.name != "." && data.name != "..") names.push_back(data.name);
  } while (os::FindNextFile(find, data));
  os::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Maps a free drive letter to a second scratch directory (posix backend only).
class SecondDrive {
 public:
  explicit SecondDrive(const TestDir& dir) {
    std::string host;
    if (!os::host::HostPath(dir.path(), host)) return;
    for (char letter = 'P'; letter <= 'Y'; ++letter)
      if (os::GetDriveType(std::string(1, letter) + ":\\") == os::kDriveNoRootDir &&
          os::host::MapDrive(letter, host, false)) {
        letter_ = letter;
        return;
      }
  }
  ~SecondDrive() {
    if (letter_ != 0) os::host::UnmapDrive(letter_);
  }
  bool ok() const { return letter_ != 0; }
  std::string Root() const { return std::string(1, letter_) + ":\\"; }

 private:
  char letter_ = 0;
};

class FileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.ok()); }
  TestDir dir;
};

TEST_F(FileOpsTest, RenameReplacingLeavesNoBackupBehind) {
  ASSERT_TRUE(WriteWholeFile(dir / "new.bin", "new"));
  ASSERT_TRUE(WriteWholeFile(dir / "old.bin", "old"));
  EXPECT_TRUE(RenameReplacing(dir / "new.bin", dir / "old.bin"));
  EXPECT_EQ(ReadWholeFile(dir / "old.bin"), "new");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"old.bin"}));
  // Without a target there is nothing to back up.
  EXPECT_TRUE(RenameReplacing(dir / "old.bin", dir / "fresh.bin"));
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"fresh.bin"}));
}

TEST_F(FileOpsTest, FailedRenameRestoresTheOldTarget) {
  ASSERT_TRUE(WriteWholeFile(dir / "target.bin", "old"));
  EXPECT_FALSE(RenameReplacing(dir / "missing.bin", dir / "target.bin"));
  EXPECT_EQ(ReadWholeFile(dir / "target.bin"), "old");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"target.bin"}));
  // Onto itself: the old file comes back.
  EXPECT_FALSE(RenameReplacing(dir / "target.bin", dir / "target.bin"));
  EXPECT_EQ(ReadWholeFile(dir / "target.bin"), "old");
  // A stale backup is never overwritten: the rename is refused and both files stay.
  ASSERT_TRUE(WriteWholeFile(dir / "target.bin$$$", "stale"));
  ASSERT_TRUE(WriteWholeFile(dir / "src.bin", "src"));
  EXPECT_FALSE(RenameReplacing(dir / "src.bin", dir / "target.bin"));
  EXPECT_EQ(ReadWholeFile(dir / "target.bin$$$"), "stale");
  EXPECT_EQ(ReadWholeFile(dir / "target.bin"), "old");
}

TEST_F(FileOpsTest, DifferentDrivesAreRefusedUntouched) {
  ASSERT_TRUE(WriteWholeFile(dir / "a.bin", "a"));
  EXPECT_FALSE(RenameReplacing(dir / "a.bin", "Q:\\a.bin"));
  EXPECT_EQ(ReadWholeFile(dir / "a.bin"), "a");
}

TEST_F(FileOpsTest, MoveOrCopyAcrossDrivesCopiesAndKeepsTheSource) {
  TestDir other;
  ASSERT_TRUE(other.ok());
  SecondDrive drive(other);
  if (!drive.ok()) GTEST_SKIP() << "no drive mapping on this backend";
  std::vector<std::string> messages;
  os::host::SetMessageHandler([&](const std::string& caption, const std::string& text,
                                  uint32_t) {
    messages.push_back(caption + "|" + text);
    return os::kIdOk;
  });
  const std::string big(100000, 'z');
  ASSERT_TRUE(WriteWholeFile(dir / "src.bin", big));
  ASSERT_TRUE(WriteWholeFile(other / "dst.bin", "old"));
  MoveOrCopyFile(dir / "src.bin", drive.Root() + "dst.bin");
  EXPECT_EQ(ReadWholeFile(other / "dst.bin"), big);
  EXPECT_EQ(ReadWholeFile(dir / "src.bin"), big);  // the source is not deleted
  EXPECT_EQ(Entries(other.path()), (std::vector<std::string>{"dst.bin"}));
  EXPECT_TRUE(messages.empty());

  // An empty source copies nothing: the copy-failure message box, and an empty target.
  ASSERT_TRUE(WriteWholeFile(dir / "empty.bin", ""));
  MoveOrCopyFile(dir / "empty.bin", drive.Root() + "dst.bin");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "Error|Could not copy from " + (dir / "empty.bin") + " -> " + drive.Root() + "dst.bin");
  EXPECT_EQ(ReadWholeFile(other / "dst.bin"), "");

  // A missing source raises the file stream's open error and leaves the target alone.
  ASSERT_TRUE(WriteWholeFile(other / "dst.bin", "keep"));
  EXPECT_THROW(MoveOrCopyFile(dir / "gone.bin", drive.Root() + "dst.bin"), classlib::EFOpenError);
  EXPECT_EQ(ReadWholeFile(other / "dst.bin"), "keep");
  EXPECT_EQ(Entries(other.path()), (std::vector<std::string>{"dst.bin"}));
  os::host::SetMessageHandler(nullptr);
}

TEST_F(FileOpsTest, MoveOrCopyOnOneDriveRenames) {
  ASSERT_TRUE(WriteWholeFile(dir / "a.bin", "data"));
  ASSERT_TRUE(WriteWholeFile(dir / "b.bin", "old"));
  MoveOrCopyFile(dir / "a.bin", dir / "b.bin");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"b.bin"}));
  EXPECT_EQ(ReadWholeFile(dir / "b.bin"), "data");
}

TEST_F(FileOpsTest, TempFileNames) {
  const std::string a = TempFileName(dir.path());
  const std::string b = TempFileName(dir.path());
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(dir / "QZT", 0), 0u) << a;
  EXPECT_EQ(a.substr(a.size() - 4), ".tmp");
  EXPECT_TRUE(FileExistsAt(a));
  EXPECT_EQ(ReadWholeFile(a), "");
  // A directory whose temporary name would not fit the system's paths: no name, no file.
  std::string deep = dir.path();
  while (deep.size() + 41 < os::kMaxPath - 20) {
    deep += std::string(40, 'd') + "\\";
    ASSERT_TRUE(os::CreateDirectory(deep.substr(0, deep.size() - 1))) << deep;
  }
  EXPECT_FALSE(TempFileName(deep).empty());
  EXPECT_EQ(TempFileName(deep + std::string(30, 'e') + "\\"), "");
  EXPECT_EQ(Entries(deep).size(), 1u);
  EXPECT_EQ(TempFileName(dir / "missing\\"), "");
}

TEST_F(FileOpsTest, ExistenceAndDates) {
  ASSERT_TRUE(WriteWholeFile(dir / "f.txt", "x"));
  EXPECT_TRUE(FileExistsAt(dir / "f.txt"));
  EXPECT_FALSE(FileExistsAt(dir.path()));
  EXPECT_TRUE(DirectoryExistsAt(dir.path()));
  EXPECT_TRUE(DirectoryExistsAt(dir.path().substr(0, dir.path().size() - 1)));
  EXPECT_FALSE(DirectoryExistsAt(dir / "f.txt"));
  EXPECT_FALSE(DirectoryExistsAt(dir / "nope"));
  const classlib::DateTime now = classlib::Now();
  EXPECT_NEAR(FileDateTime(dir / "f.txt"), now, 1.0 / 24);  // within an hour
  // A missing file: the all-ones file age clamps to 31 December 2099, 23:59:58.
  EXPECT_EQ(FileDateTime(dir / "missing"),
            classlib::EncodeDate(2099, 12, 31) + classlib::EncodeTime(23, 59, 58, 0));
  const std::string current = CurrentDirOfDrive(0);
  EXPECT_EQ(current, os::GetCurrentDirectory());
  EXPECT_EQ(CurrentDirOfDrive(current[0] - 'A' + 1), current);
}

TEST_F(FileOpsTest, ShortPathNames) {
  ASSERT_TRUE(os::CreateDirectory(dir / "Program Files"));
  ASSERT_TRUE(WriteWholeFile(dir / "Program Files\\a.txt", "x"));
  os::FindData data;
  const os::FindHandle find = os::FindFirstFile(dir / "Program Files", data);
  ASSERT_NE(find, os::kInvalidFind);
  os::FindClose(find);
  const std::string shortDir = data.alternateName.empty() ? "Program Files" : data.alternateName;
  const std::string prefix = ShortPathName(dir.path());
  EXPECT_EQ(ShortPathName(dir / "Program Files\\a.txt"), prefix + shortDir + "\\a.txt");
  EXPECT_EQ(ShortPathName(dir / "Program Files\\"), prefix + shortDir + "\\");
  EXPECT_EQ(ShortPathName(dir / "Program Files\\missing part"),
            prefix + shortDir + "\\missing part");
  EXPECT_EQ(ShortPathName(""), "");
  const std::string tooLong = "C:\\" + std::string(300, 'x');
  EXPECT_EQ(ShortPathName(tooLong), tooLong);
  EXPECT_EQ(ShortPathName("C:"), "C:\\");
  EXPECT_EQ(ShortPathName("C:\\"), "C:\\");
  EXPECT_EQ(ShortPathName("C:\\*.txt"), "C:\\*.txt");  // a mask is not looked up
}

TEST_F(FileOpsTest, VolumeLabels) {
  std::string host;
  if (!os::host::HostPath(dir.path(), host) || !os::host::MapDrive('A', host, true))
    GTEST_SKIP() << "no floppy emulation on this backend";
  EXPECT_TRUE(SetVolumeLabel("A:\\", "PKBACK# 001"));
  EXPECT_EQ(GetVolumeLabel("A:\\"), "PKBACK# 001");
  EXPECT_TRUE(SetVolumeLabel("A:\\", "PKBACK# 002"));
  EXPECT_EQ(GetVolumeLabel("A:\\"), "PKBACK# 002");
  os::host::UnmapDrive('A');
  EXPECT_EQ(GetVolumeLabel("A:\\"), "");
}

}  // namespace
}  // namespace kestrel::support
