// Directories spread over disk files: following them, a missing disk, the configuration file
// and a stale one, and the default next-disk prompt.
#include <gtest/gtest.h>

#include <cstdio>

#include "archive/lyn_unzip.h"
#include "archive_fixtures.h"
#include "classlib/exception.h"

namespace kestrel::archive {
namespace {

using namespace fixtures;

void MakeArchive(const fs::path& out, const std::string& body) {
  ScratchDir tmp;
  WriteText(tmp / "make.py",
            "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n" + body);
  ASSERT_EQ(Shell("python3 " + (tmp / "make.py").string() + " " + out.string()), 0);
}

// Cuts a single-file archive into two block files: x.001 holds the data and the start of the
// central directory, x.002 the rest and an end record that says so.
class TwoDisks : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path good = dir_ / "good.zip";
    MakeArchive(good,
                "    z.writestr('a.txt', b'alpha ' * 300, zipfile.ZIP_DEFLATED)\n"
                "    i = zipfile.ZipInfo('dir/b.txt'); i.comment = b'bee'\n"
                "    z.writestr(i, b'beta ' * 50)\n"
                "    z.writestr('c.bin', bytes(range(256)) * 8, zipfile.ZIP_DEFLATED)\n");
    std::vector<uint8_t> b = ReadAll(good);
    size_t end = FindEndRecord(b);
    central_ = Get32(b, end + 16);
    const size_t cut = central_ + 20;  // inside the first central record
    disk1_.assign(b.begin(), b.begin() + cut);
    centralBytes_.assign(b.begin() + central_, b.begin() + end);
    endRecord_.assign(b.begin() + end, b.end());
    Put16(endRecord_, 4, 1);  // this disk
    Put16(endRecord_, 6, 0);  // directory starts on disk 0
    disk2_.assign(b.begin() + cut, b.begin() + end);
    disk2_.insert(disk2_.end(), endRecord_.begin(), endRecord_.end());
    WriteAll(dir_ / "x.001", disk1_);
    WriteAll(dir_ / "x.002", disk2_);
  }
  ScratchDir dir_;
  uint32_t central_ = 0;
  std::vector<uint8_t> disk1_, disk2_, centralBytes_, endRecord_;
};

