// kestrel zip: trees packed at several levels pass the peers and unpack to the same bytes,
// the overwrite question is answered by --yes, --no or the terminal, failures exit non-zero
// with their reason, and --floppy carries an A: archive onto numbered disk folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/prompt.h"

namespace kestrel::clitest {
namespace {

namespace fs = std::filesystem;

struct Ran {
  int status = -1;
  std::string output;  // stdout and stderr together
};

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
  // Runs a command line in the scratch directory; stdin is empty unless input is given.
  Ran Shell(const std::string& line, const std::string& input = "") {
    Ran run;
    const std::string command = "cd '" + root_.string() + "' && printf '" + input + "' | " + line + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    char buf[1024];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.output.append(buf, n);
    const int raw = pclose(p);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
  }
  Ran Kestrel(const std::string& args, const std::string& input = "") {
    return Shell(std::string(KESTREL_CLI_PATH) + " " + args, input);
  }
  fs::path root_;
};

TEST_F(ZipCommandTest, PackedTreesPassThePeersAndUnpackToTheSameBytes) {
  for (const char* level : {"-0", "-1", "-6", "-9"}) {
    SCOPED_TRACE(level);
    fs::remove(root_ / "out.zip");
    fs::remove_all(root_ / "x");
    const Ran run = Kestrel(std::string("zip out.zip src -r ") + level);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");  // quiet when stderr is no terminal
    EXPECT_EQ(Shell("unzip -tq out.zip").status, 0);
    EXPECT_EQ(Shell("7z t out.zip").status, 0);
    EXPECT_EQ(Shell("python3 -m zipfile -t out.zip").status, 0);
    EXPECT_EQ(Shell("bsdtar -tf out.zip").status, 0);
    ASSERT_EQ(Shell("unzip -q out.zip -d x").status, 0);
    for (const char* f : {"a.txt", "sub/b.bin", "empty"})
      EXPECT_EQ(Read(root_ / "x" / f), Read(root_ / "src" / f)) << f;
  }
  // Without -r only the top level goes in.
  fs::remove(root_ / "out.zip");
  ASSERT_EQ(Kestrel("zip out.zip src").status, 0);
  EXPECT_EQ(Shell("unzip -Z1 out.zip").output, "a.txt\nempty\n");
}

TEST_F(ZipCommandTest, TheOverwriteQuestion) {
  ASSERT_EQ(Kestrel("zip out.zip src/a.txt").status, 0);
  const std::string old = Read(root_ / "out.zip");
  Ran no = Kestrel("zip out.zip src -r --no");
  EXPECT_EQ(no.status, 1);
  EXPECT_NE(no.output.find("目标文件存在,是否覆盖?"), std::string::npos) << no.output;
  EXPECT_EQ(Read(root_ / "out.zip"), old);
  // No answer on the terminal (end of input) declines too.
  EXPECT_EQ(Kestrel("zip out.zip src -r").status, 1);
  EXPECT_EQ(Read(root_ / "out.zip"), old);
  EXPECT_EQ(Kestrel("zip out.zip src -r", "y\\n").status, 0);
  EXPECT_EQ(Shell("unzip -Z1 out.zip").output, "a.txt\nempty\nsub/b.bin\n");
  EXPECT_EQ(Kestrel("zip out.zip src/empty --yes").status, 0);
  EXPECT_EQ(Shell("unzip -Z1 out.zip").output, "empty\n");
}

TEST_F(ZipCommandTest, FailuresExitNonZeroWithTheirReason) {
  const Ran unreadable = Kestrel("zip out.zip /proc/self/mem");
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_EQ(unreadable.output, "kestrel zip: Stream read error\n");
  EXPECT_FALSE(fs::exists(root_ / "out.zip"));
  EXPECT_EQ(Kestrel("zip out.zip").status, 2);
  EXPECT_EQ(Kestrel("zip out.zip src --yes --no").status, 2);
  EXPECT_EQ(Kestrel("zip out.zip src -x").status, 2);
}

TEST_F(ZipCommandTest, FloppyOptionCarriesAnAArchiveOntoDisks) {
  fs::create_directories(root_ / "disks");
  // The archive is built on C: at the same path, so its directory must exist there.
  std::string drive = "A:" + root_.string() + "\\x.zip";
  for (char& c : drive)
    if (c == '/') c = '\\';
  const Ran run = Kestrel("zip '" + drive + "' src -r --floppy disks");
  ASSERT_EQ(run.status, 0) << run.output;
  bool found = false;
  for (auto& e : fs::recursive_directory_iterator(root_ / "disks"))
    found = found || e.path().filename() == "x.m01";
  EXPECT_TRUE(found);
  EXPECT_FALSE(fs::exists(root_ / "x.zip"));
}

TEST(PromptTest, AnswersFromTheTerminalOrFixedInAdvance) {
  char input[] = "yes\nno\n";
  FILE* in = fmemopen(input, sizeof input - 1, "r");
  char output[512] = {};
  FILE* out = fmemopen(output, sizeof output, "w");
  auto ask = cli::TerminalPrompt(cli::PromptAnswer::Ask, in, out);
  EXPECT_EQ(ask("c", "q", 0x2001), os::kIdOk);
  EXPECT_EQ(ask("c", "q", 0x2004), os::kIdNo);
  EXPECT_EQ(ask("c", "q", 0x2004), os::kIdNo);  // end of input
  EXPECT_EQ(ask("c", "note", 0x2000), os::kIdOk);
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(std::string(output), "[c] q [y/N] [c] q [y/N] [c] q [y/N] [c] note\n");
  EXPECT_EQ(cli::TerminalPrompt(cli::PromptAnswer::Yes, nullptr, stderr)("c", "q", 0x2004), os::kIdYes);
  EXPECT_EQ(cli::TerminalPrompt(cli::PromptAnswer::No, nullptr, stderr)("c", "q", 0x2001), os::kIdCancel);

  std::vector<std::string> args = {"a", "--yes", "b"};
  cli::PromptAnswer answer;
  std::string error;
  EXPECT_TRUE(cli::TakePromptOption(args, answer, error));
  EXPECT_EQ(answer, cli::PromptAnswer::Yes);
  EXPECT_EQ(args, (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace kestrel::clitest
