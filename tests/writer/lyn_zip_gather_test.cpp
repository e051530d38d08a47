// Gathering and naming: masks with and without recursion, excludes, the no-compress list,
// directory entries, duplicates, stored paths, the archive never taking itself in, Dispose,
// the property interlocks and Assign, and the order in which a run fires its events.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class LynZipGatherTest : public ZipScratch {
 protected:
  void SetUp() override {
    ZipScratch::SetUp();
    Write("data/a.txt", "a\n");
    Write("data/noext", "n\n");
    Write("data/X.TMP", "t\n");
    Write("data/sub/b.txt", "b\n");
    Write("data/sub/c.zip", std::string(5000, 'z'));
  }
  // Names the peer lists after a run over data\ with the given masks.
  std::string Names(writer::TLynZip& zip, const std::vector<std::string>& items) {
    fs::remove(H("out.zip"));
    for (const auto& item : items) zip.FilesList().Add(item);
    zip.RunZip();
    std::string names;
    for (const std::string& line : Lines(PeerList("out.zip")))
      names += line.substr(0, line.rfind(' ')) + " ";
    return names;
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }
  void Prepare(writer::TLynZip& zip) { PrepareRelative(zip, D("out.zip"), D("data"), 6); }
};

TEST_F(LynZipGatherTest, MasksRecurseAsTheirPrefixSays) {
  writer::TLynZip all;
  Prepare(all);
  EXPECT_EQ(Names(all, {"*.*"}), "X.TMP a.txt noext sub/b.txt sub/c.zip ");
  writer::TLynZip flat;
  Prepare(flat);
  EXPECT_EQ(Names(flat, {"|*.txt"}), "a.txt ");
  writer::TLynZip deep;
  Prepare(deep);
  deep.SetRecurse(false);
  EXPECT_EQ(Names(deep, {">*.txt"}), "a.txt sub/b.txt ");
  writer::TLynZip plain;
  Prepare(plain);
  plain.SetRecurse(false);
  EXPECT_EQ(Names(plain, {"*.txt"}), "a.txt ");
}

TEST_F(LynZipGatherTest, ExcludeMasksTestNamesOrWholePaths) {
  writer::TLynZip zip;
  Prepare(zip);
  zip.ExcludeList().Add("*.tmp");
  zip.ExcludeList().Add("*\\sub\\b.txt");
  EXPECT_EQ(Names(zip, {"*.*", "X.TMP"}), "a.txt noext sub/c.zip ");
}

TEST_F(LynZipGatherTest, NoCompressListAndLevelZeroStore) {
  writer::TLynZip zip;
  Prepare(zip);
  zip.SetPackLevel(9);
  zip.NoCompressList().Add("*.ZIP");
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 5);
  for (int32_t i = 0; i < zip.Count(); ++i) {
    const auto& e = zip.Entry(i);
    if (e.FileName() == "c.zip") {
      EXPECT_EQ(e.method, 0);
      EXPECT_EQ(e.compressedSize, 5000u);
      EXPECT_EQ(e.internalAttributes, 0);
    }
  }
  writer::TLynZip stored;
  PrepareRelative(stored, D("stored.zip"), D("data"), 0);
  stored.FilesList().Add("*.*");
  ASSERT_EQ(stored.RunZip(), 5);
  for (int32_t i = 0; i < stored.Count(); ++i) {
    EXPECT_EQ(stored.Entry(i).method, 0);
    EXPECT_EQ(stored.Entry(i).compressedSize, stored.Entry(i).uncompressedSize);
    EXPECT_EQ(stored.Entry(i).flags, 0);
  }
  ExpectPeersAccept("stored.zip");
}

TEST_F(LynZipGatherTest, DirectoryEntriesAndTheSameFileTwice) {
  writer::TLynZip zip;
  Prepare(zip);
  std::vector<std::string> skipped;
  zip.OnSkippingFile = [&](archive::Object*, archive::TSkipReason reason, const std::string& name,
                           int32_t, bool&) {
    EXPECT_EQ(reason, archive::srNoOverwrite);
    skipped.push_back(name);
  };
  zip.FilesList().Add(D("data/sub") + "\\");
  zip.FilesList().Add("a.txt");
  zip.FilesList().Add(D("data/a.txt"));
  EXPECT_EQ(zip.RunZip(), 2);
  EXPECT_EQ(skipped, std::vector<std::string>{D("data/a.txt")});
  EXPECT_EQ(PeerList("out.zip"), "sub/ 0\na.txt 2\n");
  const auto& dir = zip.Entry(0);
  EXPECT_EQ(dir.method, 0);
  EXPECT_EQ(dir.crc32, 0u);
  EXPECT_EQ(dir.externalAttributes & 0x10, 0x10u);
  ExpectPeersAccept("out.zip");
}

