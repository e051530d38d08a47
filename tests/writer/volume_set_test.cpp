// Volumes of a multi-volume run: names and labels, settings refused before a run writes,
// block files filled to their sizes, spanned disks asked for, labelled and checked on the
// emulated floppy drive, and the ways a volume change can end a run.
#include "writer/volume_set.h"

#include <gtest/gtest.h>

#include "archive/archive_fixtures.h"
#include "archive/zip_exceptions.h"
#include "classlib/file_stream.h"
#include "classlib/memory_stream.h"
#include "support/lfn_file_stream.h"
#include "support/volume_label.h"
#include "writer/volume_names.h"

namespace kestrel::writer {
namespace {

using namespace archive::fixtures;

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
  return b;
}

TEST(VolumeNames, BlocksLabelsAndConfiguration) {
  EXPECT_EQ(BlockFileName("C:\\d\\x.zip", 1), "C:\\d\\x.001");
  EXPECT_EQ(BlockFileName("C:\\d\\x.zip", 12), "C:\\d\\x.012");
  EXPECT_EQ(BlockFileName("C:\\d.e\\x", 3), "C:\\d.e\\x.003");
  EXPECT_EQ(DiskLabel(1), "PKBACK# 001");
  EXPECT_EQ(DiskLabel(42), "PKBACK# 042");
  EXPECT_EQ(ConfigurationFileName("A:\\x.zip"), "A:\\x.zfc");
  EXPECT_TRUE(IsFloppyDrivePath("a:\\x.zip"));
  EXPECT_TRUE(IsFloppyDrivePath("B:\\x.zip"));
  EXPECT_FALSE(IsFloppyDrivePath("C:\\x.zip"));
  EXPECT_FALSE(IsFloppyDrivePath("x.zip"));
}

TEST(VolumeSettingsCheck, SettingsThatCannotWorkAreRefused) {
  VolumeSettings blocks{archive::mmBlocks, 1457600, 1457600, true, false};
  EXPECT_NO_THROW(CheckVolumeSettings(blocks, false, 0));
  for (int64_t bad : {int64_t{0}, int64_t{-5}, int64_t{46}}) {
    blocks.blockSize = bad;
    EXPECT_THROW(CheckVolumeSettings(blocks, true, 0), EBadMultiVolumeSettings) << bad;
  }
  blocks.blockSize = 47;  // a central header with a one-byte name
  EXPECT_NO_THROW(CheckVolumeSettings(blocks, true, 0));
  // The end record and its comment never straddle two blocks either.
  EXPECT_THROW(CheckVolumeSettings(blocks, true, 30), EBadMultiVolumeSettings);
  blocks.firstBlockSize = 0;
  try {
    CheckVolumeSettings(blocks, true, 0);
    FAIL();
  } catch (const EBadMultiVolumeSettings& e) {
    EXPECT_STREQ(e.what(), "First block size 0 is too small: it must be at least 1 byte");
  }
  VolumeSettings span{archive::mmSpan, 0, 0, true, false};
  EXPECT_NO_THROW(CheckVolumeSettings(span, true, 0));
  EXPECT_THROW(CheckVolumeSettings(span, false, 0), EBadMultiVolumeSettings);
  VolumeSettings none{archive::mmNone, 0, 0, true, false};
  EXPECT_NO_THROW(CheckVolumeSettings(none, false, 0));
}

class BlockFiles : public ::testing::Test {
 protected:
  std::unique_ptr<VolumeSet> Make(int64_t first, int64_t block) {
    VolumeSet::Events events;
    events.volumeOpened = [this] { ++opened_; };
    auto set = std::make_unique<VolumeSet>(
        VolumeSettings{archive::mmBlocks, block, first, true, false}, zip_, output_, events);
    set->Start(0);
    output_ = std::make_unique<support::TLFNFileStream>(set->OutputName(), classlib::fmCreate);
    return set;
  }
  ScratchDir dir_;
  std::string zip_ = DrivePath(dir_ / "x.zip");
  std::unique_ptr<support::TLFNFileStream> output_;
  int opened_ = 0;
};

TEST_F(BlockFiles, DataFillsEachBlockAndContinuesInTheNext) {
  auto set = Make(60, 100);
  EXPECT_EQ(set->OutputName(), DrivePath(dir_ / "x.001"));
  std::vector<uint8_t> head(30, 'H');
  EXPECT_FALSE(set->MakeRoom(31));  // a local header and at least one byte of data
  output_->WriteBuffer(head.data(), 30);
  std::vector<uint8_t> data = Pattern(250);
  classlib::MemoryStream source(data);
  int64_t copied = 0;
  set->CopyEntry(source, [&](int64_t n) { copied += n; });
  EXPECT_EQ(copied, 250);
  // 60 + 100 + 100 bytes are full; the rest opens a fourth block.
  EXPECT_EQ(set->CurrentDisk(), 3);
  EXPECT_EQ(opened_, 3);
  EXPECT_EQ(set->RoomLeft(), 100 - 20);
  set->CloseVolume();
  std::vector<uint8_t> joined;
  std::vector<size_t> sizes;
  for (const char* n : {"x.001", "x.002", "x.003", "x.004"}) {
    std::vector<uint8_t> b = ReadAll(dir_ / n);
    sizes.push_back(b.size());
    joined.insert(joined.end(), b.begin(), b.end());
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{60, 100, 100, 20}));
  head.insert(head.end(), data.begin(), data.end());
  EXPECT_EQ(joined, head);
  EXPECT_EQ(set->FinishBlocks(), DrivePath(dir_ / "x.004"));
}

