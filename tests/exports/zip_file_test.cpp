// ZipFile: the overwrite question and both answers, the old archive kept until the new one is
// complete, failures returned as -1 with a message, sources given as files or directories,
// and archives for drive A: built on C: and carried onto floppies.
#include <gtest/gtest.h>

#include "exports/volume_set.h"
#include "exports/volume_session.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

class ZipFileTest : public VolumeSession {
 protected:
  void SetUp() override {
    VolumeSession::SetUp();
    fs::create_directories(Work() / "src" / "sub");
    WriteHostFile(Work() / "src" / "a.txt", "alpha\n");
    WriteHostFile(Work() / "src" / "sub" / "b.txt", "bravo\n");
  }
  int32_t Zip(const fs::path& source, const std::string& zipName, int level = 6, int recurse = 1) {
    return ZipFile(DrivePath(source).c_str(), zipName.c_str(), "", level, recurse);
  }
  std::string Archive() const { return DrivePath(Work() / "out.zip"); }
  // The entry names as Python's zipfile reads them, one per line.
  static std::string Names(const fs::path& archive) {
    std::string out;
    FILE* p = popen(("python3 -c \"import zipfile,sys\nfor n in zipfile.ZipFile(sys.argv[1]).namelist():"
                     " print(n)\" '" + archive.string() + "' 2>/dev/null").c_str(), "r");
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
  }
  static int Check(const fs::path& archive) {
    return std::system(("unzip -tq '" + archive.string() + "' >/dev/null 2>&1").c_str());
  }
};

TEST_F(ZipFileTest, PacksADirectoryWithOrWithoutItsBackslash) {
  EXPECT_EQ(Zip(Work() / "src", Archive()), 2);
  EXPECT_EQ(Names(Work() / "out.zip"), "a.txt\nsub/b.txt\n");
  EXPECT_EQ(Check(Work() / "out.zip"), 0);
  EXPECT_STREQ(kestrel_last_error(), "");
  fs::remove(Work() / "out.zip");
  // Trailing backslash, no recursion: the directory's own files only.
  const std::string withSlash = DrivePath(Work() / "src") + "\\";
  EXPECT_EQ(ZipFile(withSlash.c_str(), Archive().c_str(), "", 0, 0), 1);
  EXPECT_EQ(Names(Work() / "out.zip"), "a.txt\n");
  EXPECT_TRUE(prompts_.empty());
}

TEST_F(ZipFileTest, PacksOneReadOnlyFileAndWritesNoArchiveWhenThereIsNothingToPack) {
  fs::permissions(Work() / "src" / "sub" / "b.txt", fs::perms::owner_read);
  EXPECT_EQ(Zip(Work() / "src" / "sub" / "b.txt", Archive()), 1);
  EXPECT_EQ(Names(Work() / "out.zip"), "b.txt\n");
  fs::remove(Work() / "out.zip");
  // A missing source is an empty directory: result 0, and no archive of no entries.
  EXPECT_EQ(Zip(Work() / "nothing", Archive()), 0);
  EXPECT_FALSE(fs::exists(Work() / "out.zip"));
  EXPECT_STREQ(kestrel_last_error(), "Nothing to pack: no archive was written");
  // An existing archive stays as it was, even after OK to the overwrite question.
  ASSERT_EQ(Zip(Work() / "src" / "a.txt", Archive()), 1);
  const std::string old = ReadHostFile(Work() / "out.zip");
  fs::create_directories(Work() / "empty");
  EXPECT_EQ(Zip(Work() / "empty", Archive()), 0);
  EXPECT_TRUE(ReadHostFile(Work() / "out.zip") == old);
}

TEST_F(ZipFileTest, AnEmptyNullOrBlankSourceIsRefusedTouchingNothing) {
  ASSERT_EQ(Zip(Work() / "src" / "a.txt", Archive()), 1);
  const std::string old = ReadHostFile(Work() / "out.zip");
  prompts_.clear();
  for (const char* source : {static_cast<const char*>(nullptr), "", "   ", " \t "}) {
    EXPECT_EQ(ZipFile(source, Archive().c_str(), "", 6, 1), -1);
    EXPECT_STREQ(kestrel_last_error(), "no source given");
  }
  EXPECT_TRUE(prompts_.empty());
  EXPECT_TRUE(ReadHostFile(Work() / "out.zip") == old);
}