TEST_F(TwoDisks, DirectoryIsFollowedAcrossBlockFiles) {
  TLynUnZip z;
  z.SetZipName(DrivePath(dir_ / "x.002"));
  std::vector<int32_t> asked;
  auto builtIn = z.OnGetNextDisk;
  z.OnGetNextDisk = [&](Object* sender, int32_t n, std::string& name) {
    asked.push_back(n);
    builtIn(sender, n, name);
  };
  z.OpenZip();
  EXPECT_EQ(asked, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(z.MultiMode(), mmBlocks);
  EXPECT_EQ(z.NumberOfDisks(), 2);
  EXPECT_EQ(z.CurrentDisk(), 1);
  ASSERT_EQ(z.Count(), 3);
  EXPECT_EQ(z.Entry(0).FullName(), "a.txt");
  EXPECT_EQ(z.Entry(1).FullName(), "dir\\b.txt");
  EXPECT_EQ(z.Entry(2).FullName(), "c.bin");
  // Comments of a multi-disk archive are read while their disk is open.
  ASSERT_NE(z.Entry(1).Comment(), nullptr);
  EXPECT_STREQ(z.Entry(1).Comment(), "bee");
  EXPECT_FALSE(z.EndCentral().commentsChanged);
  EXPECT_EQ(z.ZipName(), DrivePath(dir_ / "x.002"));
}

TEST_F(TwoDisks, MissingDiskCancelsTheLoad) {
  fs::remove(dir_ / "x.001");
  TLynUnZip z;
  z.SetZipName(DrivePath(dir_ / "x.002"));
  try {
    z.OpenZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled loading new disk.");
  }
  EXPECT_EQ(z.Count(), 0);
  // A handler that keeps naming a missing file does not keep the load waiting forever.
  int calls = 0;
  z.SetZipName(DrivePath(dir_ / "x.002"));
  z.OnGetNextDisk = [&](Object*, int32_t, std::string& name) {
    ++calls;
    name = DrivePath(dir_ / "nowhere.001");
  };
  EXPECT_THROW(z.OpenZip(), EUserCanceled);
  EXPECT_GT(calls, 1);
  // No handler at all: the same clear cancellation.
  z.SetZipName(DrivePath(dir_ / "x.002"));
  z.OnGetNextDisk = nullptr;
  EXPECT_THROW(z.OpenZip(), EUserCanceled);
}

TEST_F(TwoDisks, BadCentralRecordOnAMultiDiskArchiveIsNotRepaired) {
  std::vector<uint8_t> b = disk2_;
  ASSERT_EQ(Get32(b, 31), 0x02014B50u);  // the second central record
  b[32] ^= 0xFF;
  WriteAll(dir_ / "x.002", b);
  TLynUnZip z;
  z.SetZipName(DrivePath(dir_ / "x.002"));
  try {
    z.OpenZip();
    FAIL();
  } catch (const EBadZipFile& e) {
    EXPECT_STREQ(e.what(), "Not a valid zip file!");
  }
  EXPECT_EQ(z.ZipName(), "");
  EXPECT_EQ(z.MultiMode(), mmNone);
}

TEST_F(TwoDisks, ConfigurationFileStandsInForTheLastDisk) {
  std::vector<uint8_t> config = centralBytes_;
  std::vector<uint8_t> end = endRecord_;
  const std::string comment = "set comment";
  Put16(end, 20, static_cast<uint16_t>(comment.size()));
  config.insert(config.end(), end.begin(), end.end());
  config.insert(config.end(), comment.begin(), comment.end());
  WriteAll(dir_ / "x.zfc", config);
  fs::remove(dir_ / "x.002");
  TLynUnZip z;
  z.SetZipName(DrivePath(dir_ / "x.001"));
  z.OnGetNextDisk = [](Object*, int32_t, std::string&) { FAIL() << "no disk change needed"; };
  z.OpenZip();
  ASSERT_EQ(z.Count(), 3);
  EXPECT_EQ(z.CurrentDisk(), 0);
  EXPECT_EQ(z.NumberOfDisks(), 2);
  EXPECT_EQ(z.Entry(2).FullName(), "c.bin");
  EXPECT_EQ(z.FileCommentOf(1), "bee");
  EXPECT_EQ(z.ZipComment(), comment);
  EXPECT_FALSE(z.EndCentral().commentsChanged);
}

TEST_F(TwoDisks, StaleConfigurationFileIsNotBelieved) {
  fs::path other = dir_ / "other.zip";
  MakeArchive(other,
              "    z.writestr('zzz.txt', b'something else entirely', zipfile.ZIP_DEFLATED)\n");
  std::vector<uint8_t> b = ReadAll(other);
  size_t end = FindEndRecord(b);
  std::vector<uint8_t> config(b.begin() + Get32(b, end + 16), b.end());
  Put16(config, config.size() - 22 + 4, 1);  // claims to be the end of a two-disk set
  WriteAll(dir_ / "x.zfc", config);
  TLynUnZip z;
  z.SetZipName(DrivePath(dir_ / "x.001"));
  try {
    z.OpenZip();
    FAIL();
  } catch (const EIncompleteZip& e) {
    EXPECT_STREQ(e.what(), "Incomplete Zip File");
  }
  EXPECT_EQ(z.Count(), 0);
}

// A set spanned over floppies: every disk is A:\x.zip, told apart by its label.
TEST_F(TwoDisks, SpannedDisksAreAskedForAndCheckedByLabel) {
  ScratchDir floppy;
  ASSERT_TRUE(os::host::MapDrive('A', floppy.path().string(), true));
  auto insert = [&](int disk) {
    WriteAll(floppy / "x.zip", disk == 1 ? disk1_ : disk2_);
    ASSERT_TRUE(os::SetVolumeLabel("A:\\", disk == 1 ? "PKBACK# 001" : "PKBACK# 002"));
  };
  insert(2);
  std::vector<std::string> prompts;
  int wrongDisks = 0;  // how many times the user first inserts the wrong disk
  os::host::SetMessageHandler([&](const std::string&, const std::string& text, uint32_t) {
    prompts.push_back(text);
    int wanted = text.find("disk 1 ") != std::string::npos ? 1 : 2;
    if (wrongDisks > 0) {
      --wrongDisks;
      insert(3 - wanted);
    } else {
      insert(wanted);
    }
    return static_cast<int>(os::kIdOk);
  });
  TLynUnZip z;
  z.SetZipName("A:\\x.zip");
  wrongDisks = 1;
  z.OpenZip();
  EXPECT_EQ(z.MultiMode(), mmSpan);
  EXPECT_EQ(z.Count(), 3);
  // Disk 1 asked twice (the wrong disk came first), then disk 2 for the rest of the directory.
  EXPECT_EQ(prompts, (std::vector<std::string>{
                         "Please insert disk 1 of the multi-disk set.",
                         "Please insert disk 1 of the multi-disk set.",
                         "Please insert disk 2 of the multi-disk set."}));
  // Cancelling the prompt cancels the load.
  insert(2);
  os::host::SetMessageHandler(
      [&](const std::string&, const std::string&, uint32_t) { return static_cast<int>(os::kIdCancel); });
  TLynUnZip again;
  again.SetZipName("A:\\x.zip");
  EXPECT_THROW(again.OpenZip(), EUserCanceled);
  os::host::SetMessageHandler(nullptr);
  os::host::UnmapDrive('A');
}

// Archives split by zip -s: x.z01, x.z02 … and x.zip with the end record. The directory is
// long enough to start on an earlier disk than the end record.
class SplitByZip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("zip")) GTEST_SKIP() << "zip missing";
    fs::create_directories(dir_ / "t");
    for (int i = 0; i < 1500; ++i) {
      WriteText(dir_ / "t" / ("an_entry_with_a_long_descriptive_name_number_" +
                              std::to_string(i) + ".txt"),
                std::string(static_cast<size_t>(i % 7), 'q'));
    }
    ASSERT_EQ(Shell("cd " + dir_.path().string() + " && zip -q -r -s 64k x.zip t"), 0);
    ASSERT_EQ(Shell("cd " + dir_.path().string() + " && zip -q -s 0 x.zip --out joined.zip"), 0);
    std::vector<uint8_t> b = ReadAll(dir_ / "x.zip");
    size_t end = FindEndRecord(b);
    ASSERT_NE(end, std::string::npos);
    lastDisk_ = Get16(b, end + 4) + 1;
    ASSERT_GE(lastDisk_, 3);
    firstDirectoryDisk_ = Get16(b, end + 6) + 1;
    ASSERT_LT(firstDirectoryDisk_, lastDisk_);  // the directory starts on an earlier disk
  }
  // Disk n of the set, as the user would name it.
  std::string DiskName(int32_t n) const {
    if (n == lastDisk_) return DrivePath(dir_ / "x.zip");
    char ext[8];
    std::snprintf(ext, sizeof ext, ".z%02d", n);
    return DrivePath(dir_ / ("x" + std::string(ext)));
  }
  ScratchDir dir_;
  int32_t lastDisk_ = 0;
  int32_t firstDirectoryDisk_ = 0;
};