TEST_F(LynZipGatherTest, AddDirEntriesOnRecurse) {
  writer::TLynZip zip;
  Prepare(zip);
  zip.SetAddDirEntriesOnRecurse(true);
  EXPECT_EQ(Names(zip, {"*.txt"}), "a.txt sub/ sub/b.txt ");
}

TEST_F(LynZipGatherTest, StoredPathsFollowTheOptions) {
  writer::TLynZip flat;
  PrepareRelative(flat, D("out.zip"), D("data"), 6);
  flat.SetStorePaths(false);
  EXPECT_FALSE(flat.RelativePaths());
  EXPECT_EQ(Names(flat, {"*.txt"}), "a.txt b.txt ");
  // Full directories without the drive: the scratch path itself, then the names.
  writer::TLynZip full;
  full.SetZipName(D("out.zip"));
  full.SetStorePaths(true);
  full.SetRecurse(true);
  full.SetRootDir(D("data"));
  std::string prefix = D("data").substr(3);
  for (char& c : prefix)
    if (c == '\\') c = '/';
  EXPECT_EQ(Names(full, {"*.txt"}), prefix + "/a.txt " + prefix + "/sub/b.txt ");
}

TEST_F(LynZipGatherTest, TheArchiveIsNotTakenIntoItselfAndEmptyRunsWriteAnEndRecord) {
  writer::TLynZip zip;
  PrepareRelative(zip, D("data/self.zip"), D("data"), 6);
  zip.FilesList().Add("*.*");
  ASSERT_EQ(zip.RunZip(), 5);
  writer::TLynZip again;
  PrepareRelative(again, D("data/self.zip"), D("data"), 6);
  again.SetZipAction(writer::zaReplace);
  again.FilesList().Add("*.*");
  EXPECT_EQ(again.RunZip(), 5);
  EXPECT_EQ(Lines(PeerList("data/self.zip")).size(), 5u);

  fs::create_directories(H("empty"));
  writer::TLynZip none;
  PrepareRelative(none, D("empty.zip"), D("empty"), 6);
  none.FilesList().Add("*.*");
  int32_t reported = -1;
  none.OnZipComplete = [&](archive::Object*, int32_t count) { reported = count; };
  EXPECT_EQ(none.RunZip(), 0);
  EXPECT_EQ(reported, 0);
  EXPECT_EQ(fs::file_size(H("empty.zip")), 22u);
  EXPECT_EQ(Shell("python3 -m zipfile -t empty.zip"), 0);

  writer::TLynZip blank;
  blank.SetZipName("  ");
  blank.FilesList().Add("*.*");
  EXPECT_EQ(blank.RunZip(), 0);
  EXPECT_EQ(blank.FilesList().Count(), 1);
}

TEST_F(LynZipGatherTest, DisposeDeletesWhatIsNowInTheArchive) {
  writer::TLynZip zip;
  Prepare(zip);
  zip.SetDispose(true);
  zip.OnDisposeFile = [](archive::Object*, const std::string& name, bool& skip) {
    skip = name.find("b.txt") != std::string::npos;
  };
  zip.FilesList().Add("*.txt");
  ASSERT_EQ(zip.RunZip(), 2);
  EXPECT_FALSE(fs::exists(H("data/a.txt")));
  EXPECT_TRUE(fs::exists(H("data/sub/b.txt")));
  EXPECT_TRUE(fs::exists(H("data/noext")));
}

TEST_F(LynZipGatherTest, AHandlerFailingAfterTheArchiveIsCompleteKeepsTheArchive) {
  writer::TLynZip zip;
  Prepare(zip);
  zip.SetDispose(true);
  zip.OnDisposeFile = [](archive::Object*, const std::string&, bool&) {
    throw classlib::Exception("host refuses");
  };
  zip.FilesList().Add("a.txt");
  EXPECT_THROW(zip.RunZip(), classlib::Exception);
  EXPECT_EQ(PeerList("out.zip"), "a.txt 2\n");
  EXPECT_TRUE(fs::exists(H("data/a.txt")));
}

TEST_F(LynZipGatherTest, MissingExplicitNamesAreReported) {
  writer::TLynZip zip;
  Prepare(zip);
  std::vector<std::string> missing;
  zip.OnNoSuchFile = [&](archive::Object*, const std::string& name) { missing.push_back(name); };
  zip.FilesList().Add("nothing.txt");
  zip.FilesList().Add(D("nowhere") + "\\*.*");  // a mask under a missing directory: dropped
  zip.FilesList().Add("a.txt");
  EXPECT_EQ(zip.RunZip(), 1);
  EXPECT_EQ(missing, std::vector<std::string>{D("data/nothing.txt")});
}