TEST_F(BlockFiles, HeadersThatDoNotFitMoveOnOrAreRefused) {
  auto set = Make(40, 100);
  output_->WriteBuffer("0123456789", 10);
  EXPECT_TRUE(set->MakeRoom(31));  // 30 left: not larger than a 30-byte header
  EXPECT_EQ(set->CurrentDisk(), 1);
  EXPECT_EQ(set->RoomLeft(), 100);
  // A record larger than a whole fresh block cannot be written at all.
  EXPECT_THROW(set->MakeRoom(101), archive::ENotEnoughRoom);
}

TEST_F(BlockFiles, ASingleBlockBecomesTheArchiveReplacingAnOldOne) {
  WriteText(dir_ / "x.zip", "old archive");
  auto set = Make(1000, 1000);
  output_->WriteBuffer("new", 3);
  set->CloseVolume();
  EXPECT_EQ(set->FinishBlocks(), zip_);
  EXPECT_FALSE(fs::exists(dir_ / "x.001"));
  EXPECT_EQ(ReadAll(dir_ / "x.zip"), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST_F(BlockFiles, AFailedRunLeavesNoBlocksAndNoStaleConfiguration) {
  WriteText(dir_ / "x.zfc", "from an earlier run");
  auto set = Make(50, 50);
  EXPECT_FALSE(fs::exists(dir_ / "x.zfc"));
  classlib::MemoryStream source(Pattern(120));
  set->CopyEntry(source, {});
  set->CloseVolume();
  EXPECT_TRUE(fs::exists(dir_ / "x.003"));
  set->DiscardBlocks();
  for (const char* n : {"x.001", "x.002", "x.003"}) EXPECT_FALSE(fs::exists(dir_ / n)) << n;
}

// Disks of the emulated A: drive, each a host folder; the prompt handler "inserts" one by
// mapping A: to it.
class SpannedDisks : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 1; i <= 4; ++i) fs::create_directories(Disk(i));
    Insert(1);
  }
  void TearDown() override {
    os::host::UnmapDrive('A');
    std::error_code ec;
    for (int i = 1; i <= 4; ++i) fs::remove(Disk(i).string() + ".label", ec);
  }
  fs::path Disk(int n) const { return dir_ / ("disk" + std::to_string(n)); }
  void Insert(int n) { ASSERT_TRUE(os::host::MapDrive('A', Disk(n).string(), true)); }
  std::string Label(int n) {
    Insert(n);
    return support::GetVolumeLabel("A:\\");
  }
  std::unique_ptr<VolumeSet> Make(archive::TGetNextDisk ask, int64_t reserve = 0) {
    VolumeSet::Events events;
    events.getNextDisk = std::move(ask);
    events.prepareNextDisk = [this](int32_t n) { prepared_.push_back(n); };
    auto set = std::make_unique<VolumeSet>(VolumeSettings{archive::mmSpan, 0, 0, true, false},
                                           "A:\\x.zip", output_, events);
    set->Start(reserve);
    output_ = std::make_unique<support::TLFNFileStream>(set->OutputName(), classlib::fmCreate);
    return set;
  }
  ScratchDir dir_;
  std::unique_ptr<support::TLFNFileStream> output_;
  std::vector<int32_t> prepared_;
};

