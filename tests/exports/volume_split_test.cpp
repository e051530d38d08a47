// Splitting files onto emulated floppies: prompt order and texts, disk changes, full disks,
// existing volumes, the user's cancel, and volume sizes and names.
#include "exports/volume_format.h"
#include "exports/volume_set.h"
#include "tests/exports/volume_session.h"

namespace kestrel::testing {
namespace {

using exports::EIOError;
constexpr uint32_t kOk = 0x2000, kOkCancel = 0x2001, kYesNo = 0x2004;
constexpr int64_t kVolume = 1400 * 1024;

class SplitTest : public VolumeSession {};

TEST_F(SplitTest, FourMegabytesGoOntoThreeDisksInPromptOrder) {
  const std::string data = RandomBytes(4 * 1024 * 1024, 1);
  WriteHostFile(Work() / "archive.zip", data);
  ASSERT_EQ(exports::SplitToVolumes(DrivePath(Work() / "archive.zip"), "A:\\backup.zip", 1400),
            4 * 1024 * 1024 - 2 * kVolume);

  std::vector<Prompt> expected = {
      P("提示", "压缩数据共需要 3 张软盘!", kOk), P("提示", "请插入第 1张软盘", kOk),
      P("提示", "请插入第 2张软盘", kOk), P("提示", "请插入第 3张软盘", kOk)};
  EXPECT_EQ(prompts_, expected);

  const std::string v1 = ReadHostFile(Disk(1) / "backup.m01");
  ASSERT_EQ(v1.size(), 19u + 11u + kVolume);
  EXPECT_EQ(v1.substr(0, 30), std::string("xml\x01\0\0\0\0\0\x40\0\0\xE0\x15\0\x0B\0\0\0", 19) +
                                  "archive.zip");
  EXPECT_EQ(v1.substr(30), data.substr(0, kVolume));
  const std::string v2 = ReadHostFile(Disk(2) / "backup.m02");
  EXPECT_EQ(v2, std::string("xml\x02\0\0\0", 7) + data.substr(kVolume, kVolume));
  const std::string v3 = ReadHostFile(Disk(3) / "backup.m03");
  EXPECT_EQ(v3, std::string("xml\x03\0\0\0", 7) + data.substr(2 * kVolume));
  EXPECT_FALSE(fs::exists(Disk(1) / "backup.m02"));
  EXPECT_FALSE(fs::exists(Disk(4) / "backup.m04"));

  // ... and joined back byte for byte, asking for the next disk twice.
  MapDisk(1);
  prompts_.clear();
  std::string stored;
  ASSERT_EQ(exports::JoinVolumes("A:\\backup.m01", DrivePath(Out()), stored), 1);
  EXPECT_EQ(stored, "archive.zip");
  EXPECT_EQ(prompts_, (std::vector<Prompt>{P("提示", "请插入下一张盘", kOk),
                                           P("提示", "请插入下一张盘", kOk)}));
  EXPECT_TRUE(ReadHostFile(Out() / "archive.zip") == data);
}

TEST_F(SplitTest, FullDiskAsksForAnotherOne) {
  WriteHostFile(Work() / "a.zip", RandomBytes(kVolume + 100, 2));
  WriteHostFile(Disk(2) / "old.bin", std::string(600 * 1024, 'x'));  // disk 2 is too full
  bool swapped = false;
  answer_ = [&](const Prompt& p) {
    if (p.text == Gbk("磁盘空间不够,请换一张盘")) {
      swapped = true;
      MapDisk(5);  // the user puts in an empty disk, and it is taken as disk 2
      return int{os::kIdYes};
    }
    if (p.text == Gbk("请插入第 2张软盘") && swapped) return int{os::kIdOk};
    return DefaultAnswer(p);
  };
  ASSERT_EQ(exports::SplitToVolumes(DrivePath(Work() / "a.zip"), "A:\\a.zip", 1400), 100);
  std::vector<Prompt> expected = {
      P("提示", "压缩数据共需要 2 张软盘!", kOk), P("提示", "请插入第 1张软盘", kOk),
      P("提示", "请插入第 2张软盘", kOk),      P("警告", "磁盘空间不够,请换一张盘", kYesNo),
      P("提示", "请插入第 2张软盘", kOk)};
  EXPECT_EQ(prompts_, expected);
  EXPECT_FALSE(fs::exists(Disk(2) / "a.m02"));
  EXPECT_EQ(fs::file_size(Disk(5) / "a.m02"), 7u + 100u);
}

TEST_F(SplitTest, NoToFullDiskCancelsWithTheGenericMessage) {
  WriteHostFile(Work() / "a.zip", RandomBytes(kVolume + 100, 3));
  WriteHostFile(Disk(1) / "old.bin", std::string(100 * 1024, 'x'));
  answer_ = [&](const Prompt& p) {
    return p.flags == kYesNo ? int{os::kIdNo} : DefaultAnswer(p);
  };
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "a.zip"), "A:\\a.zip", 1400), -1);
  ASSERT_GE(prompts_.size(), 2u);
  EXPECT_EQ(prompts_[prompts_.size() - 2], P("警告", "磁盘空间不够,请换一张盘", kYesNo));
  EXPECT_EQ(prompts_.back(), P("警告", "文件读写错误!", kOk));
  EXPECT_FALSE(fs::exists(Disk(1) / "a.m01"));

  prompts_.clear();
  try {
    exports::WriteVolumes(DrivePath(Work() / "a.zip"), "A:\\a.zip", kVolume);
    ADD_FAILURE() << "no exception";
  } catch (const EIOError& e) {
    EXPECT_EQ(e.what(), Gbk("操作被用户取消"));
  }
}

