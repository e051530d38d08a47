// UnZipFile's drive-A: step: a volume set on A: is joined into the temporary directory and the
// joined file is gone once the step's owner ends; anything else is read in place.
#include <cstdlib>

#include "exports/volume_set.h"
#include "exports/volume_source.h"
#include "tests/exports/volume_session.h"

namespace kestrel::testing {
namespace {

class VolumeSource : public VolumeSession {
 protected:
  void SetUp() override {
    VolumeSession::SetUp();
    fs::create_directories(root_ / "temp");
    const char* old = std::getenv("TMPDIR");
    oldTmp_ = old ? old : "";
    hadTmp_ = old != nullptr;
    ::setenv("TMPDIR", (root_ / "temp").c_str(), 1);
  }
  void TearDown() override {
    if (hadTmp_) ::setenv("TMPDIR", oldTmp_.c_str(), 1); else ::unsetenv("TMPDIR");
    VolumeSession::TearDown();
  }
  std::string oldTmp_;
  bool hadTmp_ = false;
};

TEST_F(VolumeSource, VolumeSetOnAIsJoinedAndRemovedAfterwards) {
  if (os::TempPath().rfind(DrivePath(root_ / "temp"), 0) != 0) GTEST_SKIP() << "TMPDIR not used";
  const std::string data = RandomBytes(3 * 1024 * 1024, 21);
  WriteHostFile(Work() / "arc.zip", data);
  ASSERT_GE(exports::SplitToVolumes(DrivePath(Work() / "arc.zip"), "A:\\arc.zip", 1400), 0);
  MapDisk(1);
  {
    exports::JoinedArchive joined("a:\\arc.m01");
    ASSERT_EQ(joined.outcome(), exports::JoinedArchive::Outcome::Joined);
    EXPECT_EQ(joined.path(), os::TempPath() + "arc.zip");
    EXPECT_TRUE(ReadHostFile(root_ / "temp" / "arc.zip") == data);
  }
  EXPECT_FALSE(fs::exists(root_ / "temp" / "arc.zip"));
}

TEST_F(VolumeSource, DeclinedDiskLeavesNoJoinedFile) {
  WriteHostFile(Work() / "arc.zip", RandomBytes(2 * 1024 * 1024, 22));
  ASSERT_GE(exports::SplitToVolumes(DrivePath(Work() / "arc.zip"), "A:\\arc.zip", 1400), 0);
  MapDisk(1);
  answer_ = [&](const Prompt& p) {
    if (p.text == Gbk("请插入下一张盘")) {
      MapDisk(6);  // the user has no second disk
      return int{os::kIdOk};
    }
    return p.flags == 0x2004 ? int{os::kIdNo} : int{os::kIdOk};
  };
  exports::JoinedArchive joined("A:\\arc.m01");
  EXPECT_EQ(joined.outcome(), exports::JoinedArchive::Outcome::Failed);
  EXPECT_TRUE(fs::is_empty(root_ / "temp"));
}

TEST_F(VolumeSource, OtherSourcesAreReadInPlace) {
  WriteHostFile(Disk(1) / "plain.zip", "PK\x03\x04rest");
  exports::JoinedArchive plain("A:\\plain.zip");
  EXPECT_EQ(plain.outcome(), exports::JoinedArchive::Outcome::NotAVolumeSet);
  EXPECT_EQ(plain.path(), "A:\\plain.zip");
  WriteHostFile(Work() / "x.m01", "xml\1\0\0\0");
  exports::JoinedArchive offA(DrivePath(Work() / "x.m01"));
  EXPECT_EQ(offA.outcome(), exports::JoinedArchive::Outcome::NotAVolumeSet);
  EXPECT_TRUE(prompts_.empty());
}

TEST_F(VolumeSource, OverlongTemporaryDirectoryIsRefused) {
  fs::path deep = root_ / "temp" / std::string(100, 't');
  fs::create_directories(deep);
  ::setenv("TMPDIR", deep.c_str(), 1);
  if (os::TempPath().size() <= exports::kMaxTempPath) GTEST_SKIP() << "TMPDIR not used";
  WriteHostFile(Disk(1) / "s.m01", std::string("xml\1\0\0\0\4\0\0\0\4\0\0\0\1\0\0\0nDATA", 24));
  exports::JoinedArchive joined("A:\\s.m01");
  EXPECT_EQ(joined.outcome(), exports::JoinedArchive::Outcome::Failed);
  EXPECT_TRUE(fs::is_empty(deep));
}

}  // namespace
}  // namespace kestrel::testing