TEST_F(ZipFileTest, CancelAtTheOverwriteQuestionKeepsTheArchive) {
  ASSERT_EQ(Zip(Work() / "src" / "a.txt", Archive()), 1);
  const std::string old = ReadHostFile(Work() / "out.zip");
  answer_ = [](const Prompt&) { return int{os::kIdCancel}; };
  EXPECT_EQ(Zip(Work() / "src", Archive()), -1);
  EXPECT_EQ(prompts_, (std::vector<Prompt>{P("提示", "目标文件存在,是否覆盖?", 0x2001)}));
  EXPECT_TRUE(ReadHostFile(Work() / "out.zip") == old);
  EXPECT_STRNE(kestrel_last_error(), "");
}

TEST_F(ZipFileTest, OkReplacesTheArchiveWithoutItsOldEntries) {
  WriteHostFile(Work() / "old.txt", "old entry\n");
  ASSERT_EQ(Zip(Work() / "old.txt", Archive()), 1);
  EXPECT_EQ(Zip(Work() / "src", Archive()), 2);
  EXPECT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(Names(Work() / "out.zip"), "a.txt\nsub/b.txt\n");
  EXPECT_EQ(Check(Work() / "out.zip"), 0);
}

TEST_F(ZipFileTest, AFailureAfterOkKeepsTheOldArchiveAndReturnsMinusOne) {
  ASSERT_EQ(Zip(Work() / "src" / "a.txt", Archive()), 1);
  const std::string old = ReadHostFile(Work() / "out.zip");
  // Reading /proc/self/mem from its start fails with an I/O error.
  EXPECT_EQ(ZipFile("C:\\proc\\self\\mem", Archive().c_str(), "", 0, 0), -1);
  EXPECT_EQ(prompts_.size(), 1u);
  EXPECT_TRUE(ReadHostFile(Work() / "out.zip") == old);
  EXPECT_STRNE(kestrel_last_error(), "");
  for (auto& e : fs::directory_iterator(Work())) EXPECT_NE(e.path().extension(), ".tmp");
}

TEST_F(ZipFileTest, AnArchiveForDriveAIsSplitOntoFloppiesAndTheCopyOnCIsDeleted) {
  const std::string onC = DrivePath(Work() / "x.zip");
  const std::string onA = "A" + onC.substr(1);
  EXPECT_EQ(Zip(Work() / "src", onA), 2);
  EXPECT_FALSE(fs::exists(Work() / "x.zip"));
  // Join the set back and look at it.
  std::string stored;
  ASSERT_EQ(exports::JoinVolumes(onA.substr(0, onA.size() - 3) + "m01", DrivePath(Out()) + "\\", stored), 1);
  EXPECT_EQ(stored, "x.zip");
  EXPECT_EQ(Names(Out() / "x.zip"), "a.txt\nsub/b.txt\n");
  EXPECT_EQ(Check(Out() / "x.zip"), 0);
}

TEST_F(ZipFileTest, AFileAtTheStagingPathIsNeitherAddedToNorDeleted) {
  WriteHostFile(Work() / "x.zip", "not an archive, and not ours");
  const std::string onA = "A" + DrivePath(Work() / "x.zip").substr(1);
  EXPECT_EQ(Zip(Work() / "src", onA), 2);
  EXPECT_EQ(ReadHostFile(Work() / "x.zip"), "not an archive, and not ours");
  std::string stored;
  ASSERT_EQ(exports::JoinVolumes(onA.substr(0, onA.size() - 3) + "m01", DrivePath(Out()) + "\\", stored), 1);
  EXPECT_EQ(Names(Out() / "x.zip"), "a.txt\nsub/b.txt\n");
}

TEST_F(ZipFileTest, ACancelledSplitStillReportsTheFilesPackedAndRemovesTheCopy) {
  const std::string onA = "A" + DrivePath(Work() / "x.zip").substr(1);
  answer_ = [](const Prompt& p) {
    return (p.flags & 0x0F) == os::kMbYesNo ? int{os::kIdNo} : int{os::kIdCancel};
  };
  EXPECT_EQ(Zip(Work() / "src", onA), 2);
  EXPECT_FALSE(prompts_.empty());
  EXPECT_FALSE(fs::exists(Work() / "x.zip"));
}

}  // namespace
}  // namespace kestrel::testing
