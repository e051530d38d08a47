// drive_a_test.cpp — what the Win32 backend reports for a removable drive A: under Wine:
// its type, its free space, and a volume label that stays with the disk it was written to.
#include "floppy/floppy_session.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::wintest {
namespace {

using FloppyDrive = FloppySession;

TEST_F(FloppyDrive, IsRemovableAndReportsFreeSpaceThatShrinksAsFilesAreWritten) {
  EXPECT_EQ(os::GetDriveType(kDrive), os::kDriveRemovable);
  uint64_t before = 0, total = 0;
  ASSERT_TRUE(os::GetDiskFreeSpace(kDrive, before, total));
  EXPECT_GT(total, 0u);
  EXPECT_LE(before, total);
  ASSERT_TRUE(WriteWholeFile("A:\\filler.bin", std::string(1 << 20, 'x')));
  uint64_t after = 0;
  ASSERT_TRUE(os::GetDiskFreeSpace(kDrive, after, total));
  EXPECT_LT(after, before);
}

TEST_F(FloppyDrive, LabelIsWrittenToTheDiskInTheDriveAndLeavesWithIt) {
  // Wine keeps a folder drive's label in a file at its root, which travels with the disk.
  ASSERT_TRUE(os::SetVolumeLabel(kDrive, "KESTREL1"));
  ASSERT_TRUE(changer_->Insert(2));
  EXPECT_FALSE(Exists("A:\\.windows-label"));
  EXPECT_EQ(ReadWholeFile(changer_->DiskFolder(0) + ".windows-label").substr(0, 8), "KESTREL1");
}

}  // namespace
}  // namespace kestrel::wintest