TEST_F(SpannedDisks, DisksAreAskedForInOrderAndLabelled) {
  std::vector<int32_t> asked;
  auto set = Make(
      [&](classlib::Object*, int32_t n, std::string& name) {
        asked.push_back(n);
        EXPECT_EQ(name, "A:\\x.zip");
        Insert(n);
      },
      1000);
  EXPECT_EQ(set->RoomLeft(), int64_t(os::host::kFloppyCapacity) - 1000);
  std::vector<uint8_t> data = Pattern(3 * 1024 * 1024);
  classlib::MemoryStream source(data);
  set->CopyEntry(source, {});
  set->CloseVolume();
  set->LabelDisk();
  EXPECT_EQ(asked, (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(prepared_, (std::vector<int32_t>{2, 3}));
  std::vector<uint8_t> joined;
  for (int n = 1; n <= 3; ++n) {
    std::vector<uint8_t> b = ReadAll(Disk(n) / "x.zip");
    joined.insert(joined.end(), b.begin(), b.end());
  }
  EXPECT_EQ(ReadAll(Disk(1) / "x.zip").size(), os::host::kFloppyCapacity - 1000);
  EXPECT_EQ(joined, data);
  EXPECT_EQ(Label(1), "PKBACK# 001");
  EXPECT_EQ(Label(2), "PKBACK# 002");
  EXPECT_EQ(Label(3), "PKBACK# 003");
}

TEST_F(SpannedDisks, CancelAtThePromptEndsTheRunWithNoOpenVolume) {
  auto set = Make([](classlib::Object*, int32_t, std::string& name) { name.clear(); });
  try {
    set->NextVolume();
    FAIL();
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Zip operation");
  }
  EXPECT_EQ(output_, nullptr);
  EXPECT_EQ(set->CurrentDisk(), 0);
  EXPECT_TRUE(fs::exists(Disk(1) / "x.zip"));  // the finished disk stays as it is
}

TEST_F(SpannedDisks, TheFinishedDiskInsertedAgainIsNotOverwritten) {
  auto set = Make([](classlib::Object*, int32_t, std::string&) {});  // nobody changes the disk
  output_->WriteBuffer("volume one", 10);
  try {
    set->NextVolume();
    FAIL();
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "Disk 1 of the multi-disk set was inserted again instead of a new disk");
  }
  EXPECT_EQ(ReadAll(Disk(1) / "x.zip").size(), 10u);
}

TEST_F(SpannedDisks, ANearlyFullDiskEndsTheCopyWithNoRoom) {
  WriteAll(Disk(2) / "other.bin", std::vector<uint8_t>(os::host::kFloppyCapacity, 0));
  auto set = Make([&](classlib::Object*, int32_t n, std::string&) { Insert(n); });
  classlib::MemoryStream source(Pattern(os::host::kFloppyCapacity + 10));
  EXPECT_THROW(set->CopyEntry(source, {}), archive::ENotEnoughRoom);
}

}  // namespace
}  // namespace kestrel::writer
