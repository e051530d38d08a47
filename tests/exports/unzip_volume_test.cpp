// UnZipFile on a floppy volume set in drive A:: the set is joined in the temporary directory,
// unpacked, and the joined archive is removed, also when the join fails.
#include <cstdlib>

#include "exports/volume_set.h"
#include "kestrel.h"
#include "tests/exports/unpack_fixture.h"
#include "tests/exports/volume_session.h"

namespace kestrel::testing {
namespace {

class UnZipVolumes : public VolumeSession {
 protected:
  void SetUp() override {
    VolumeSession::SetUp();
    fs::create_directories(root_ / "temp");
    const char* old = std::getenv("TMPDIR");
    hadTmp_ = old != nullptr;
    oldTmp_ = old ? old : "";
    ::setenv("TMPDIR", (root_ / "temp").c_str(), 1);
    // Two stored entries of random bytes: about 2.5 MB, two floppies.
    payload_ = RandomBytes(2'000'000, 5);
    WritePyZip(Work() / "set.zip", {{"big.bin", payload_, false}, {"dir/small.txt", "small"}});
    ASSERT_GE(exports::SplitToVolumes(DrivePath(Work() / "set.zip"), "A:\\set.zip", 1400), 0);
    ASSERT_TRUE(fs::exists(Disk(2) / "set.m02"));
    MapDisk(1);
    prompts_.clear();
  }
  void TearDown() override {
    if (hadTmp_) ::setenv("TMPDIR", oldTmp_.c_str(), 1); else ::unsetenv("TMPDIR");
    VolumeSession::TearDown();
  }
  std::string payload_;
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST_F(UnZipVolumes, SetIsJoinedUnpackedAndTheJoinedFileRemoved) {
  ASSERT_EQ(os::TempPath(), DrivePath(root_ / "temp") + "\\");  // the join goes there
  ASSERT_EQ(UnZipFile("A:\\set.m01", DrivePath(Out()).c_str(), ""), 1);
  EXPECT_TRUE(ReadHostFile(Out() / "big.bin") == payload_);
  EXPECT_EQ(ReadHostFile(Out() / "dir" / "small.txt"), "small");
  EXPECT_TRUE(fs::is_empty(root_ / "temp"));
  EXPECT_EQ(CountText("请插入下一张盘"), 1u);
}

TEST_F(UnZipVolumes, DeclinedDiskReturnsZeroAndLeavesNoJoinedFile) {
  answer_ = [&](const Prompt& p) {
    if (p.text == Gbk("请插入下一张盘")) {
      MapDisk(6);  // the user has no second disk
      return int{os::kIdOk};
    }
    return p.flags == 0x2004 ? int{os::kIdNo} : int{os::kIdOk};
  };
  EXPECT_EQ(UnZipFile("A:\\set.m01", DrivePath(Out()).c_str(), ""), 0);
  EXPECT_EQ(CountText("源文件错误,请检查"), 1u);
  EXPECT_TRUE(fs::is_empty(root_ / "temp"));
  EXPECT_TRUE(fs::is_empty(Out()));
}

TEST_F(UnZipVolumes, PlainArchiveOnAIsReadInPlace) {
  fs::copy_file(Work() / "set.zip", Disk(1) / "plain.zip");
  ASSERT_EQ(UnZipFile("A:\\plain.zip", DrivePath(Out()).c_str(), ""), 1);
  EXPECT_EQ(ReadHostFile(Out() / "dir" / "small.txt"), "small");
  EXPECT_TRUE(prompts_.empty());
  EXPECT_TRUE(fs::is_empty(root_ / "temp"));
}

}  // namespace
}  // namespace kestrel::testing
