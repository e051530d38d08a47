// unix_tree_test.cpp — a Unix tree (executables, read-only files, empty and nested empty
// directories, links inside and outside it, a loop) packed by Kestrel and by zip -r -y,
// unpacked by Kestrel and by unzip, through the library and through the command: all four
// give back the same modes, links, directories and modification times; and packing that
// follows links stores a looped directory once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>

#include <functional>
#include <memory>

#include "exports/unpack_fixture.h"
#include "exports/unpack_walk.h"
#include "kestrel.h"
#include "writer/lyn_zip.h"

namespace kestrel::testing {
namespace {

constexpr time_t kOddSecond = 1589710831;  // 2020-05-17, an odd second: no DOS time holds it

void Stamp(const fs::path& path, time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// The tree, with the link that leads out of it returned in outsideLink.
void BuildTree(const fs::path& src, const fs::path& outsideFile) {
  WriteBytes(src / "a.txt", "plain text\n");
  WriteBytes(src / "bin" / "run.sh", "#!/bin/sh\necho run\n");
  fs::permissions(src / "bin" / "run.sh", fs::perms(0755));
  WriteBytes(src / "data" / "ro.txt", "read only\n");
  fs::permissions(src / "data" / "ro.txt", fs::perms(0444));
  fs::create_directories(src / "empty");
  fs::create_directories(src / "deep" / "nested" / "empty");
  fs::create_symlink("a.txt", src / "link_a");
  fs::create_directory_symlink("../data", src / "bin" / "data_link");
  fs::create_directory_symlink(".", src / "loop");
  fs::create_symlink(outsideFile, src / "outside");
  for (const char* file : {"a.txt", "bin/run.sh", "data/ro.txt"}) Stamp(src / file, kOddSecond);
  Stamp(src / "empty", kOddSecond - 100);
  Stamp(src / "deep" / "nested" / "empty", kOddSecond - 200);
}

// Type, permissions and link target of everything; the time of files and empty directories
// (the others are touched by unpacking what they hold).
std::map<std::string, std::string> Describe(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    struct stat st {};
    EXPECT_EQ(::lstat(it->path().c_str(), &st), 0);
    std::string state = std::to_string(st.st_mode);
    if (S_ISLNK(st.st_mode)) state += " -> " + fs::read_symlink(it->path()).string();
    if (S_ISREG(st.st_mode)) state += " " + ReadBytes(it->path()) + std::to_string(st.st_mtime);
    if (S_ISDIR(st.st_mode) && fs::is_empty(it->path())) state += " " + std::to_string(st.st_mtime);
    tree[it->path().lexically_relative(root).string()] = state;
  }
  return tree;
}

class UnixTree : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HavePeer("zip") || !HavePeer("unzip")) GTEST_SKIP() << "zip and unzip are needed";
    oldMask_ = ::umask(022);
    WriteBytes(scratch_ / "elsewhere.txt", "outside the tree\n");
    BuildTree(src_, scratch_ / "elsewhere.txt");
  }
  void TearDown() override { ::umask(oldMask_); }

  fs::path PackWithKestrel(bool storeLinks, std::vector<std::string>* loops = nullptr) {
    const fs::path archive = scratch_ / (storeLinks ? "kestrel-y.zip" : "kestrel.zip");
    writer::TLynZip zip;  // set up as ZipFile sets it up for a directory
    zip.SetZipName(DriveOf(archive));
    zip.SetRelativePaths(true);
    zip.SetRecurse(true);
    zip.SetRootDir(DriveOf(src_) + "\\");
    zip.FilesList().Add("*.*");
    zip.SetStoreSymbolicLinks(storeLinks);
    zip.OnLinkLoop = [loops](classlib::Object*, const std::string& dir) {
      if (loops != nullptr) loops->push_back(dir);
    };
    EXPECT_GT(zip.RunZip(), 0);
    return archive;
  }

  // The tree as zip -r -y packs it.
  fs::path PackWithZip() {
    const fs::path archive = scratch_ / "zip-y.zip";
    EXPECT_EQ(Shell("cd " + Quoted(src_) + " && zip -q -r -y " + Quoted(archive) + " ."), 0);
    return archive;
  }

  // From each archive unzip gives back the whole tree, and Kestrel (unpack, into a new
  // folder) all of it but the one link that leads out of it.
  void ExpectEachGivesBackTheTree(
      std::initializer_list<fs::path> archives,
      const std::function<void(const fs::path& archive, const fs::path& into)>& unpack) {
    auto inside = Describe(src_);
    inside.erase("outside");
    for (const fs::path& archive : archives) {
      SCOPED_TRACE(archive.filename().string());
      const fs::path byUnzip = scratch_ / ("unzip-" + archive.stem().string());
      ASSERT_EQ(Shell("unzip -q " + Quoted(archive) + " -d " + Quoted(byUnzip)), 0);
      EXPECT_EQ(Describe(byUnzip), Describe(src_));
      const fs::path byKestrel = scratch_ / ("kestrel-" + archive.stem().string());
      unpack(archive, byKestrel);
      EXPECT_EQ(Describe(byKestrel), inside);
    }
  }

  ScratchFolder scratch_{"unixtree"};
  fs::path src_ = scratch_ / "src";
  mode_t oldMask_ = 0;
};

