// Multi-volume archives written by RunZip: block files of BlockSize / FirstBlockSize joined
// and checked by the peers and read back by the component (also through the ".zfc"), one
// block becoming an ordinary archive, settings refused before anything is written, failures
// leaving nothing that claims to be complete, and sets spanned over emulated floppies with
// their labels, prompts, cancel and wrong disk.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "support/volume_label.h"
#include "writer/lyn_zip.h"
#include "writer/volume_set.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

uint32_t Get32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t Get16(const std::string& b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

class MultiVolumeZip : public ZipScratch {
 protected:
  void MakeInput(int files, size_t size) {
    for (int i = 0; i < files; ++i)
      Write("src/f" + std::to_string(i) + ".bin", RandomBytes(size, static_cast<unsigned>(i)));
    Write("src/text.txt", std::string(20000, 't'));
  }
  void ExpectSameFiles(const fs::path& dir) {
    for (auto& e : fs::recursive_directory_iterator(H("src"))) {
      if (!e.is_regular_file()) continue;
      EXPECT_EQ(Read(dir / fs::relative(e.path(), H("src"))), Read(e.path())) << e.path();
    }
  }
  std::vector<std::string> Blocks() const {
    std::vector<std::string> names;
    for (int n = 1; fs::exists(H("out/x." + Ext(n))); ++n) names.push_back("out/x." + Ext(n));
    return names;
  }
  static std::string Ext(int n) {
    char b[16];
    std::snprintf(b, sizeof b, "%03d", n);
    return b;
  }
  void SetBlocks(writer::TLynZip& zip, int level, int32_t first, int32_t block) {
    fs::create_directories(H("out"));
    PrepareRelative(zip, D("out/x.zip"), D("src"), level);
    zip.SetMultiMode(archive::mmBlocks);
    zip.MultiZipInfo().FirstBlockSize = first;
    zip.MultiZipInfo().BlockSize = block;
    zip.FilesList().Add("*.*");
  }
};

class BlockSets : public MultiVolumeZip, public ::testing::WithParamInterface<int> {};

TEST_P(BlockSets, BlocksJoinIntoAnArchiveThePeersAndTheComponentRead) {
  MakeInput(5, 60000);
  writer::TLynZip zip;
  SetBlocks(zip, GetParam(), 40000, 65536);
  zip.MultiZipInfo().SaveZipInfoOnFirstDisk = true;
  ASSERT_EQ(zip.RunZip(), 6);
  const std::vector<std::string> blocks = Blocks();
  ASSERT_GE(blocks.size(), 4u);
  EXPECT_FALSE(fs::exists(H("out/x.zip")));
  EXPECT_EQ(zip.ZipName(), D(blocks.back()));
  EXPECT_EQ(zip.NumberOfDisks(), static_cast<int32_t>(blocks.size()));
  // Every block but the last is full.
  EXPECT_EQ(fs::file_size(H(blocks[0])), 40000u);
  for (size_t i = 1; i + 1 < blocks.size(); ++i) EXPECT_EQ(fs::file_size(H(blocks[i])), 65536u);

  // Joined in order the blocks are one stream; the .zfc is its central directory and end
  // record.
  std::string joined;
  std::vector<size_t> starts;
  for (const std::string& b : blocks) {
    starts.push_back(joined.size());
    joined += Read(H(b));
  }
  const size_t end = joined.rfind(std::string("PK\x05\x06", 4));
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(Get16(joined, end + 4), blocks.size() - 1);
  const size_t central = starts[Get16(joined, end + 6)] + Get32(joined, end + 16);
  EXPECT_EQ(Read(H("out/x.zfc")), joined.substr(central));

  // Offsets count from the start of each block, as in the format's split archives, so the
  // peers read the blocks as such a set: 7z directly, zip joining it into one archive.
  fs::create_directories(H("split"));
  for (size_t i = 0; i + 1 < blocks.size(); ++i)
    fs::copy_file(H(blocks[i]), H("split/x.z" + Ext(static_cast<int>(i) + 1).substr(1)));
  fs::copy_file(H(blocks.back()), H("split/x.zip"));
  ASSERT_EQ(Shell("cd split && zip -q -s 0 x.zip --out ../joined.zip"), 0);
  ExpectPeersAccept("joined.zip");
  ASSERT_EQ(Shell("unzip -q joined.zip -d x"), 0);
  ExpectSameFiles(H("x"));
  EXPECT_EQ(Shell("7z t split/x.zip"), 0);

  // The component follows the directory over the blocks...
  archive::TLynUnZip back;
  back.SetZipName(D(blocks.back()));
  back.OpenZip();
  EXPECT_EQ(back.Count(), 6);
  EXPECT_EQ(back.MultiMode(), archive::mmBlocks);
  bool later = false;
  for (int32_t i = 0; i < back.Count(); ++i) later = later || back.Entry(i).diskNumberStart > 0;
  EXPECT_TRUE(later);
  // ...and loads it from the configuration file when only the first block is there.
  fs::remove(H(blocks.back()));
  archive::TLynUnZip first;
  first.SetZipName(D(blocks.front()));
  first.OnGetNextDisk = [](classlib::Object*, int32_t, std::string&) {
    ADD_FAILURE() << "no other block is needed";
  };
  first.OpenZip();
  EXPECT_EQ(first.Count(), 6);
  EXPECT_EQ(first.NumberOfDisks(), static_cast<int32_t>(blocks.size()));
}

INSTANTIATE_TEST_SUITE_P(Levels, BlockSets, ::testing::Values(0, 6));

TEST_F(MultiVolumeZip, OneBlockIsAnOrdinaryArchiveAndAStaleConfigurationGoes) {
  MakeInput(2, 1000);
  fs::create_directories(H("out"));
  Write("out/x.zfc", "left by an earlier run");
  writer::TLynZip zip;
  SetBlocks(zip, 6, 1457600, 1457600);
  zip.MultiZipInfo().SaveZipInfoOnFirstDisk = true;
  ASSERT_EQ(zip.RunZip(), 3);
  EXPECT_EQ(zip.ZipName(), D("out/x.zip"));
  EXPECT_FALSE(fs::exists(H("out/x.001")));
  EXPECT_FALSE(fs::exists(H("out/x.zfc")));
  ExpectPeersAccept("out/x.zip");
  // The reservation for the configuration file grows with every run.
  EXPECT_EQ(zip.MultiZipInfo().SaveOnFirstDisk, 3 * 83 + 0 + 0 + 2070);
}

TEST_F(MultiVolumeZip, SettingsThatCannotWorkAreRefusedBeforeAnythingIsWritten) {
  MakeInput(1, 100);
  writer::TLynZip zip;
  SetBlocks(zip, 6, 1000, 0);
  EXPECT_THROW(zip.RunZip(), writer::EBadMultiVolumeSettings);
  EXPECT_TRUE(fs::is_empty(H("out")));
  EXPECT_EQ(zip.FilesList().Count(), 1);  // nothing was gathered or cleared

  writer::TLynZip span;
  PrepareRelative(span, D("out/x.zip"), D("src"), 6);
  span.SetMultiMode(archive::mmSpan);
  span.OnGetNextDisk = nullptr;
  span.FilesList().Add("*.*");
  EXPECT_THROW(span.RunZip(), writer::EBadMultiVolumeSettings);
  EXPECT_TRUE(fs::is_empty(H("out")));
}

TEST_F(MultiVolumeZip, ACancelledRunLeavesNoBlocks) {
  MakeInput(4, 30000);
  writer::TLynZip zip;
  SetBlocks(zip, 0, 20000, 20000);
  int started = 0;
  zip.OnStartZip = [&](classlib::Object*, const std::string&, archive::TZipHeaderInfo&, bool&) {
    if (++started == 3) zip.Cancel();
  };
  EXPECT_THROW(zip.RunZip(), archive::EUserCanceled);
  EXPECT_TRUE(fs::is_empty(H("out")));
}

TEST_F(MultiVolumeZip, MoreThan999BlocksAreRefusedAndLeaveNone) {
  Write("src/a.bin", RandomBytes(100 * 1000, 1));
  writer::TLynZip zip;
  SetBlocks(zip, 0, 100, 100);
  EXPECT_THROW(zip.RunZip(), writer::EBadMultiVolumeSettings);
  EXPECT_TRUE(fs::is_empty(H("out")));
}

TEST_F(MultiVolumeZip, AFullDiskMidEntryLeavesNoBlocks) {
  MakeInput(1, 2000000);
  fs::create_directories(H("floppy"));
  ASSERT_TRUE(os::host::MapDrive('A', H("floppy").string(), true));
  writer::TLynZip zip;
  PrepareRelative(zip, "A:\\x.zip", D("src"), 0);
  zip.SetMultiMode(archive::mmBlocks);
  zip.MultiZipInfo().FirstBlockSize = 1000000;
  zip.MultiZipInfo().BlockSize = 1000000;
  zip.FilesList().Add("*.*");
  EXPECT_THROW(zip.RunZip(), archive::ENotEnoughRoom);
  EXPECT_TRUE(fs::is_empty(H("floppy")));
}

// Disks of the emulated A: drive are folders disk1, disk2 …; the default prompt "inserts"
// the disk it names by mapping A: to its folder.
class SpannedZip : public MultiVolumeZip {
 protected:
  void SetUp() override {
    MultiVolumeZip::SetUp();
    for (int i = 1; i <= 6; ++i) fs::create_directories(Disk(i));
    Insert(1);
    os::host::SetMessageHandler([this](const std::string&, const std::string& text, uint32_t) {
      prompts_.push_back(text);
      const std::string prefix = "Please insert disk ";
      if (answer_ == os::kIdOk && swap_ && text.rfind(prefix, 0) == 0)
        Insert(std::stoi(text.substr(prefix.size())));
      return answer_;
    });
  }
  void TearDown() override {
    for (int i = 1; i <= 6; ++i) fs::remove(Disk(i).string() + ".label");
    MultiVolumeZip::TearDown();
  }
  fs::path Disk(int n) const { return H("disk" + std::to_string(n)); }
  void Insert(int n) { ASSERT_TRUE(os::host::MapDrive('A', Disk(n).string(), true)); }
  std::string Label(int n) {
    Insert(n);
    return support::GetVolumeLabel("A:\\");
  }
  void Prepare(writer::TLynZip& zip) {
    PrepareRelative(zip, "A:\\x.zip", D("src"), 6);
    zip.SetMultiMode(archive::mmSpan);
    zip.OnPrepareNextDisk = [this](classlib::Object*, int32_t n) { prepared_.push_back(n); };
    zip.FilesList().Add("*.*");
  }
  static std::string Prompt(int n) {
    return "Please insert disk " + std::to_string(n) + " of the multi-disk set.";
  }
  std::vector<std::string> prompts_;
  std::vector<int32_t> prepared_;
  int answer_ = os::kIdOk;
  bool swap_ = true;
};

TEST_F(SpannedZip, DisksAreLabelledAndReadBackWithThePromptsInOrder) {
  MakeInput(3, 1000000);
  writer::TLynZip zip;
  Prepare(zip);
  zip.MultiZipInfo().SaveZipInfoOnFirstDisk = true;
  ASSERT_EQ(zip.RunZip(), 4);
  // Disks 2 and 3 asked for while writing, then disk 1 again for the configuration file.
  EXPECT_EQ(prompts_, (std::vector<std::string>{Prompt(2), Prompt(3), Prompt(1)}));
  EXPECT_EQ(prepared_, (std::vector<int32_t>{2, 3}));
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(Label(n), "PKBACK# 00" + std::to_string(n));
    EXPECT_TRUE(fs::exists(Disk(n) / "x.zip"));
  }
  EXPECT_TRUE(fs::exists(Disk(1) / "x.zfc"));
  EXPECT_FALSE(fs::exists(Disk(4) / "x.zip"));

  // The disks as a split set: 7z reads it, zip joins it into an archive the peers accept.
  fs::create_directories(H("split"));
  fs::copy_file(Disk(1) / "x.zip", H("split/x.z01"));
  fs::copy_file(Disk(2) / "x.zip", H("split/x.z02"));
  fs::copy_file(Disk(3) / "x.zip", H("split/x.zip"));
  EXPECT_EQ(Shell("7z t split/x.zip"), 0);
  ASSERT_EQ(Shell("cd split && zip -q -s 0 x.zip --out ../joined.zip"), 0);
  ExpectPeersAccept("joined.zip");
  ASSERT_EQ(Shell("unzip -q joined.zip -d x"), 0);
  ExpectSameFiles(H("x"));

  // Read back from the last disk, which holds the whole directory.
  prompts_.clear();
  Insert(3);
  archive::TLynUnZip back;
  back.SetZipName("A:\\x.zip");
  back.OpenZip();
  EXPECT_EQ(back.Count(), 4);
  EXPECT_EQ(back.MultiMode(), archive::mmSpan);
  EXPECT_EQ(back.NumberOfDisks(), 3);
  EXPECT_TRUE(prompts_.empty());
  // From the first disk alone, through the configuration file: no prompt at all.
  prompts_.clear();
  Insert(1);
  archive::TLynUnZip first;
  first.SetZipName("A:\\x.zip");
  first.OpenZip();
  EXPECT_EQ(first.Count(), 4);
  EXPECT_TRUE(prompts_.empty());
}

