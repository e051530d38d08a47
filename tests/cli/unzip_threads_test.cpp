// `kestrel unzip -T 8` and `kestrel test -T 8` against -T 1 on the same archives: peers',
// the legacy ones, failing, encrypted and hostile ones, and over existing files. Output,
// messages, exit status and the tree left behind must be the same.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/command_run.h"

namespace kestrel::testing {
namespace {

// The tree under root: files with mode, size, time and CRC; directories by name only (their
// times change with every file put in them); links with their target.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    std::string state = "dir";
    if (S_ISLNK(st.st_mode)) state = "link " + fs::read_symlink(it->path()).string();
    if (S_ISREG(st.st_mode)) {
      state = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
              std::to_string(st.st_mtime) + " " + std::to_string(BitwiseCrc32(ReadBytes(it->path())));
    }
    tree[fs::relative(it->path(), root).string()] = state;
  }
  return tree;
}

class UnzipThreads : public ::testing::Test {
 protected:
  // Runs `command` (everything but -T) with -T 1 and with -T 8, each time on a fresh copy of
  // what prepare() leaves in out, and expects the same outcome. Returns the one-thread run.
  CommandRun ExpectSameOutcome(const std::string& command,
                               const std::function<void(const fs::path&)>& prepare = {}) {
    CommandRun runs[2];
    std::map<std::string, std::string> trees[2];
    const char* threads[2] = {" -T 1", " -T 8"};
    for (int i = 0; i < 2; ++i) {
      fs::remove_all(out);
      fs::create_directories(out);
      if (prepare) prepare(out);
      runs[i] = Kestrel(command + threads[i], scratch.root());
      trees[i] = Tree(out);
    }
    EXPECT_EQ(runs[1].status, runs[0].status) << command;
    EXPECT_EQ(runs[1].out, runs[0].out) << command;
    EXPECT_EQ(runs[1].err, runs[0].err) << command;
    EXPECT_EQ(trees[1], trees[0]) << command;
    return runs[0];
  }

  std::string Unzip(const fs::path& archive, const std::string& more = "") {
    return "unzip " + Quoted(archive) + " -d " + Quoted(out) + " -v " + more;
  }

  // A tree of 12 folders with 25 files each (a few hundred bytes to 20 KB), a 1 MB file, an
  // empty file, a read-only file, a link to a folder and names differing only in case.
  void MakeTree(const fs::path& root) {
    for (int d = 0; d < 12; ++d) {
      for (int f = 0; f < 25; ++f) {
        WriteBytes(root / ("d" + std::to_string(d)) / ("s" + std::to_string(f % 3)) /
                       ("f" + std::to_string(f) + ".txt"),
                   std::string(size_t(200 + (d * 25 + f) * 61 % 20000), char('a' + f % 26)));
      }
    }
    std::string large;
    for (int i = 0; i < 100000; ++i) large += std::to_string(i * 7919 % 100003) + ",";
    WriteBytes(root / "large.bin", large);
    WriteBytes(root / "empty", "");
    WriteBytes(root / "d1" / "Case.txt", "upper");
    WriteBytes(root / "d1" / "case.txt", "lower");
    fs::create_symlink("d0", root / "link");
    WriteBytes(root / "ro.txt", "read only");
    fs::permissions(root / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
  }

  // A Python-written archive of 300 deflated entries in 12 folders, and at index 52 a stored
  // 3 MB entry (slow to copy beside the small ones).
  fs::path PlainArchive() {
    std::vector<PyEntry> entries;
    for (int d = 0; d < 12; ++d) {
      if (d == 2) {
        std::string big(3 << 20, '\0');
        for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 2654435761u >> 13);
        entries.push_back({"big/stored.bin", big, false});
      }
      entries.push_back({"g" + std::to_string(d) + "/", ""});
      for (int i = 0; i < 25; ++i) {
        entries.push_back({"g" + std::to_string(d) + "/s" + std::to_string(i % 3) + "/f" +
                               std::to_string(i) + ".txt",
                           std::string(size_t(50 + i * 97), char('a' + d))});
      }
    }
    const fs::path archive = scratch / "plain.zip";
    WritePyZip(archive, entries);
    return archive;
  }

