// list_test.cpp — `kestrel iszip` and `kestrel list` as a user runs them: exit status, and
// listings compared line for line with what `unzip -lv` prints for the same archives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_process.h"

namespace {

namespace fs = std::filesystem;
using kestrel::clitest::Outcome;
using kestrel::clitest::RunKestrel;

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-list-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "src" / "sub");
    std::ofstream(dir_ / "src" / "text.txt") << std::string(3000, 'a') << "tail\n";
    std::ofstream(dir_ / "src" / "sub" / "empty.txt");
    // An even second: unzip -lv shows the exact time of the extended timestamp field that zip
    // adds, the listings the DOS time, which cannot hold odd seconds.
    ASSERT_EQ(Sh("find src -exec touch -d '2021-03-04 05:06:08' {} +"), 0);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  int Sh(const std::string& command) {
    return std::system(("cd '" + dir_.string() + "' && (" + command + ") >/dev/null 2>&1").c_str());
  }
  std::string Quoted(const std::string& name) const { return "'" + (dir_ / name).string() + "'"; }
  // The table of a listing: everything from the column titles on.
  static std::string Table(const std::string& listing) {
    const size_t at = listing.find(" Length ");
    return at == std::string::npos ? "" : listing.substr(at);
  }
  std::string UnzipListing(const std::string& name) {
    Outcome peer;
    const std::string command = "unzip -lv " + Quoted(name) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[512];
    size_t got = 0;
    while (pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      peer.out.append(buffer, got);
    }
    if (pipe != nullptr) pclose(pipe);
    return Table(peer.out);
  }
  // Both engines list the archive exactly as unzip -lv does.
  void ExpectListingLikeUnzip(const std::string& name) {
    const std::string expected = UnzipListing(name);
    ASSERT_FALSE(expected.empty()) << name;
    const Outcome walker = RunKestrel("list " + Quoted(name));
    EXPECT_EQ(walker.status, 0) << name;
    EXPECT_EQ(Table(walker.out), expected) << name;
    EXPECT_EQ(walker.out.rfind("Archive:  " + (dir_ / name).string() + "\n", 0), 0u) << walker.out;
    const Outcome component = RunKestrel("list --component " + Quoted(name));
    EXPECT_EQ(component.status, 0) << name;
    EXPECT_EQ(Table(component.out), expected) << name;
  }

  fs::path dir_;
};

TEST_F(ListTest, IsZipAnswersYesOrNo) {
  ASSERT_EQ(Sh("cd src && zip -qr ../a.zip ."), 0);
  Outcome yes = RunKestrel("iszip " + Quoted("a.zip"));
  EXPECT_EQ(yes.status, 0);
  EXPECT_EQ(yes.out, "yes\n");
  Outcome no = RunKestrel("iszip " + Quoted("src/text.txt"));
  EXPECT_EQ(no.status, 1);
  EXPECT_EQ(no.out, "no\n");
  EXPECT_EQ(RunKestrel("iszip " + Quoted("src")).out, "no\n");
  EXPECT_EQ(RunKestrel("iszip").status, 2);
  EXPECT_EQ(RunKestrel("iszip a.zip b.zip").status, 2);
}

TEST_F(ListTest, ListingsOfPeerArchivesMatchUnzip) {
  ASSERT_EQ(Sh("cd src && zip -qr ../deflated.zip . && zip -qr0 ../stored.zip . && "
               "zip -qr9 ../best.zip . && zip -qr1 ../fast.zip ."), 0);
  ASSERT_EQ(Sh("cd src && 7z a -bd -tzip ../seven.zip . && bsdtar -a -cf ../bsd.zip ."), 0);
  // Random bytes grow when deflated: a negative ratio.
  ASSERT_EQ(Sh("python3 -c \"import zipfile, os\n"
               "z = zipfile.ZipFile('grown.zip', 'w', zipfile.ZIP_DEFLATED)\n"
               "z.writestr('r', os.urandom(100)); z.writestr('\xe4\xb8\xad\xe6\x96\x87.txt', b'x' * 999)\n"
               "z.close()\""), 0);
  for (const char* name : {"deflated.zip", "stored.zip", "best.zip", "fast.zip", "seven.zip",
                           "bsd.zip", "grown.zip"}) {
    ExpectListingLikeUnzip(name);
  }
}

