// Runs that fail, and files that misbehave: a failing update (cancel from an event, a full
// disk, a source that cannot be read, a kill part-way through) leaves the old archive byte
// for byte; the limits of the format are refused before anything is replaced; files that
// vanish, cannot be opened or change size while read are skipped, never stored wrongly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "archive/lyn_unzip.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class LynZipFailureTest : public ZipScratch {
 protected:
  void SetUp() override {
    ZipScratch::SetUp();
    Write("src/a.txt", "alpha\n");
    Write("src/big.bin", RandomBytes(600000, 3));
    writer::TLynZip zip;
    PrepareRelative(zip, D("arc.zip"), D("src"), 6);
    zip.FilesList().Add("a.txt");
    ASSERT_EQ(zip.RunZip(), 1);
    old_ = Read(H("arc.zip"));
  }
  // The archive is the old one, and no temporary file is left beside it.
  void ExpectOldArchiveOnly() {
    EXPECT_TRUE(Read(H("arc.zip")) == old_);
    for (auto& e : fs::directory_iterator(root_))
      EXPECT_EQ(e.path().extension() == ".tmp", false) << e.path();
  }
  // Updates arc.zip with big.bin in a child process and kills it with SIGKILL once the run
  // reports point percent done; returns the child's process id.
  pid_t KillUpdateAt(int point, int level) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
      writer::TLynZip zip;
      PrepareRelative(zip, D("arc.zip"), D("src"), level);
      zip.FilesList().Add("big.bin");
      zip.OnTotalPercentDone = [&](archive::Object*, int32_t percent) {
        if (percent < point) return;
        char c = 'k';
        (void)!write(ready[1], &c, 1);
        pause();  // wait here for the kill
      };
      zip.RunZip();
      _exit(0);
    }
    char c = 0;
    EXPECT_EQ(read(ready[0], &c, 1), 1) << point;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    return child;
  }
  std::string old_;
};

TEST_F(LynZipFailureTest, CancelFromAnEventLeavesTheOldArchive) {
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.FilesList().Add("big.bin");
  zip.OnFilePercentDone = [&zip](archive::Object*, int32_t) { zip.Cancel(); };
  bool completed = false;
  zip.OnZipComplete = [&completed](archive::Object*, int32_t) { completed = true; };
  EXPECT_THROW(zip.RunZip(), archive::EUserCanceled);
  EXPECT_FALSE(completed);
  EXPECT_EQ(zip.FilesList().Count(), 0);
  ExpectOldArchiveOnly();
}

TEST_F(LynZipFailureTest, StopNowRaisesUserCanceled) {
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.FilesList().Add("big.bin");
  zip.OnStartZipInfo = [](archive::Object*, int32_t files, int64_t bytes, archive::TEndCentral&,
                          bool& stop) {
    EXPECT_EQ(files, 1);
    EXPECT_EQ(bytes, 600000);
    stop = true;
  };
  try {
    zip.RunZip();
    ADD_FAILURE() << "no exception";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Zip operation");
  }
  ExpectOldArchiveOnly();
}

TEST_F(LynZipFailureTest, FullDiskDuringAnUpdateLeavesTheOldArchive) {
  // F: is a 1.44 MB floppy holding the archive; three 600 KB random files do not fit beside it.
  fs::create_directories(H("floppy"));
  ASSERT_TRUE(os::host::MapDrive('F', H("floppy").string(), true));
  fs::copy_file(H("arc.zip"), H("floppy/arc.zip"));
  Write("src/big2.bin", RandomBytes(600000, 4));
  Write("src/big3.bin", RandomBytes(600000, 5));
  writer::TLynZip zip;
  PrepareRelative(zip, "F:\\arc.zip", D("src"), 6);
  zip.FilesList().Add("*.bin");
  try {
    zip.RunZip();
    ADD_FAILURE() << "no exception";
  } catch (const archive::ENotEnoughRoom& e) {
    EXPECT_STREQ(e.what(), "Not enough room to write archive");
  }
  EXPECT_TRUE(Read(H("floppy/arc.zip")) == old_);
  EXPECT_EQ(std::distance(fs::directory_iterator(H("floppy")), fs::directory_iterator()), 1);
}

TEST_F(LynZipFailureTest, FullDiskForAFreshArchiveLeavesNoFile) {
  fs::create_directories(H("floppy"));
  ASSERT_TRUE(os::host::MapDrive('F', H("floppy").string(), true));
  Write("src/big2.bin", RandomBytes(600000, 4));
  Write("src/big3.bin", RandomBytes(600000, 5));
  writer::TLynZip zip;
  PrepareRelative(zip, "F:\\new.zip", D("src"), 1);
  zip.FilesList().Add("*.bin");
  EXPECT_THROW(zip.RunZip(), archive::ENotEnoughRoom);
  EXPECT_FALSE(fs::exists(H("floppy/new.zip")));
}

TEST_F(LynZipFailureTest, ReadErrorInASourceLeavesTheOldArchive) {
  // Reading /proc/self/mem from its start fails with an I/O error.
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 0);
  zip.FilesList().Add(Drive("/proc/self/mem"));
  EXPECT_THROW(zip.RunZip(), classlib::EReadError);
  ExpectOldArchiveOnly();
}

TEST_F(LynZipFailureTest, KillDuringAnUpdateLeavesTheOldArchiveWhole) {
  KillUpdateAt(50, 9);  // half the new archive is written
  EXPECT_TRUE(Read(H("arc.zip")) == old_);
  EXPECT_EQ(Shell("unzip -tq arc.zip"), 0);
}

