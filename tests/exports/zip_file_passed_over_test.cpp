// Files that packing sees but cannot take are named, with their reasons, in
// kestrel_last_error() and in the outcome the command reads, while ZipFile's result stays the
// number of files packed: a FIFO, a file below a path too long for the system, an unreadable
// file; the message names three and counts the rest. A name the code page cannot hold is not
// among them: it is packed, stored as UTF-8.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "exports/volume_session.h"
#include "exports/zip_file.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

class ZipFilePassedOverTest : public VolumeSession {
 protected:
  void SetUp() override {
    VolumeSession::SetUp();
    fs::create_directories(Src());
    WriteHostFile(Src() / "ok.txt", "fine\n");
  }
  fs::path Src() const { return Work() / "src"; }
  std::string Archive() const { return DrivePath(Work() / "out.zip"); }
  static bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

TEST_F(ZipFilePassedOverTest, EveryFileLeftOutIsNamedWithItsReason) {
  ASSERT_EQ(mkfifo((Src() / "pipe").c_str(), 0644), 0);
  WriteHostFile(Src() / "smile\xF0\x9F\x98\x80.txt", "no code page 936 spelling\n");
  fs::path deep = Src();
  for (int i = 0; i < 40; ++i) deep /= "level_" + std::to_string(i);
  fs::create_directories(deep);
  WriteHostFile(deep / "bottom.txt", "forty levels down\n");

  // The file 40 levels down (a 360-byte name) is no longer left out on Linux.
  EXPECT_EQ(ZipFile(DrivePath(Src()).c_str(), Archive().c_str(), "", 6, 1), 3);
  EXPECT_EQ(std::string(kestrel_last_error()),
            "1 file was not packed: " + DrivePath(Src() / "pipe") + " (not a regular file)");
  const std::string deepName = fs::relative(deep / "bottom.txt", Src()).string();
  EXPECT_EQ(std::system(("export LC_ALL=C.UTF-8 && unzip -Z1 '" + (Work() / "out.zip").string() +
                         "' | sort | tr '\\n' ' ' | grep -qx '" + deepName +
                         " ok.txt smile\xF0\x9F\x98\x80.txt '").c_str()),
            0);
  const fs::path back = Work() / "back";
  ASSERT_EQ(UnZipFile(Archive().c_str(), DrivePath(back).c_str(), ""), 1);
  EXPECT_EQ(ReadHostFile(back / deepName), "forty levels down\n");
}

// Quotes, tabs, newlines, colons and wildcards are legal in Linux names: stored as they are,
// read the same by a peer, and unpacked back; a folder named with a wildcard is itself.
TEST_F(ZipFilePassedOverTest, LinuxNamesWithWindowsReservedCharactersRoundTrip) {
  const std::vector<std::string> names = {"quote\"", "tab\there", "new\nline", "a:b",
                                          "what?.txt", "star*/in"};
  fs::create_directories(Src() / "star*");
  for (const std::string& name : names) WriteHostFile(Src() / name, name);
  EXPECT_EQ(ZipFile(DrivePath(Src()).c_str(), Archive().c_str(), "", 6, 1), 7);
  EXPECT_STREQ(kestrel_last_error(), "");
  const fs::path listing = Work() / "names.txt";
  ASSERT_EQ(std::system(("python3 -c 'import sys, zipfile; print(repr(sorted(zipfile.ZipFile("
                         "sys.argv[1]).namelist())))' '" + (Work() / "out.zip").string() +
                         "' > '" + listing.string() + "'").c_str()), 0);
  EXPECT_EQ(ReadHostFile(listing),
            "['a:b', 'new\\nline', 'ok.txt', 'quote\"', 'star*/in', 'tab\\there', 'what?.txt']\n");
  const fs::path back = Work() / "back";
  ASSERT_EQ(UnZipFile(Archive().c_str(), DrivePath(back).c_str(), ""), 1);
  for (const std::string& name : names) EXPECT_EQ(ReadHostFile(back / name), name) << name;
}

TEST(ZipFileOutcomeMessage, NamesTheFirstThreeAndCountsTheRest) {
  exports::ZipFileOutcome outcome;
  outcome.passedOver = {{"C:\\a", "no such file"}};
  EXPECT_EQ(exports::OutcomeMessage(outcome), "1 file was not packed: C:\\a (no such file)");
  for (const char* name : {"C:\\b", "C:\\c", "C:\\d"})
    outcome.passedOver.push_back({name, "permission denied"});
  outcome.nothingToPack = true;
  EXPECT_EQ(exports::OutcomeMessage(outcome),
            "4 files were not packed: C:\\a (no such file); C:\\b (permission denied); "
            "C:\\c (permission denied); and 1 more. Nothing to pack: no archive was written");
  outcome.failure = "User Aborted Operation";
  EXPECT_EQ(exports::OutcomeMessage(outcome), "User Aborted Operation");
}

TEST_F(ZipFilePassedOverTest, AnUnreadableFileIsReportedAndNothingWrittenWhenItWasAll) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
  fs::remove(Src() / "ok.txt");
  WriteHostFile(Src() / "locked.txt", "secret\n");
  fs::permissions(Src() / "locked.txt", fs::perms::none);
  EXPECT_EQ(ZipFile(DrivePath(Src()).c_str(), Archive().c_str(), "", 6, 1), 0);
  EXPECT_EQ(std::string(kestrel_last_error()),
            "1 file was not packed: " + DrivePath(Src() / "locked.txt") +
                " (permission denied). Nothing to pack: no archive was written");
  EXPECT_FALSE(fs::exists(Work() / "out.zip"));
}

}  // namespace
}  // namespace kestrel::testing