  // A copy of archive with the byte at the given offset of entry index's data XORed, or (at -1)
  // its local header signature broken, or (at -2) a megabyte more in its local header's
  // compressed size than there is.
  fs::path Damaged(const fs::path& archive, int index, long offset, const std::string& name) {
    const fs::path damaged = scratch / name;
    const fs::path script = scratch / "damage.py";
    WriteBytes(script,
               "import sys, zipfile\n"
               "src, index, offset, dst = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]\n"
               "i = zipfile.ZipFile(src).infolist()[index]\n"
               "b = bytearray(open(src, 'rb').read())\n"
               "o = i.header_offset\n"
               "if offset == -1: b[o] ^= 0x10\n"
               "elif offset == -2: b[o + 20] += 16\n"
               "else: b[o + 30 + len(i.filename) + len(i.extra) + offset] ^= 0x55\n"
               "open(dst, 'wb').write(b)\n");
    EXPECT_EQ(Shell("python3 " + Quoted(script) + " " + Quoted(archive) + " " +
                    std::to_string(index) + " " + std::to_string(offset) + " " + Quoted(damaged)),
              0);
    return damaged;
  }

  ScratchFolder scratch{"unzip_threads"};
  fs::path out = scratch / "out";
};

TEST_F(UnzipThreads, PeersArchivesUnpackAlike) {
  const fs::path tree = scratch / "tree";
  MakeTree(tree);
  std::vector<std::pair<const char*, std::string>> peers = {
      {"zip", "zip -qry ../zip.zip ."},
      {"7z", "7z a -tzip -bd -bso0 ../7z.zip ."},
      {"bsdtar", "bsdtar -a -cf ../bsdtar.zip ."},
      {"python3", "python3 -m zipfile -c ../python3.zip ."},
  };
  for (const auto& [peer, command] : peers) {
    if (!HavePeer(peer)) continue;
    ASSERT_EQ(Shell("cd " + Quoted(tree) + " && " + command + " >/dev/null"), 0) << command;
    const CommandRun run = ExpectSameOutcome(Unzip(scratch / (std::string(peer) + ".zip")));
    EXPECT_EQ(run.status, 0) << peer << run.err;
    EXPECT_NE(run.err.find("extracted: "), std::string::npos) << peer;  // -v names every entry
    // Names differing only in case are two files here, whichever comes first.
    EXPECT_EQ(ReadBytes(out / "d1" / "Case.txt"), "upper") << peer;
    EXPECT_EQ(ReadBytes(out / "d1" / "case.txt"), "lower") << peer;
  }
}

TEST_F(UnzipThreads, LegacyArchivesUnpackAndTestAlike) {
  for (const auto& file : fs::directory_iterator(fs::path(KESTREL_TEST_DATA) / "legacy")) {
    if (file.path().extension() == ".md") continue;
    const CommandRun run = ExpectSameOutcome(Unzip(file.path()));
    EXPECT_EQ(run.status, 0) << file.path();
    ExpectSameOutcome("test " + Quoted(file.path()) + " -v");
  }
}

TEST_F(UnzipThreads, FailingEntriesEndTheWalkAtTheSamePlace) {
  const fs::path plain = PlainArchive();
  // A broken local header far from the end: the walk stops there.
  CommandRun run = ExpectSameOutcome(Unzip(Damaged(plain, 70, -1, "bad_header.zip")));
  EXPECT_NE(run.err.find("more entries were not processed"), std::string::npos) << run.err;
  // The large entry claims more data than the file holds and ends the walk once it is copied:
  // what workers unpacked beyond it meanwhile (files and the folders made for them) is taken
  // back.
  run = ExpectSameOutcome(Unzip(Damaged(plain, 52, -2, "long_stored.zip")));
  EXPECT_NE(run.err.find("big/stored.bin: cannot read the archive"), std::string::npos) << run.err;
  // Damaged data: a CRC error or invalid deflate data, early and in the middle.
  ExpectSameOutcome(Unzip(Damaged(plain, 5, 20, "crc_early.zip")));
  ExpectSameOutcome(Unzip(Damaged(plain, 150, 3, "crc_middle.zip")));
  // Cut off: the directory is gone.
  WriteBytes(scratch / "cut.zip", ReadBytes(plain).substr(0, 9000));
  ExpectSameOutcome(Unzip(scratch / "cut.zip"));
  for (const char* name : {"bad_header.zip", "long_stored.zip", "crc_early.zip", "crc_middle.zip"}) {
    ExpectSameOutcome("test " + Quoted(scratch / name) + " -v");
  }
}