// Streaming writers leave the sizes out of the local headers (zeros, or the zip64 marker);
// the listings show the central directory's real ones.
TEST_F(ListTest, StreamedArchivesListTheirRealSizes) {
  ASSERT_EQ(Sh("cd src && zip -qr - . | cat > ../piped.zip && zip -qr -fd -0 ../descriptors.zip . && "
               "cat text.txt | zip -q - - | cat > ../stdin.zip"), 0);
  ASSERT_EQ(Sh("python3 -c \"import io, zipfile\n"
               "class U(io.RawIOBase):\n"
               "    def writable(self): return True\n"
               "    def seekable(self): return False\n"
               "    def write(self, b): return out.write(b)\n"
               "out = open('unseekable.zip', 'wb')\n"
               "z = zipfile.ZipFile(U(), 'w')\n"
               "z.write('src/text.txt', 'text.txt'); z.write('src/sub/empty.txt', 'empty.txt')\n"
               "z.close(); out.close()\""), 0);
  for (const char* name : {"piped.zip", "descriptors.zip", "stdin.zip", "unseekable.zip"}) {
    ExpectListingLikeUnzip(name);
  }
}

TEST_F(ListTest, OldMethodsAreNamedLikeUnzip) {
  for (const char* name : {"HWIMPODE.ZIP", "HWREDUCE.ZIP", "HWSHRINK.ZIP", "ex_implode.zip",
                           "ex_reduce.zip", "ex_shrink.zip"}) {
    fs::copy_file(fs::path(KESTREL_TEST_DATA) / "legacy" / name, dir_ / name);
    ExpectListingLikeUnzip(name);
  }
}

TEST_F(ListTest, EmptyArchiveAndFailures) {
  ASSERT_EQ(Sh("python3 -c \"import zipfile; zipfile.ZipFile('empty.zip', 'w').close()\""), 0);
  const Outcome empty = RunKestrel("list " + Quoted("empty.zip"));
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(Table(empty.out),
            " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
            "--------  ------  ------- ---- ---------- ----- --------  ----\n"
            "--------          -------  ---                            -------\n"
            "       0                0   0%                            0 files\n");

  const Outcome text = RunKestrel("list " + Quoted("src/text.txt"));
  EXPECT_EQ(text.status, 3);  // as test says it
  EXPECT_EQ(text.out, "");
  EXPECT_EQ(RunKestrel("list --component " + Quoted("src/text.txt")).status, 3);
  EXPECT_EQ(RunKestrel("list").status, 2);
  EXPECT_EQ(RunKestrel("list --repair " + Quoted("empty.zip")).status, 0);  // nothing to repair
  EXPECT_EQ(RunKestrel("list --bogus " + Quoted("empty.zip")).status, 2);
  EXPECT_EQ(RunKestrel("list " + Quoted("empty.zip") + " '*.txt'").status, 11);
}

TEST_F(ListTest, CommentsAreShown) {
  ASSERT_EQ(Sh("python3 -c \"import zipfile\n"
               "z = zipfile.ZipFile('c.zip', 'w')\n"
               "i = zipfile.ZipInfo('a.txt', (2021, 3, 4, 5, 6, 8)); i.comment = b'about a'\n"
               "z.writestr(i, b'aaa'); z.comment = b'line one\\nline two'\n"
               "z.close()\""), 0);
  const std::string table =
      " Length   Method    Size  Cmpr    Date    Time   CRC-32   Name\n"
      "--------  ------  ------- ---- ---------- ----- --------  ----\n"
      "       3  Stored        3   0% 2021-03-04 05:06 f007732d  a.txt\n";
  const std::string totals =
      "--------          -------  ---                            -------\n"
      "       3                3   0%                            1 file\n";
  const std::string head = "Archive:  " + (dir_ / "c.zip").string() + "\nline one\nline two\n";
  const Outcome plain = RunKestrel("list " + Quoted("c.zip"));
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, head + table + totals);
  // The component's reading shows each entry's comment under it.
  const Outcome component = RunKestrel("list --component " + Quoted("c.zip"));
  EXPECT_EQ(component.status, 0);
  EXPECT_EQ(component.out, head + table + "          about a\n" + totals);
}

}  // namespace