TEST_F(SplitTest, ExistingVolumeIsOverwrittenOnlyWithConsent) {
  WriteHostFile(Work() / "a.zip", RandomBytes(5000, 4));
  WriteHostFile(Disk(1) / "a.m01", "old volume");
  answer_ = [&](const Prompt& p) { return p.flags == kOkCancel ? int{os::kIdCancel} : DefaultAnswer(p); };
  try {
    exports::WriteVolumes(DrivePath(Work() / "a.zip"), "A:\\a.zip", 1000);
    ADD_FAILURE() << "no exception";
  } catch (const EIOError& e) {
    EXPECT_EQ(e.what(), Gbk("用户取消操作!"));
  }
  EXPECT_EQ(prompts_.back(), P("确认", "目标文件存在,是否覆盖?", kOkCancel));
  EXPECT_EQ(ReadHostFile(Disk(1) / "a.m01"), "old volume");

  answer_ = nullptr;  // OK this time
  prompts_.clear();
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "a.zip"), "A:\\a.zip", 1), 5000 % 1024);
  EXPECT_EQ(fs::file_size(Disk(1) / "a.m01"), 19u + 5u + 1024u);
}

TEST_F(SplitTest, CancelOnVolumeTenHasNoExclamationMark) {
  const fs::path dir = Work() / "set";
  fs::create_directories(dir);
  WriteHostFile(Work() / "t.zip", RandomBytes(1000, 5));
  WriteHostFile(dir / "t.m10", "in the way");
  answer_ = [&](const Prompt& p) { return p.flags == kOkCancel ? int{os::kIdCancel} : int{os::kIdOk}; };
  try {
    exports::WriteVolumes(DrivePath(Work() / "t.zip"), DrivePath(dir / "t.zip"), 100);
    ADD_FAILURE() << "no exception";
  } catch (const EIOError& e) {
    EXPECT_EQ(e.what(), Gbk("用户取消操作"));
  }
  for (int k = 1; k <= 9; ++k) EXPECT_TRUE(fs::exists(dir / ("t.m0" + std::to_string(k))));
  EXPECT_EQ(ReadHostFile(dir / "t.m10"), "in the way");
}