TEST_F(UnzipThreads, EncryptedEntriesAlikeWithRightWrongAndNoPassword) {
  if (!HavePeer("zip")) GTEST_SKIP() << "zip is not installed";
  const fs::path tree = scratch / "tree";
  MakeTree(tree);
  ASSERT_EQ(Shell("cd " + Quoted(tree) + " && zip -qr -P secret ../enc.zip ."), 0);
  EXPECT_EQ(ExpectSameOutcome(Unzip(scratch / "enc.zip", "-P secret")).err.find("password"),
            std::string::npos);
  EXPECT_NE(ExpectSameOutcome(Unzip(scratch / "enc.zip", "-P wrong")).err.find("incorrect password"),
            std::string::npos);
  EXPECT_NE(ExpectSameOutcome(Unzip(scratch / "enc.zip")).err.find("a password is needed"),
            std::string::npos);
}

TEST_F(UnzipThreads, HostileAndCollidingNamesAlike) {
  std::vector<PyEntry> entries = {
      {"../evil.txt", "e"},       {"/abs.txt", "a"},        {"ok/../../up.txt", "u"},
      {"dup.txt", "first"},       {"a", "a file"},          {"a/b", "under a file"},
      {"Dir/x", "x"},             {"dir/y", "y in Dir"},    {"DIR", "a file named as Dir"},
      {"dup.txt", "second"},      {"c/", ""},               {"C/z", "z"},
  };
  for (int i = 0; i < 200; ++i) entries.push_back({"many/f" + std::to_string(i), "m"});
  entries.push_back({"many/F7", "case twin of f7"});
  entries.push_back({"many", "a file over a folder"});
  // Links: one inside (then written through: refused), one pointing out, then more files.
  constexpr uint32_t kLink = 0120777u << 16;
  entries.push_back({"inside", "many", false, kLink, 3});
  entries.push_back({"inside/f1", "through the link"});
  entries.push_back({"out", "/etc", false, kLink, 3});
  for (int i = 0; i < 100; ++i) entries.push_back({"later/f" + std::to_string(i), "l"});
  const fs::path archive = scratch / "hostile.zip";
  WritePyZip(archive, entries);
  const CommandRun run = ExpectSameOutcome(Unzip(archive));
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(fs::exists(scratch / "evil.txt"));
  EXPECT_FALSE(fs::exists(scratch / "up.txt"));
}

TEST_F(UnzipThreads, ExistingFilesReplacedOrKeptAlike) {
  const fs::path plain = PlainArchive();
  // Half of the files are there already, some of them read-only.
  const auto halfThere = [&plain](const fs::path& dest) {
    ASSERT_EQ(Shell("unzip -qo " + Quoted(plain) + " 'g[0-5]/*' -d " + Quoted(dest)), 0);
    for (const auto& file : fs::recursive_directory_iterator(dest)) {
      if (file.is_regular_file() && file.path().filename() == "f3.txt") {
        fs::permissions(file.path(), fs::perms::owner_read);
      }
    }
  };
  for (const char* policy : {"-o", "-n", ""}) {
    ExpectSameOutcome(Unzip(plain, policy), halfThere);
  }
  // Files of other content to replace, around a damaged entry (index 100) and a broken
  // header that ends the walk (index 120): a replacement takes the old file's place only when
  // its turn comes, so the old files past the end and the damaged entry's stay.
  const auto fixed = fs::file_time_type::clock::now() - std::chrono::hours(24);
  const auto oldThere = [fixed](const fs::path& dest) {
    for (int d = 0; d < 6; ++d) {
      for (int i = 0; i < 25; ++i) {
        const fs::path file = dest / ("g" + std::to_string(d)) / ("s" + std::to_string(i % 3)) /
                              ("f" + std::to_string(i) + ".txt");
        WriteBytes(file, "old " + std::to_string(d * 25 + i));
        fs::last_write_time(file, fixed);  // the same in both runs
      }
    }
  };
  const fs::path crc = Damaged(plain, 100, 3, "crc_replaced.zip");
  const CommandRun run = ExpectSameOutcome(Unzip(Damaged(crc, 120, -1, "end_replaced.zip"), "-o"),
                                           oldThere);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadBytes(out / "g3" / "s2" / "f20.txt"), "old 95");
  EXPECT_EQ(ReadBytes(out / "g4" / "s1" / "f19.txt"), "old 119");
  EXPECT_EQ(ReadBytes(out / "g4" / "s1" / "f13.txt"), std::string(50 + 13 * 97, 'e'));
}

TEST_F(UnzipThreads, ThreadCountIsChecked) {
  const CommandRun run = Kestrel("unzip x.zip -T 300", scratch.root());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "kestrel unzip: -T needs a number of threads from 0 to 256, not '300' "
            "(see kestrel unzip --help)\n");
  EXPECT_EQ(Kestrel("test x.zip --threads", scratch.root()).err,
            "kestrel test: --threads needs a value (see kestrel test --help)\n");
}

}  // namespace
}  // namespace kestrel::testing