TEST_F(UnixTree, FourWaysGiveBackTheSameTree) {
  const fs::path fromZip = PackWithZip();
  const fs::path fromKestrel = PackWithKestrel(true);
  ASSERT_EQ(Shell("unzip -tq " + Quoted(fromKestrel) + " >/dev/null"), 0);

  // Kestrel refuses the one link that leads out of the tree, and only that.
  ExpectEachGivesBackTheTree({fromKestrel, fromZip}, [](const fs::path& archive,
                                                        const fs::path& byKestrel) {
    std::vector<std::pair<std::string, int>> refused;
    struct : exports::WalkObserver {
      std::vector<std::pair<std::string, int>>* refused;
      bool AfterEntry(const reader::ZipDirEntry& entry, int result) override {
        if (result != 0) refused->emplace_back(entry.name, result);
        return true;
      }
    } observer;
    observer.refused = &refused;
    exports::UnpackArchive(DriveOf(archive), DriveOf(byKestrel), exports::WalkMode::Extract,
                           &observer);
    const std::vector<std::pair<std::string, int>> onlyOutside = {
        {"outside", exports::kEntryUnsafeLink}};
    EXPECT_EQ(refused, onlyOutside);
  });
}

TEST_F(UnixTree, FollowingLinksStoresEachDirectoryOnceAndReportsTheRest) {
  std::vector<std::string> loops;
  const fs::path archive = PackWithKestrel(false, &loops);
  std::vector<std::string> names;
  reader::ZipDirEntry entry;
  for (int32_t r = reader::FirstZipEntry(DriveOf(archive), entry); r == 0;
       r = reader::NextZipEntry(entry)) {
    names.push_back(entry.name);
    if (names.back() == "link_a") {
      EXPECT_EQ(entry.UnixMode(), 0100644u);  // the file it leads to
      EXPECT_TRUE(entry.hasUnixTime);
      EXPECT_EQ(entry.unixTime, kOddSecond);
    }
  }
  const std::vector<std::string> expected = {
      "a.txt", "bin\\run.sh", "data\\ro.txt", "deep\\nested\\empty\\", "empty\\", "link_a",
      "outside"};
  EXPECT_EQ(names, expected);
  std::sort(loops.begin(), loops.end());
  ASSERT_EQ(loops.size(), 2u);
  EXPECT_NE(loops[0].find("bin\\data_link\\"), std::string::npos) << loops[0];
  EXPECT_NE(loops[1].find("loop\\"), std::string::npos) << loops[1];

  // ZipFile names them where it names the files it passed over; its result is unchanged.
  const fs::path viaZipFile = scratch_ / "zipfile.zip";
  EXPECT_EQ(ZipFile(DriveOf(src_).c_str(), DriveOf(viaZipFile).c_str(), "", 6, 1), 7);
  const std::string message = kestrel_last_error();
  EXPECT_EQ(message.rfind("2 files were not packed: ", 0), 0u) << message;
  EXPECT_NE(message.find("loop\\ (symbolic link not followed"), std::string::npos) << message;
}