TEST_F(LynZipGatherTest, ArchiveBitRules) {
  const uint32_t before = os::GetFileAttributes(D("data/a.txt"));
  ASSERT_NE(before, os::kInvalidAttributes);
  os::SetFileAttributes(D("data/a.txt"), before & ~os::kAttrArchive);
  if (os::GetFileAttributes(D("data/a.txt")) & os::kAttrArchive)
    GTEST_SKIP() << "this file system keeps no archive bit";
  writer::TLynZip zip;
  Prepare(zip);
  zip.SetSkipIfArchiveBitNotSet(true);
  zip.SetResetArchiveBitOnZip(true);
  EXPECT_EQ(Names(zip, {"*.txt"}), "sub/b.txt ");
  EXPECT_EQ(os::GetFileAttributes(D("data/sub/b.txt")) & os::kAttrArchive, 0u);
}

TEST_F(LynZipGatherTest, InterlocksDefaultsAndAssign) {
  writer::TLynZip zip;
  EXPECT_EQ(zip.PackLevel(), 6);
  EXPECT_EQ(zip.ZipAction(), writer::zaUpdate);
  EXPECT_EQ(zip.MultiZipInfo().BlockSize, 1457600);
  EXPECT_TRUE(zip.MultiZipInfo().CheckDiskLabels);
  zip.SetRelativePaths(true);
  EXPECT_TRUE(zip.StorePaths());
  EXPECT_TRUE(zip.Recurse());
  zip.SetStoreVolumes(true);
  zip.SetStorePaths(false);
  EXPECT_FALSE(zip.StoreVolumes());
  EXPECT_FALSE(zip.RelativePaths());
  EXPECT_TRUE(zip.Recurse());

  writer::TLynZip source;
  source.SetPackLevel(2);
  source.SetRelativePaths(true);
  source.SetStorePaths(false);
  source.ExcludeList().Add("*.bak");
  source.MultiZipInfo().BlockSize = 1000;
  source.OnZipComplete = [](archive::Object*, int32_t) {};
  source.OnEncrypt = [](archive::Object*, uint8_t*, int32_t, const std::string&) {};
  writer::TLynZip copy;
  copy.Assign(source);
  EXPECT_EQ(copy.PackLevel(), 2);
  EXPECT_FALSE(copy.StorePaths());
  EXPECT_TRUE(copy.Recurse());  // raw copy: StorePaths off did not touch it
  EXPECT_EQ(copy.ExcludeList().Count(), 1);
  EXPECT_EQ(copy.MultiZipInfo().BlockSize, 1000);
  EXPECT_TRUE(static_cast<bool>(copy.OnZipComplete));
  EXPECT_FALSE(static_cast<bool>(copy.OnEncrypt));
}

TEST_F(LynZipGatherTest, EventsComeInTheirOrder) {
  writer::TLynZip zip;
  Prepare(zip);
  std::vector<std::string> log;
  auto add = [&log](const std::string& s) {
    if (log.empty() || log.back() != s) log.push_back(s);
  };
  zip.OnRecursingFile = [&](archive::Object*, const std::string&) { add("recursing"); };
  zip.OnStartZipInfo = [&](archive::Object*, int32_t n, int64_t bytes, archive::TEndCentral&, bool&) {
    add("info " + std::to_string(n) + " " + std::to_string(bytes));
  };
  zip.OnStartZip = [&](archive::Object*, const std::string& name, archive::TZipHeaderInfo&, bool&) {
    add("start " + name.substr(name.rfind('\\') + 1));
  };
  zip.OnFilePercentDone = [&](archive::Object*, int32_t p) { add("file " + std::to_string(p)); };
  zip.OnTotalPercentDone = [&](archive::Object*, int32_t p) { add("total " + std::to_string(p)); };
  zip.OnEndZip = [&](archive::Object*, const std::string&, int64_t u, int64_t, int64_t) {
    add("end " + std::to_string(u));
  };
  zip.OnZipComplete = [&](archive::Object*, int32_t n) { add("complete " + std::to_string(n)); };
  zip.FilesList().Add("|*.txt");
  zip.FilesList().Add("noext");
  ASSERT_EQ(zip.RunZip(), 2);
  EXPECT_EQ(log, (std::vector<std::string>{"recursing", "info 2 4", "start noext", "file 100",
                                           "total 50", "end 2", "start a.txt", "file 100",
                                           "total 100", "end 2", "total 100", "complete 2"}));
}

}  // namespace
}  // namespace kestrel::testing