TEST_F(SplitTest, VolumeBoundariesAndNamesOnAFixedDrive) {
  const fs::path dir = Work() / "c";
  fs::create_directories(dir);
  WriteHostFile(Work() / "exact.zip", RandomBytes(kVolume, 6));
  WriteHostFile(Work() / "one_more.zip", RandomBytes(kVolume + 1, 7));
  WriteHostFile(Work() / "empty.zip", "");
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "exact.zip"), DrivePath(dir / "e.zip"), 1400), 0);
  EXPECT_EQ(fs::file_size(dir / "e.m01"), 19u + 9u + kVolume);
  EXPECT_FALSE(fs::exists(dir / "e.m02"));
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "one_more.zip"), DrivePath(dir / "o.zip"), 1400), 1);
  EXPECT_EQ(fs::file_size(dir / "o.m02"), 7u + 1u);
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "empty.zip"), DrivePath(dir / "z.zip"), 1400), 0);
  EXPECT_FALSE(fs::exists(dir / "z.m01"));
  EXPECT_TRUE(prompts_.empty()) << "no disk prompts off drive A:";

  // Ten volumes: .m01 … .m09, .m10; the base is cut at the first "." anywhere in the path.
  fs::create_directories(Work() / "my.dir");
  WriteHostFile(Work() / "ten.zip", RandomBytes(1000, 8));
  EXPECT_EQ(exports::WriteVolumes(DrivePath(Work() / "ten.zip"), DrivePath(Work() / "my.dir" / "x.zip"), 100), 0);
  for (int k = 1; k <= 9; ++k) EXPECT_TRUE(fs::exists(Work() / ("my.m0" + std::to_string(k))));
  EXPECT_TRUE(fs::exists(Work() / "my.m10"));
  EXPECT_FALSE(fs::exists(Work() / "my.m11"));
  std::string stored;
  ASSERT_EQ(exports::JoinVolumes(DrivePath(Work() / "my.m01"), DrivePath(Out()), stored), 1);
  EXPECT_EQ(ReadHostFile(Out() / "ten.zip"), ReadHostFile(Work() / "ten.zip"));
}

TEST_F(SplitTest, SubdirectoryIsMadeOnTheFirstDiskOnly) {
  WriteHostFile(Work() / "a.zip", RandomBytes(kVolume + 10, 9));
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "a.zip"), "A:\\sub\\a.zip", 1400), -1);
  EXPECT_TRUE(fs::exists(Disk(1) / "sub" / "a.m01"));
  EXPECT_FALSE(fs::exists(Disk(2) / "sub"));
  EXPECT_EQ(prompts_.back(), P("警告", "文件读写错误!", kOk));
}

TEST_F(SplitTest, BadArgumentsAreReported) {
  WriteHostFile(Work() / "a.zip", "data");
  EXPECT_EQ(exports::SplitToVolumes("a.zip", "A:\\a.zip", 1400), -1);
  EXPECT_EQ(prompts_.back(), P("提示", "输入的文件或路径必须是全路径!", kOk));
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "a.zip"), "a.zip", 1400), -1);
  EXPECT_EQ(prompts_.back(), P("提示", "输入的文件或路径必须是全路径!", kOk));
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "missing.zip"), "A:\\a.zip", 1400), -1);
  EXPECT_EQ(prompts_.back(), P("提示", "输入文件不存在!", kOk));
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / "a.zip"), "A:\\a.zip", 0), -1);
  EXPECT_EQ(prompts_.back(), P("警告", "文件读写错误!", kOk));
  EXPECT_FALSE(exports::HasFreeSpace("A", 10));
  EXPECT_EQ(prompts_.back(), P("警告", "输入的路径非法!", kOk));
  EXPECT_FALSE(exports::HasFreeSpace("Q:\\x", 10));  // a drive nothing maps
  EXPECT_EQ(prompts_.back(), P("警告", "输入的路径非法!", kOk));
  EXPECT_TRUE(exports::HasFreeSpace("A:\\x", os::host::kFloppyCapacity - 50));
  EXPECT_FALSE(exports::HasFreeSpace("A:\\x", os::host::kFloppyCapacity - 49));
}

TEST_F(SplitTest, NameLongerThanTheNameFieldIsRefused) {
  const std::string fifty(46, 'n');
  WriteHostFile(Work() / (fifty + ".zip"), "fits");
  WriteHostFile(Work() / (fifty + "x.zip"), "too long");
  const fs::path dir = Work() / "c";
  fs::create_directories(dir);
  EXPECT_EQ(exports::SplitToVolumes(DrivePath(Work() / (fifty + ".zip")), DrivePath(dir / "ok.zip"), 1400), 4);
  std::string stored;
  ASSERT_EQ(exports::JoinVolumes(DrivePath(dir / "ok.m01"), DrivePath(Out()), stored), 1);
  EXPECT_EQ(stored, fifty + ".zip");
  EXPECT_EQ(ReadHostFile(Out() / (fifty + ".zip")), "fits");
  try {
    exports::WriteVolumes(DrivePath(Work() / (fifty + "x.zip")), DrivePath(dir / "long.zip"), 1000);
    ADD_FAILURE() << "no exception";
  } catch (const EIOError& e) {
    EXPECT_EQ(e.what(), Gbk("文件名太长"));
  }
  EXPECT_FALSE(fs::exists(dir / "long.m01"));
}

}  // namespace
}  // namespace kestrel::testing