// The command run in dir, with what it says on stderr in errors.
int Kestrel(const std::string& arguments, const fs::path& errors,
            const fs::path& dir = fs::current_path()) {
  return Shell("cd " + Quoted(dir) + " && " + KESTREL_CLI_PATH + " " + arguments + " 2>" +
               Quoted(errors));
}

TEST_F(UnixTree, CommandFourWaysGiveBackTheSameTree) {
  const fs::path fromZip = PackWithZip(), fromKestrel = scratch_ / "kestrel-y.zip";
  const fs::path errors = scratch_ / "errors.txt";
  ASSERT_EQ(Kestrel("zip -q -r -y " + Quoted(fromKestrel) + " .", errors, src_), 0)
      << ReadBytes(errors);
  ASSERT_EQ(Shell("unzip -tq " + Quoted(fromKestrel) + " >/dev/null"), 0);

  // Only the link that leads out of the tree is refused.
  ExpectEachGivesBackTheTree({fromKestrel, fromZip}, [&](const fs::path& archive,
                                                         const fs::path& byKestrel) {
    EXPECT_EQ(Kestrel("unzip -q " + Quoted(archive) + " -d " + Quoted(byKestrel), errors), 1);
    const std::string said = ReadBytes(errors);
    EXPECT_EQ(said.substr(0, said.find('\n') + 1),
              "kestrel unzip: outside: unsafe link (target absolute, outside the destination, "
              "or longer than a path)\n");
  });
}

TEST_F(UnixTree, CommandFollowingLinksNamesTheLinksItDoesNotEnter) {
  const fs::path archive = scratch_ / "followed.zip", errors = scratch_ / "errors.txt";
  EXPECT_EQ(Kestrel("zip -q -r " + Quoted(archive) + " .", errors, src_), 1);
  const std::string reason =
      ": symbolic link not followed: its directory is stored already (a loop, or a second way "
      "to it)\n";
  EXPECT_EQ(ReadBytes(errors),
            "kestrel zip: warning: skipped " + (src_ / "bin/data_link/").string() + reason +
                "kestrel zip: warning: skipped " + (src_ / "loop/").string() + reason);
}

TEST_F(UnixTree, ReaderGivesExactTimesAndModes) {
  const fs::path fromZip = PackWithZip();
  std::unique_ptr<kestrel_reader, decltype(&kestrel_reader_close)> reader(
      kestrel_reader_new(), &kestrel_reader_close);
  ASSERT_EQ(kestrel_reader_open(reader.get(), fromZip.c_str()), KESTREL_OK);
  kestrel_entry entry{};
  ASSERT_EQ(kestrel_reader_find(reader.get(), "bin/run.sh", &entry), KESTREL_OK);
  EXPECT_EQ(entry.mtime, kOddSecond);  // the extended timestamp, not the DOS time
  EXPECT_EQ(entry.unix_mode, 0100755u);
  ASSERT_EQ(kestrel_reader_find(reader.get(), "link_a", &entry), KESTREL_OK);
  EXPECT_TRUE(entry.is_symlink);
  EXPECT_EQ(entry.unix_mode, 0120777u);
  // Through a single-entry call the mode and time come back too.
  const fs::path copy = scratch_ / "run-copy.sh";
  ASSERT_EQ(kestrel_reader_find(reader.get(), "bin/run.sh", &entry), KESTREL_OK);
  ASSERT_EQ(kestrel_reader_extract_to_path(reader.get(), entry.index, copy.c_str()), KESTREL_OK);
  struct stat st {};
  ASSERT_EQ(::stat(copy.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_mtime, kOddSecond);
}

}  // namespace
}  // namespace kestrel::testing
