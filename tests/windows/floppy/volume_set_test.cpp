// volume_set_test.cpp — floppy volume sets on a real removable drive A:, through the Win32
// backend: a file split over three disks and joined back, the disk swaps asked for by the
// library's own dialogs, and the user's answers when a disk is missing, wrong or taken.
#include "exports/volume_set.h"
#include "floppy/floppy_session.h"

namespace kestrel::wintest {
namespace {

constexpr int32_t kVolumeBytes = 1400 * 1024;
// Three volumes: two full ones and 132800 bytes on the last.
constexpr size_t kCarried = 3000000;

class VolumeSetOnDriveA : public FloppySession {
 protected:
  // Splits a fresh file work\data.bin onto disks 1 to 3, answering every prompt.
  void SplitThreeDisks() {
    data_ = RandomBytes(kCarried, 7);
    ASSERT_TRUE(WriteWholeFile(work_ / "data.bin", data_));
    Expect(kOk, "提示", "压缩数据共需要 3 张软盘!", IDOK);
    for (int k = 1; k <= 3; ++k) {
      Expect(kOk, "提示", "请插入第 " + std::to_string(k) + "张软盘", IDOK, k);
    }
    EXPECT_EQ(exports::SplitToVolumes(work_ / "data.bin", "A:\\backup.zip", 1400),
              static_cast<int32_t>(kCarried % kVolumeBytes));
    CheckBoxes();
  }
  int32_t Join(std::string& stored) {
    return exports::JoinVolumes("A:\\backup.m01", work_ / "out", stored);
  }
  std::string data_;
};

TEST_F(VolumeSetOnDriveA, SplitOverThreeDisksAndJoinedBackByteIdentical) {
  SplitThreeDisks();
  // Disk 3 is still in the drive; each disk holds its own volume and nothing else.
  EXPECT_EQ(ReadWholeFile("A:\\backup.m03").size(), 7 + kCarried % kVolumeBytes);
  EXPECT_FALSE(Exists("A:\\backup.m01"));
  EXPECT_EQ(ReadWholeFile(changer_->DiskFolder(1) + "backup.m01").size(),
            19 + std::string("data.bin").size() + kVolumeBytes);
  EXPECT_EQ(ReadWholeFile(changer_->DiskFolder(2) + "backup.m02").size(), 7u + kVolumeBytes);

  ASSERT_TRUE(changer_->Insert(1));
  ASSERT_TRUE(CreateDirectoryA((work_ / "out").c_str(), nullptr));
  Expect(kOk, "提示", "请插入下一张盘", IDOK, 2);
  Expect(kOk, "提示", "请插入下一张盘", IDOK, 3);
  std::string stored;
  EXPECT_EQ(Join(stored), 1);
  CheckBoxes();
  EXPECT_EQ(stored, "data.bin");
  EXPECT_TRUE(ReadWholeFile(work_ / "out\\data.bin") == data_);
}

TEST_F(VolumeSetOnDriveA, MissingAndMisnumberedDisksAreAskedForAgain) {
  SplitThreeDisks();
  // Disk 4 carries a volume named like the second one but numbered 3.
  ASSERT_TRUE(CopyFileA("A:\\backup.m03", (changer_->DiskFolder(4) + "backup.m02").c_str(), FALSE));
  ASSERT_TRUE(changer_->Insert(1));
  ASSERT_TRUE(CreateDirectoryA((work_ / "out").c_str(), nullptr));
  // The user first brings disk 3 (no second volume on it), then the misnumbered disk 4.
  Expect(kOk, "提示", "请插入下一张盘", IDOK, 3);
  Expect(kYesNo, "提示", "源文件错误,请检查", IDYES);
  Expect(kOk, "提示", "请换一张正确的盘,然后点击确定", IDOK, 4);
  Expect(kYesNo, "提示", "磁盘顺序错误,应该是第2张盘", IDYES);
  Expect(kOk, "提示", "请换一张正确的盘,然后点击确定", IDOK, 2);
  Expect(kOk, "提示", "请插入下一张盘", IDOK, 3);
  std::string stored;
  EXPECT_EQ(Join(stored), 1);
  CheckBoxes();
  EXPECT_TRUE(ReadWholeFile(work_ / "out\\data.bin") == data_);
}

TEST_F(VolumeSetOnDriveA, DecliningToLookForAMissingDiskLeavesNoJoinedFile) {
  SplitThreeDisks();
  ASSERT_TRUE(changer_->Insert(1));
  ASSERT_TRUE(CreateDirectoryA((work_ / "out").c_str(), nullptr));
  Expect(kOk, "提示", "请插入下一张盘", IDOK, 5);  // an empty disk
  Expect(kYesNo, "提示", "源文件错误,请检查", IDNO);
  Expect(kOk, "警告", "文件读写错误", IDOK);
  std::string stored;
  EXPECT_EQ(Join(stored), 0);
  CheckBoxes();
  EXPECT_EQ(stored, "data.bin");
  EXPECT_FALSE(Exists(work_ / "out\\data.bin"));
}

TEST_F(VolumeSetOnDriveA, CancellingTheOverwriteOfAVolumeKeepsTheOldOne) {
  ASSERT_TRUE(WriteWholeFile("A:\\backup.m01", "an older volume"));
  ASSERT_TRUE(WriteWholeFile(work_ / "data.bin", RandomBytes(5000, 3)));
  Expect(kOk, "提示", "压缩数据共需要 1 张软盘!", IDOK);
  Expect(kOk, "提示", "请插入第 1张软盘", IDOK);
  Expect(kOkCancel, "确认", "目标文件存在,是否覆盖?", IDCANCEL);
  Expect(kOk, "警告", "文件读写错误!", IDOK);
  EXPECT_EQ(exports::SplitToVolumes(work_ / "data.bin", "A:\\backup.zip", 1400), -1);
  CheckBoxes();
  EXPECT_EQ(ReadWholeFile("A:\\backup.m01"), "an older volume");
}

}  // namespace
}  // namespace kestrel::wintest
