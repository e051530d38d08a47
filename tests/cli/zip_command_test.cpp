// kestrel zip: trees pass the peers and list the same names as zip with the same options,
// updates replace newer files and keep the rest byte for byte, -d, comments, passwords, block
// files and a three-disk span read back by the peers byte for byte, and every failure with its exact
// message and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/cli_process.h"
#include "cli/prompt.h"

namespace kestrel::clitest {
namespace {

namespace fs = std::filesystem;

class ZipCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-zipcmd-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "src" / "sub");
    Write("src/a.txt", std::string(20000, 'a') + "end\n");
    Write("src/sub/b.bin", std::string("\x01\x02\x03\xFF", 4) + std::string(70000, '\0'));
    Write("src/empty", "");
  }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const std::string& rel, const std::string& bytes) {
    std::ofstream(root_ / rel, std::ios::binary) << bytes;
  }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  Ran Shell(const std::string& line, const std::string& input = "") {
    return RunIn(root_, line, input);
  }
  Ran Kestrel(const std::string& args, const std::string& input = "") {
    return Shell(std::string(KESTREL_CLI_PATH) + " zip " + args, input);
  }
  std::string Names(const std::string& archive) {
    return Shell("unzip -Z1 " + archive + " | LC_ALL=C sort").out;
  }
  fs::path root_;
};

TEST_F(ZipCommandTest, PackedTreesPassThePeersAndUnpackToTheSameBytes) {
  for (const char* level : {"-0", "-1", "-6", "-9"}) {
    SCOPED_TRACE(level);
    fs::remove(root_ / "out.zip");
    fs::remove_all(root_ / "x");
    const Ran run = Kestrel(std::string("out.zip src -r ") + level);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");  // quiet when stderr is no terminal
    EXPECT_EQ(Shell("unzip -tq out.zip").status, 0);
    EXPECT_EQ(Shell("7z t out.zip").status, 0);
    EXPECT_EQ(Shell("python3 -m zipfile -t out.zip").status, 0);
    EXPECT_EQ(Shell("bsdtar -tf out.zip").status, 0);
    ASSERT_EQ(Shell("unzip -q out.zip -d x").status, 0);
    for (const char* f : {"a.txt", "sub/b.bin", "empty"})
      EXPECT_EQ(Read(root_ / "x/src" / f), Read(root_ / "src" / f)) << f;
  }
}

// On a terminal a progress bar counts the entries and MiB; -q leaves the terminal alone.
TEST_F(ZipCommandTest, OnATerminalTheBarShowsUnlessQuiet) {
  const std::string terminal = "script -qec '" KESTREL_CLI_PATH " zip ";
  const Ran bar = Shell(terminal + "bar.zip -r src' /dev/null");
  EXPECT_EQ(bar.status, 0);
  const size_t last = bar.out.rfind('\r', bar.out.size() - 3);
  ASSERT_NE(last, std::string::npos) << bar.out;
  const std::string done = "\r100% [########################] 5 entries, 0.1/0.1 MiB";
  EXPECT_EQ(bar.out.substr(last, done.size()), done);
  const Ran quiet = Shell(terminal + "-q quiet.zip -r src' /dev/null");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(Names("quiet.zip"), Names("bar.zip"));
}