// Killed at points spread over an update, the run leaves the old archive whole and at most its
// work file, named with its process id; the next run removes that file and completes.
TEST_F(LynZipFailureTest, WorkFileOfAKilledUpdateIsRemovedByTheNextRun) {
  for (const int point : {0, 20, 50, 80, 99}) {
    const std::string tag = "-" + std::to_string(KillUpdateAt(point, 1)) + ".tmp";
    EXPECT_TRUE(Read(H("arc.zip")) == old_) << point;
    std::vector<std::string> left;
    for (auto& e : fs::directory_iterator(root_)) {
      if (e.path().extension() == ".tmp") left.push_back(e.path().filename().string());
    }
    ASSERT_EQ(left.size(), 1u) << point;
    EXPECT_EQ(left[0].substr(left[0].size() - tag.size()), tag);
  }
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 1);
  zip.FilesList().Add("big.bin");
  EXPECT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(PeerList("arc.zip"), "a.txt 6\nbig.bin 600000\n");
  for (auto& e : fs::directory_iterator(root_))
    EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

TEST_F(LynZipFailureTest, ReplaceRenamesTheCompleteArchiveOverTheOld) {
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.FilesList().Add("big.bin");
  // While the new archive is written the old one is still in place, untouched.
  zip.OnEndZip = [this](archive::Object*, const std::string&, int64_t, int64_t, int64_t) {
    EXPECT_TRUE(Read(H("arc.zip")) == old_);
  };
  EXPECT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(PeerList("arc.zip"), "a.txt 6\nbig.bin 600000\n");
  ExpectPeersAccept("arc.zip");
}

TEST_F(LynZipFailureTest, AFileThatGrowsWhileReadIsSkippedAndReported) {
  Write("src/grow.txt", std::string(100000, 'g'));
  writer::TLynZip zip;
  PrepareRelative(zip, D("new.zip"), D("src"), 0);
  zip.FilesList().Add("grow.txt");
  zip.FilesList().Add("a.txt");
  bool appended = false;
  zip.OnFilePercentDone = [&](archive::Object*, int32_t) {
    if (!appended) std::ofstream(H("src/grow.txt"), std::ios::app) << "more";
    appended = true;
  };
  std::vector<std::string> skipped;
  zip.OnSkippingFile = [&](archive::Object*, archive::TSkipReason reason, const std::string& name,
                           int32_t, bool&) {
    EXPECT_EQ(reason, archive::srFileOpenError);
    skipped.push_back(name);
  };
  EXPECT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(skipped, std::vector<std::string>{D("src/grow.txt")});
  EXPECT_EQ(PeerList("new.zip"), "a.txt 6\n");
  ExpectPeersAccept("new.zip");
}

TEST_F(LynZipFailureTest, AFileThatVanishesAfterGatheringIsSkipped) {
  Write("src/gone.txt", "gone");
  writer::TLynZip zip;
  PrepareRelative(zip, D("new.zip"), D("src"), 6);
  zip.FilesList().Add("*.txt");
  zip.OnStartZipInfo = [this](archive::Object*, int32_t files, int64_t, archive::TEndCentral&,
                              bool&) {
    EXPECT_EQ(files, 2);
    fs::remove(H("src/gone.txt"));
  };
  std::vector<std::string> noSuchFile;
  zip.OnNoSuchFile = [&](archive::Object*, const std::string& name) { noSuchFile.push_back(name); };
  EXPECT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(PeerList("new.zip"), "a.txt 6\n");
  EXPECT_EQ(noSuchFile, std::vector<std::string>{D("src/gone.txt")});
  EXPECT_EQ(zip.PassedOver(),
            (std::vector<writer::PassedOverFile>{{D("src/gone.txt"), "no such file"}}));
}

TEST_F(LynZipFailureTest, TheHostsCancelRequestIsSeenWithMessageProcessingOff) {
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.SetDoProcessMessages(false);
  zip.FilesList().Add("big.bin");
  zip.OnFilePercentDone = [](archive::Object*, int32_t) { os::host::SetCancel(true); };
  EXPECT_THROW(zip.RunZip(), archive::EUserCanceled);
  ExpectOldArchiveOnly();
  EXPECT_FALSE(os::TakeCancelRequest());  // taken by the run it cancelled
  // The component's own request still waits for message processing, as before.
  writer::TLynZip quiet;
  PrepareRelative(quiet, D("arc.zip"), D("src"), 6);
  quiet.SetDoProcessMessages(false);
  quiet.FilesList().Add("big.bin");
  quiet.OnFilePercentDone = [&quiet](archive::Object*, int32_t) { quiet.Cancel(); };
  EXPECT_EQ(quiet.RunZip(), 1);
}

TEST_F(LynZipFailureTest, AnUnopenableFileIsRetriedWhileTheHandlerAsks) {
  Write("src/locked.txt", "locked");
  fs::permissions(H("src/locked.txt"), fs::perms::none);
  if (Shell("cat src/locked.txt") == 0) GTEST_SKIP() << "permissions do not apply (root)";
  writer::TLynZip zip;
  PrepareRelative(zip, D("new.zip"), D("src"), 6);
  zip.FilesList().Add("*.txt");
  int asked = 0;
  zip.OnSkippingFile = [&](archive::Object*, archive::TSkipReason reason, const std::string&,
                           int32_t index, bool& retry) {
    EXPECT_EQ(reason, archive::srFileOpenError);
    EXPECT_EQ(index, -1);
    // The first time the handler unlocks the file and asks for another try.
    if (++asked == 1) {
      fs::permissions(H("src/locked.txt"), fs::perms::owner_read);
      retry = true;
    }
  };
  EXPECT_EQ(zip.RunZip(), 2);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(PeerList("new.zip"), "a.txt 6\nlocked.txt 6\n");
}

}  // namespace
}  // namespace kestrel::testing