TEST_F(SplitByZip, LoadsTheWholeDirectory) {
  TLynUnZip z;
  z.SetZipName(DiskName(lastDisk_));
  z.OnGetNextDisk = [&](Object*, int32_t n, std::string& name) { name = DiskName(n); };
  z.OpenZip();
  TLynUnZip joined;
  joined.SetZipName(DrivePath(dir_ / "joined.zip"));
  joined.OpenZip();
  ASSERT_EQ(z.Count(), joined.Count());
  ASSERT_GT(z.Count(), 1500);
  EXPECT_EQ(z.MultiMode(), mmBlocks);
  EXPECT_EQ(z.NumberOfDisks(), lastDisk_);
  bool laterDisk = false;
  for (int32_t i = 0; i < z.Count(); ++i) {
    EXPECT_EQ(z.Entry(i).FullName(), joined.Entry(i).FullName());
    EXPECT_EQ(z.Entry(i).crc32, joined.Entry(i).crc32);
    EXPECT_EQ(z.Entry(i).uncompressedSize, joined.Entry(i).uncompressedSize);
    laterDisk = laterDisk || z.Entry(i).diskNumberStart > 0;
  }
  EXPECT_TRUE(laterDisk);
}

TEST_F(SplitByZip, MissingDiskOfTheDirectoryCancels) {
  std::string missing = DiskName(firstDirectoryDisk_);
  fs::remove(dir_ / missing.substr(missing.rfind('\\') + 1));
  TLynUnZip z;
  z.SetZipName(DiskName(lastDisk_));
  z.OnGetNextDisk = [&](Object*, int32_t n, std::string& name) {
    name = DiskName(n);
    if (!fs::exists(dir_ / name.substr(name.rfind('\\') + 1))) name.clear();
  };
  try {
    z.OpenZip();
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled loading new disk.");
  }
  EXPECT_EQ(z.Count(), 0);
}

TEST(DiskPrompt, DefaultPromptAsksForASpannedDisk) {
  std::string caption, text;
  uint32_t flags = 0;
  os::host::SetMessageHandler([&](const std::string& c, const std::string& t, uint32_t f) {
    caption = c;
    text = t;
    flags = f;
    return static_cast<int>(os::kIdCancel);
  });
  TLynUnZip z;
  z.SetMultiMode(mmSpan);
  std::string name = "A:\\x.zip";
  z.DefaultGetNextDisk(&z, 3, name);
  os::host::SetMessageHandler(nullptr);
  EXPECT_EQ(text, "Please insert disk 3 of the multi-disk set.");
  EXPECT_EQ(caption, "");
  EXPECT_EQ(flags & 0x0F, static_cast<uint32_t>(os::kMbOkCancel));
  EXPECT_EQ(name, "");
}

TEST(DiskPrompt, DefaultBlockNameNumbersTheExtension) {
  ScratchDir dir;
  WriteText(dir / "archive.002", "x");
  TLynUnZip z;
  z.SetMultiMode(mmBlocks);
  std::string name = DrivePath(dir / "archive.zip");
  z.DefaultGetNextDisk(&z, 2, name);
  EXPECT_EQ(name, DrivePath(dir / "archive.002"));
  name = DrivePath(dir / "archive.zip");
  z.DefaultGetNextDisk(&z, 3, name);  // archive.003 is not there
  EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace kestrel::archive