// Sized so that the central directory starts near the end of disk 2 and goes on to disk 3.
TEST_F(SpannedZip, DirectoryAcrossDisksIsReadBackWithThePromptsInOrder) {
  const int tiny = 400;  // local record 30 + 8 + 1 bytes, central record 46 + 8 bytes each
  for (int i = 0; i < tiny; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "t%03d.txt", i);
    Write(std::string("src/") + name, "x");
  }
  const size_t centralStart = 2 * os::host::kFloppyCapacity - 10000;
  Write("src/big.bin", RandomBytes(centralStart - tiny * 39 - 37, 9));
  writer::TLynZip zip;
  Prepare(zip);
  zip.SetPackLevel(0);
  ASSERT_EQ(zip.RunZip(), tiny + 1);
  EXPECT_EQ(zip.EndCentral().startDisk, 1);
  EXPECT_EQ(zip.EndCentral().thisDisk, 2);
  prompts_.clear();
  Insert(3);
  archive::TLynUnZip back;
  back.SetZipName("A:\\x.zip");
  back.OpenZip();
  EXPECT_EQ(back.Count(), tiny + 1);
  EXPECT_EQ(prompts_, (std::vector<std::string>{Prompt(2), Prompt(3)}));
  // A wrong disk offered first is refused by its label and asked for again.
  prompts_.clear();
  Insert(3);
  int offers = 0;
  archive::TLynUnZip again;
  again.SetZipName("A:\\x.zip");
  again.OnGetNextDisk = [&](classlib::Object*, int32_t n, std::string&) {
    Insert(++offers == 1 ? 1 : n);
  };
  again.OpenZip();
  EXPECT_EQ(again.Count(), tiny + 1);
  EXPECT_EQ(offers, 3);
}

TEST_F(SpannedZip, CancelAtThePromptLeavesNoCompleteArchive) {
  MakeInput(2, 1000000);
  answer_ = os::kIdCancel;
  writer::TLynZip zip;
  Prepare(zip);
  try {
    zip.RunZip();
    FAIL();
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Zip operation");
  }
  // The finished first disk stays; it holds no end record, so nothing reads it as complete.
  Insert(1);
  ASSERT_TRUE(fs::exists(Disk(1) / "x.zip"));
  EXPECT_NE(Shell("python3 -c \"import zipfile,sys; sys.exit(0 if zipfile.is_zipfile('" +
                  (Disk(1) / "x.zip").string() + "') else 1)\""),
            0);
}

TEST_F(SpannedZip, TheSameDiskInsertedAgainIsNotOverwritten) {
  MakeInput(2, 1000000);
  swap_ = false;
  writer::TLynZip zip;
  Prepare(zip);
  EXPECT_THROW(zip.RunZip(), archive::EUserCanceled);
  EXPECT_EQ(fs::file_size(Disk(1) / "x.zip"), os::host::kFloppyCapacity);
}

}  // namespace
}  // namespace kestrel::testing
