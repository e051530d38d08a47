// kestrel zip -T: the archive and the -v lines are the same with one thread, with several and
// with the default (one per core), links stored as links included; a thread count that is not
// 1-256 is a usage error.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "cli/cli_process.h"

namespace kestrel::clitest {
namespace {

namespace fs = std::filesystem;

class ZipThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-threads-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    std::mt19937 rng(3);
    for (int i = 0; i < 30; ++i) {
      fs::create_directories(root_ / "src" / std::to_string(i % 4));
      std::string bytes;
      for (int j = 0; j < i * 900; ++j) bytes += j % 5 == 0 ? char(rng()) : char('a' + j % 7);
      std::ofstream(root_ / "src" / std::to_string(i % 4) / ("f" + std::to_string(i)),
                    std::ios::binary) << bytes;
    }
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Read(const std::string& name) {
    std::ifstream in(root_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Standard output and error together, as a user sees them.
  Outcome Zip(const std::string& arguments) {
    Outcome outcome;
    FILE* pipe = popen((std::string(KESTREL_CLI_PATH) + " zip " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      outcome.out.append(buffer, got);
    const int raw = pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
  }
  std::string In(const std::string& name) { return "'" + (root_ / name).string() + "'"; }
  fs::path root_;
};

TEST_F(ZipThreadsTest, TheArchiveIsTheSameWithAnyNumberOfThreads) {
  // A fixed base directory, so the stored names do not depend on where the test runs.
  const std::string sources = "-r " + In("src");
  const Outcome one = Zip("-v -T 1 " + In("one.zip") + " " + sources);
  ASSERT_EQ(one.status, 0) << one.out;
  for (const std::string threads : {"-T 3", "--threads 8", ""}) {
    fs::remove(root_ / "many.zip");
    const Outcome many = Zip("-v " + threads + " " + In("many.zip") + " " + sources);
    EXPECT_EQ(many.status, 0) << threads;
    EXPECT_EQ(many.out, one.out) << threads;
    EXPECT_TRUE(Read("many.zip") == Read("one.zip")) << threads;
  }
}

TEST_F(ZipThreadsTest, LinksStoredAsLinksAreTheSameWithWorkers) {
  fs::create_symlink("f1", root_ / "src" / "1" / "link");
  fs::create_symlink("missing", root_ / "src" / "1" / "dangling");
  const Outcome one = Zip("-y -T 1 " + In("one.zip") + " -r " + In("src"));
  const Outcome many = Zip("-y -T 4 " + In("many.zip") + " -r " + In("src"));
  EXPECT_EQ(many.status, one.status);
  EXPECT_EQ(many.out, one.out);
  EXPECT_TRUE(Read("many.zip") == Read("one.zip"));
}

TEST_F(ZipThreadsTest, AThreadCountOutsideOneTo256IsAUsageError) {
  for (const std::string count : {"0", "257", "x", "-1"}) {
    const Outcome run = Zip("-T " + count + " " + In("a.zip") + " " + In("src"));
    EXPECT_EQ(run.status, 2) << count;
    EXPECT_EQ(run.out, "kestrel zip: -T needs a number of threads from 1 to 256, not '" + count +
                           "'\n");
  }
  EXPECT_FALSE(fs::exists(root_ / "a.zip"));
}

}  // namespace
}  // namespace kestrel::clitest