TEST_F(ZipCommandTest, SameNamesAsZipWithTheSameOptions) {
  Write("src/sub/c.txt", "c\n");
  Write("top.txt", "top\n");
  for (const char* options :
       {"-r src", "src", "src/a.txt src/sub top.txt", "-r -j src", "-r -D src top.txt",
        "-r src -x '*.bin'", "-r src -x 'src/sub/*'", "-r src -i '*.txt'", "-r . -x '*.zip'",
        "-r src/sub src"}) {
    SCOPED_TRACE(options);
    fs::remove(root_ / "k.zip");
    fs::remove(root_ / "z.zip");
    const Ran run = Kestrel(std::string("k.zip ") + options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    ASSERT_EQ(Shell(std::string("zip -q z.zip ") + options).status, 0);
    EXPECT_EQ(Names("k.zip"), Names("z.zip"));
  }
  // Freshening, updating and deleting leave the same names as zip's, step by step.
  fs::remove(root_ / "k.zip");
  fs::remove(root_ / "z.zip");
  ASSERT_EQ(Kestrel("k.zip -r src -x '*.txt'").status, 0);
  ASSERT_EQ(Shell("zip -q z.zip -r src -x '*.txt'").status, 0);
  fs::create_directories(root_ / "src/new");
  Write("src/new/n.txt", "n\n");
  for (const char* step : {"-f @ -r src", "-u @ -r src", "-d @ 'src/sub/*'", "-d @ '*.txt'"}) {
    SCOPED_TRACE(step);
    std::string options = step;
    options.replace(options.find('@'), 1, "k.zip");
    EXPECT_LE(Kestrel(options).status, 12);
    options.replace(options.find("k.zip"), 5, "z.zip");
    EXPECT_LE(Shell("zip -q " + options).status, 12);
    EXPECT_EQ(Names("k.zip"), Names("z.zip"));
  }
  fs::remove_all(root_ / "src/new");
  // An archive inside the tree it packs never goes into itself, on the first run or later.
  for (const char* tool : {KESTREL_CLI_PATH " zip", "zip -q"}) {
    SCOPED_TRACE(tool);
    ASSERT_EQ(Shell(std::string("cd src && ") + tool + " -r self.zip . && " + tool + " -r self.zip .").status, 0);
    EXPECT_EQ(Names("src/self.zip"), "a.txt\nempty\nsub/\nsub/b.bin\nsub/c.txt\n");
    fs::remove(root_ / "src/self.zip");
  }
  // Names from standard input, and shell patterns the shell left alone.
  EXPECT_EQ(Kestrel("-@ n.zip", "src/a.txt\ntop.txt\n").status, 0);
  EXPECT_EQ(Names("n.zip"), "src/a.txt\ntop.txt\n");
  EXPECT_EQ(Kestrel("g.zip 'src/*.txt'").status, 0);
  EXPECT_EQ(Names("g.zip"), "src/a.txt\n");
}

TEST_F(ZipCommandTest, UpdatesReplaceNewerFilesAndKeepTheRest) {
  ASSERT_EQ(Kestrel("out.zip -r src").status, 0);
  const std::string raw = "python3 -c \"import zipfile,hashlib\nz=zipfile.ZipFile('out.zip')\n"
                          "f=open('out.zip','rb').read()\nfor i in z.infolist():\n"
                          " print(i.filename, hashlib.md5(f[i.header_offset:i.header_offset+30+"
                          "len(i.filename)+i.compress_size]).hexdigest())\"";
  const std::string before = Shell(raw).out;
  Write("src/a.txt", "changed\n");
  fs::last_write_time(root_ / "src/a.txt", fs::last_write_time(root_ / "src/a.txt") + std::chrono::hours(1));
  Write("new.txt", "new\n");
  Ran run = Kestrel("-u -v out.zip src/a.txt src/empty new.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "updating: src/a.txt (stored 0%)\n  adding: new.txt (stored 0%)\n");
  EXPECT_EQ(Shell("unzip -p out.zip src/a.txt").out, "changed\n");
  // Everything but a.txt is still the same bytes, in the same order.
  const std::string after = Shell(raw).out;
  for (const char* kept : {"src/ ", "src/empty ", "src/sub/b.bin "}) {
    const size_t at = before.find(kept);
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(after.find(before.substr(at, before.find('\n', at) - at)), std::string::npos) << kept;
  }
  // -f replaces newer entries only and adds nothing.
  Write("other.txt", "o\n");
  fs::last_write_time(root_ / "src/empty", fs::last_write_time(root_ / "src/empty") + std::chrono::hours(1));
  run = Kestrel("-f -v out.zip src/empty other.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "freshening: src/empty (stored 0%)\n");
  fs::create_directories(root_ / "src/new");
  run = Kestrel("-f out.zip other.txt -r src/new");
  EXPECT_EQ(run.status, 12);
  EXPECT_EQ(run.err, "kestrel zip: nothing to do: no file to add was found (out.zip not written)\n");
  EXPECT_EQ(Names("out.zip").find("other.txt"), std::string::npos);
  EXPECT_EQ(Names("out.zip").find("src/new/"), std::string::npos);
  run = Kestrel("-f none.zip src/a.txt");  // nothing to freshen in no archive
  EXPECT_EQ(run.status, 12);
  EXPECT_FALSE(fs::exists(root_ / "none.zip"));
  // -d deletes by pattern, -v naming each entry as zip does; a pattern that matches nothing
  // leaves the archive alone.
  run = Kestrel("-v -d out.zip 'src/sub/*'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "deleting: src/sub/\ndeleting: src/sub/b.bin\n");
  EXPECT_EQ(Names("out.zip"), "new.txt\nsrc/\nsrc/a.txt\nsrc/empty\n");
  const std::string old = Read(root_ / "out.zip");
  run = Kestrel("-d out.zip '*.c'");
  EXPECT_EQ(run.status, 12);
  EXPECT_EQ(run.err, "kestrel zip: nothing to do: no entry matched (out.zip not written)\n");
  EXPECT_EQ(Read(root_ / "out.zip"), old);
  // --overwrite starts afresh.
  run = Kestrel("--overwrite out.zip new.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(Names("out.zip"), "new.txt\n");
}

TEST_F(ZipCommandTest, CommentsAndPasswords) {
  Ran run = Kestrel("-z c.zip src/a.txt", "from stdin\n");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(Shell("unzip -z c.zip | tail -1").out, "from stdin\n");
  run = Kestrel("c.zip --comment 'given text'");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(Shell("unzip -z c.zip | tail -1").out, "given text\n");
  EXPECT_EQ(Names("c.zip"), "src/a.txt\n");

  run = Kestrel("-P 'pw one' e.zip src/a.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "kestrel zip: warning: a password given with -P can be seen by other users (use -e "
            "or --password-file)\n");
  EXPECT_EQ(Shell("unzip -tq -P 'pw one' e.zip").status, 0);
  EXPECT_NE(Shell("unzip -tq -P 'pw two' e.zip").status, 0);
  Write("pw", "secret\r\nsecond line\n");
  run = Kestrel("--password-file pw f.zip src/a.txt");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(Shell("unzip -p -P secret f.zip").out, std::string(20000, 'a') + "end\n");
  run = Kestrel("-e g.zip src/a.txt");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "kestrel zip: -e needs a terminal to ask on (use --password-file in scripts)\n");
}

TEST_F(ZipCommandTest, FailuresHaveTheirMessageAndStatus) {
  struct Case {
    std::string args;
    int status;
    std::string err;
  } cases[] = {
      {"", 2, "kestrel zip: no archive given (see kestrel zip --help)\n"},
      {"out.zip src --bogus", 2, "kestrel zip: unknown option '--bogus' (see kestrel zip --help)\n"},
      {"-rk out.zip src", 2, "kestrel zip: unknown option '-k' (see kestrel zip --help)\n"},
      {"out.zip src --split", 2, "kestrel zip: --split needs a value\n"},
      {"out.zip src -s 12x", 2,
       "kestrel zip: -s needs a size in bytes (k or m for KiB or MiB), not '12x'\n"},
      {"out.zip src --span", 2,
       "kestrel zip: --span writes to the floppy drive: give it with --floppy DIR\n"},
      {"out.zip missing", 12,
       "kestrel zip: warning: missing: No such file or directory\n"
       "kestrel zip: nothing to do (out.zip not written)\n"},
      {"out.zip -r src -i '*.none'", 12,
       "kestrel zip: nothing to do: no file to add was found (out.zip not written)\n"},
      {"/proc/out.zip src", 4, "kestrel zip: cannot write in /proc: No such file or directory\n"},
      {"nodir/out.zip src", 4, "kestrel zip: nodir/out.zip: the directory " + root_.string() +
                                   "/nodir does not exist\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Ran run = Kestrel(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_FALSE(fs::exists(root_ / "out.zip"));
  }
  // One source missing of two: the rest is packed, the missing one named, status 1.
  Ran run = Kestrel("out.zip src/a.txt gone.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "kestrel zip: warning: gone.txt: No such file or directory\n");
  EXPECT_EQ(Names("out.zip"), "src/a.txt\n");
  // A file that is not an archive is not touched.
  Write("text.zip", "plain text");
  run = Kestrel("text.zip src");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "kestrel zip: text.zip: not a zip archive\n");
  EXPECT_EQ(Read(root_ / "text.zip"), "plain text");
  EXPECT_EQ(Shell("ls -A | grep -c kestrel").out, "0\n");  // no temporary file left
  // --help lists every option.
  run = Kestrel("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"-r ", "-j ", "-D ", "-x ", "-i ", "-@ ", "-0 .. -9", "-u ", "-f ",
                             "-d ", "--overwrite", "-z ", "--comment", "-e, --password",
                             "--password-file", "-P ", "--split", "--span", "--code-page",
                             "--floppy", "--yes",
                             "-q, --quiet", "-v, --verbose"})
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
}

// A FIFO, a socket and devices reached through links hold no file's data: each is named as
// passed over and never opened (opening the FIFO would wait for a writer for ever, reading
// /dev/zero would never end), on one thread and on workers. The time limit turns such a hang
// into a failure.
TEST_F(ZipCommandTest, SpecialFilesInATreeArePassedOverNeverOpened) {
  ASSERT_EQ(mkfifo((root_ / "src" / "pipe").c_str(), 0644), 0);
  ASSERT_EQ(Shell("python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind(\"src/sock\")'")
                .status, 0);
  fs::create_symlink("/dev/zero", root_ / "src" / "zero");
  fs::create_symlink("/dev/null", root_ / "src" / "sub" / "null");
  std::string said;
  for (const char* name : {"src/pipe", "src/sock", "src/sub/null", "src/zero"})
    said += "kestrel zip: warning: skipped " + (root_ / name).string() + ": not a regular file\n";
  for (const char* threads : {"1", "3"}) {
    SCOPED_TRACE(threads);
    const Ran run = Shell("timeout 120 " + std::string(KESTREL_CLI_PATH) + " zip -q -T " +
                          threads + " out.zip -r src");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, said);
    EXPECT_EQ(Names("out.zip"), "src/\nsrc/a.txt\nsrc/empty\nsrc/sub/\nsrc/sub/b.bin\n");
    fs::remove(root_ / "out.zip");
  }
}

// Names are stored as UTF-8 by default, which every peer lists right; --code-page 936 stores
// those GBK holds in GBK, for old Chinese Windows tools, and the rest still as UTF-8.
TEST_F(ZipCommandTest, NamesAreUtf8ByDefaultAndInALegacyCodePageOnRequest) {
  const std::string cjk = "\xE4\xB8\xAD\xE6\x96\x87.txt", emoji = "\xF0\x9F\x98\x80.txt";
  fs::create_directories(root_ / "u");
  Write("u/" + cjk, "c");
  Write("u/" + emoji, "e");
  const std::string list =
      "python3 -c \"import zipfile,sys\n"
      "for i in sorted(zipfile.ZipFile(sys.argv[1], metadata_encoding='gbk').infolist(),"
      " key=lambda i: i.filename):\n"
      " print(i.flag_bits & 0x800, i.filename)\" ";
  ASSERT_EQ(Kestrel("utf8.zip -r u").status, 0);
  EXPECT_EQ(Shell(list + "utf8.zip").out, "0 u/\n2048 u/" + cjk + "\n2048 u/" + emoji + "\n");
  EXPECT_EQ(Shell("LC_ALL=C.UTF-8 unzip -Z1 utf8.zip | sort").out,
            "u/\nu/" + cjk + "\nu/" + emoji + "\n");
  ASSERT_EQ(Kestrel("--code-page 936 gbk.zip -r u").status, 0);
  EXPECT_EQ(Shell(list + "gbk.zip").out, "0 u/\n0 u/" + cjk + "\n2048 u/" + emoji + "\n");
  const Ran bad = Kestrel("--code-page x g.zip u");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "kestrel zip: --code-page needs a code page number, not 'x'\n");
}

TEST_F(ZipCommandTest, BlockFilesAndASpanAcrossThreeDisksReadBackByPeers) {
  ASSERT_EQ(Shell("head -c 250000 /dev/urandom > src/r.bin").status, 0);
  Ran run = Kestrel("s.zip src -r --split 100k");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(fs::file_size(root_ / "s.001"), 102400u);
  EXPECT_EQ(Shell("test -f s.003 && ! test -e s.zip && mv s.001 s.z01 && mv s.002 s.z02 && "
                  "mv s.003 s.zip && zip -q -s 0 s.zip --out j.zip && unzip -tq j.zip")
                .status,
            0);

  // 3.2 MB that does not compress needs three 1.44 MB disks.
  ASSERT_EQ(Shell("head -c 3200000 /dev/urandom > src/big.bin && mkdir disks").status, 0);
  run = Kestrel("--span --floppy disks -0 -r x.zip src");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out + run.err,
            "kestrel: disk 2 in drive A: is disks/2\nkestrel: disk 3 in drive A: is disks/3\n");
  EXPECT_EQ(Shell("ls -d disks/*/").out, "disks/1/\ndisks/2/\ndisks/3/\n");
  // The disks in the names of a split set, which 7z reads.
  const Ran join = Shell("mv disks/1/x.zip x.z01 && mv disks/2/x.zip x.z02 && "
                         "mv disks/3/x.zip x.zip && 7z x -oback x.zip");
  ASSERT_EQ(join.status, 0) << join.out << join.err;
  for (const char* f : {"big.bin", "r.bin", "a.txt", "sub/b.bin"})
    EXPECT_EQ(Read(root_ / "back/src" / f), Read(root_ / "src" / f)) << f;
}

TEST(PromptTest, AnswersFromTheTerminalOrFixedInAdvance) {
  char input[] = "yes\nno\n";
  FILE* in = fmemopen(input, sizeof input - 1, "r");
  char output[512] = {};
  FILE* out = fmemopen(output, sizeof output, "w");
  auto ask = cli::TerminalPrompt(cli::PromptAnswer::Ask, in, out);
  EXPECT_EQ(ask("c", "q", 0x2001), cli::kIdOk);
  EXPECT_EQ(ask("c", "q", 0x2004), cli::kIdNo);
  EXPECT_EQ(ask("c", "q", 0x2004), cli::kIdNo);  // end of input
  EXPECT_EQ(ask("c", "note", 0x2000), cli::kIdOk);
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(std::string(output), "[c] q [y/N] [c] q [y/N] [c] q [y/N] [c] note\n");
  EXPECT_EQ(cli::TerminalPrompt(cli::PromptAnswer::Yes, nullptr, stderr)("c", "q", 0x2004), cli::kIdYes);
  EXPECT_EQ(cli::TerminalPrompt(cli::PromptAnswer::No, nullptr, stderr)("c", "q", 0x2001), cli::kIdCancel);

  std::vector<std::string> args = {"a", "--yes", "b"};
  cli::PromptAnswer answer;
  std::string error;
  EXPECT_TRUE(cli::TakePromptOption(args, answer, error));
  EXPECT_EQ(answer, cli::PromptAnswer::Yes);
  EXPECT_EQ(args, (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace kestrel::clitest
