// Names as Linux allows them: a file 40 directories deep (a stored name of 373 bytes) and names
// holding ": * ? < > |" go through kestrel zip, list, test and unzip whole and unchanged, both
// ways with the peers; a name the file system cannot hold fails alone, named with its reason;
// a wildcard on the command line stays a pattern unless escaped.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "cli/cli_process.h"

namespace kestrel::clitest {
namespace {

namespace fs = std::filesystem;

// The files of the tree, by their name relative to its root, with their contents.
using Tree = std::map<std::string, std::string>;

Tree DeepAndOddNames() {
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "level-" + std::to_string(10 + i) + "/";
  return {{deep + "deep.txt", "forty levels down\n"},
          {"a:b", "colon\n"},
          {"what?", "question\n"},
          {"star*/in.txt", "in a starred folder\n"},
          {"x|y", "bar\n"},
          {"<angle>", "angles\n"}};
}

class LongNamesCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-names-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }
  void Make(const fs::path& dir, const Tree& tree) {
    for (const auto& [name, bytes] : tree) {
      fs::create_directories((dir / name).parent_path());
      std::ofstream(dir / name, std::ios::binary) << bytes;
    }
  }
  // Every file under dir with its contents.
  static Tree Read(const fs::path& dir) {
    Tree tree;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path(), std::ios::binary);
      tree[fs::relative(e.path(), dir).string()] =
          std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return tree;
  }
  Ran Shell(const std::string& line) { return RunIn(root_, line); }
  Ran Kestrel(const std::string& args) { return Shell(std::string(KESTREL_CLI_PATH) + " " + args); }
  // The names Python's zipfile reads, sorted, one per line.
  std::string PythonNames(const std::string& archive) {
    return Shell("python3 -c \"import zipfile,sys\nfor n in sorted(zipfile.ZipFile(sys.argv[1])"
                 ".namelist()): print(n)\" " + archive).out;
  }
  // An archive written by Python's zipfile, the files of tree under prefix.
  void PythonArchive(const std::string& archive, const Tree& tree) {
    std::string script = "import zipfile\nz=zipfile.ZipFile('" + archive + "','w')\n";
    for (const auto& [name, bytes] : tree)
      script += "z.writestr('" + name + "', '''" + bytes + "''')\n";
    std::ofstream(root_ / "make.py") << script << "z.close()\n";
    ASSERT_EQ(Shell("python3 make.py").status, 0);
  }
  fs::path root_;
};

std::string Lines(const Tree& tree, const std::string& prefix) {
  std::string out;
  for (const auto& [name, bytes] : tree) out += prefix + name + "\n";
  return out;
}

TEST_F(LongNamesCommandTest, DeepAndOddNamesArePackedListedAndUnpackedWhole) {
  const Tree tree = DeepAndOddNames();
  Make(root_ / "tree", tree);
  Ran run = Kestrel("zip -r -D out.zip tree");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  // std::map orders as Python's sorted() does: by bytes.
  EXPECT_EQ(PythonNames("out.zip"), Lines(tree, "tree/"));
  EXPECT_EQ(Shell("unzip -tq out.zip").status, 0);
  EXPECT_EQ(Shell("unzip -Z1 out.zip | LC_ALL=C sort").out, Lines(tree, "tree/"));

  run = Kestrel("list -1 out.zip | LC_ALL=C sort");
  EXPECT_EQ(run.out, Lines(tree, "tree/"));
  run = Kestrel("test out.zip");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  run = Kestrel("unzip -q out.zip -d back");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Read(root_ / "back" / "tree"), tree);
}

TEST_F(LongNamesCommandTest, PeersArchivesOfSuchNamesUnpackToTheSameTree) {
  const Tree tree = DeepAndOddNames();
  PythonArchive("peer.zip", tree);
  const Ran run = Kestrel("unzip -q peer.zip -d out");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Read(root_ / "out"), tree);
}

// A name over the 255 bytes a Linux name may have cannot be created: that entry fails with its
// name and the reason, the others are unpacked.
TEST_F(LongNamesCommandTest, ANameTheFileSystemCannotHoldFailsAloneWithItsReason) {
  const std::string longName = "d/" + std::string(256, 'n');
  PythonArchive("peer.zip", {{"ok.txt", "fine\n"}, {longName, "lost\n"}});
  const Ran run = Kestrel("unzip -q peer.zip -d out");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel unzip: " + longName + ": cannot create or write the file: out/" +
                         longName + " (path too long)\nkestrel unzip: 1 of 2 entries failed\n");
  EXPECT_EQ(Read(root_ / "out"), (Tree{{"ok.txt", "fine\n"}}));
}

// A folder whose path is longer than Linux takes (4096 bytes) cannot be listed: it is named with
// the reason, everything above it is packed, and the status says that something was left out.
TEST_F(LongNamesCommandTest, AFolderPastTheHostsPathLimitIsNamedNotLostInSilence) {
  // Made one level at a time, relative to the last: no path given to the system is too long.
  std::string levels;
  for (int i = 1; i <= 21; ++i) levels += "/d" + std::to_string(10 + i) + std::string(197, '0');
  ASSERT_EQ(Shell("mkdir tree && cd tree && echo top > top.txt && for d in $(echo '" + levels +
                  "' | tr / ' '); do mkdir $d && cd -P $d; done && echo bottom > f.txt")
                .status,
            0);
  // The first folder whose path reaches 4096 bytes.
  std::string tooDeep = root_.string() + "/tree";
  for (size_t at = 1; tooDeep.size() < 4096; at = levels.find('/', at) + 1)
    tooDeep += levels.substr(at - 1, levels.find('/', at) - at + 1);
  const Ran run = Kestrel("zip -r -D out.zip tree");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel zip: warning: skipped " + tooDeep + "/: path too long\n");
  EXPECT_EQ(Shell("unzip -tq out.zip").status, 0);
  EXPECT_EQ(PythonNames("out.zip"), "tree/top.txt\n");
  Shell("rm -rf tree");  // deeper than std::filesystem can remove
}

// The command expands a wildcard as the shell would; an escaped one names the file itself.
TEST_F(LongNamesCommandTest, AWildcardStaysAPatternUnlessEscaped) {
  Make(root_, {{"*.txt", "star\n"}, {"b.txt", "bee\n"}});
  EXPECT_EQ(Kestrel("zip all.zip '*.txt'").status, 0);
  EXPECT_EQ(PythonNames("all.zip"), "*.txt\nb.txt\n");
  EXPECT_EQ(Kestrel("zip one.zip '\\*.txt'").status, 0);
  EXPECT_EQ(PythonNames("one.zip"), "*.txt\n");
}

}  // namespace
}  // namespace kestrel::clitest
