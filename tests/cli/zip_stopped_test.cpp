// kestrel zip stopped part-way: Ctrl-C while the trees are walked, a file is compressed or
// workers pack many, SIGKILL at random moments of an update, a disk that fills up. Each time
// the old archive stays whole and no work file of the command stays behind once another run
// has passed. And kestrel unzip stopped by Ctrl-C: the entries done stay, none is left
// half-written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::clitest {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

class ZipStoppedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-zipstop-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  // Starts `kestrel zip args...` in the scratch directory, stdout and stderr to files.
  pid_t Start(const std::vector<std::string>& args) { return StartCommand("zip", args); }
  pid_t StartCommand(const char* command, const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(root_.c_str()) != 0) _exit(127);
      const int out = open(".out", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(".err", O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(KESTREL_CLI_PATH), const_cast<char*>(command)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(KESTREL_CLI_PATH, argv.data());
      _exit(127);
    }
    return pid;
  }
  // The exit status, or minus the signal that ended the process.
  static int Wait(pid_t pid) {
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
  }
  int Run(const std::vector<std::string>& args) { return Wait(Start(args)); }
  // Names in dir left by the command's commits (its work files).
  static std::string WorkFiles(const fs::path& dir) {
    std::string found;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().filename().string().rfind(".kestrel-", 0) == 0) found += e.path().filename().string() + " ";
    return found;
  }
  // Waits until the running command has read (or written) more than bytes in all, by its I/O
  // counters; false when it ended before.
  static bool AwaitIo(pid_t pid, const char* counter, uint64_t bytes) {
    const std::string io = "/proc/" + std::to_string(pid) + "/io";
    for (;;) {
      siginfo_t ended{};
      if (waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 ||
          ended.si_pid != 0)
        return false;
      std::ifstream in(io);
      std::string key;
      uint64_t value = 0;
      while (in >> key >> value)
        if (key == std::string(counter) + ":" && value > bytes) return true;
      std::this_thread::yield();
    }
  }
  static bool Tests(const fs::path& archive) {
    return std::system(("unzip -tqq '" + archive.string() + "' > /dev/null 2>&1").c_str()) == 0;
  }
  static std::string Names(const fs::path& archive) {
    std::string out;
    FILE* p = popen(("unzip -Z1 '" + archive.string() + "' | LC_ALL=C sort").c_str(), "r");
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
  }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Runs `kestrel zip args` over out.zip, sends Ctrl-C once ready(pid) holds, and expects the
  // interrupted outcome: status 130, its message, out.zip as it was and no file left beside it.
  void ExpectInterrupted(const std::vector<std::string>& args,
                         const std::function<bool(pid_t)>& ready) {
    const std::string old = ReadFile(root_ / "out.zip");
    const std::vector<std::string> before = Listing();
    const pid_t pid = Start(args);
    while (!ready(pid) && waitpid(pid, nullptr, WNOHANG) == 0) std::this_thread::yield();
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 130);
    EXPECT_EQ(ReadFile(root_ / ".err"), "kestrel zip: interrupted: out.zip is as it was\n");
    EXPECT_EQ(ReadFile(root_ / "out.zip"), old);
    EXPECT_EQ(Listing(), before);
  }

  fs::path root_;
};

TEST_F(ZipStoppedTest, CtrlCWhileWalkingCancelsAndKeepsTheOldArchive) {
  // Enough files that the walk takes a while. An update starts with its work file, right
  // before the walk: the signal goes once that is there.
  for (int d = 0; d < 100; ++d) {
    const fs::path dir = root_ / "tree" / std::to_string(d);
    fs::create_directories(dir);
    for (int f = 0; f < 100; ++f) WriteFile(dir / std::to_string(f), "x");
  }
  WriteFile(root_ / "one.txt", "one\n");
  ASSERT_EQ(Run({"out.zip", "one.txt"}), 0);
  ExpectInterrupted({"-r", "out.zip", "tree"}, [this](pid_t pid) {
    return WorkFiles(root_).find("-" + std::to_string(pid) + ".tmp ") != std::string::npos;
  });
}

TEST_F(ZipStoppedTest, CtrlCWhileWorkersPackKeepsTheOldArchiveAndLeavesNoFile) {
  // More data than the workers may hold in memory, slow to compress: it is being packed, and
  // partly spilled, when the signal comes.
  fs::create_directories(root_ / "src");
  for (int i = 0; i < 10; ++i)
    WriteFile(root_ / "src" / ("f" + std::to_string(i)), RandomBytes(4 << 20, 50 + i));
  WriteFile(root_ / "one.txt", "one\n");
  ASSERT_EQ(Run({"out.zip", "one.txt"}), 0);
  // The writer's temporary archive appears once the walk is over and packing begins.
  ExpectInterrupted({"-9", "-T", "2", "-r", "out.zip", "src"}, [this](pid_t) {
    for (const auto& e : fs::directory_iterator(root_))
      if (e.path().filename().string().rfind("QZT", 0) == 0) return true;
    return false;
  });
}

TEST_F(ZipStoppedTest, KilledUpdatesLeaveAWholeArchiveAndNoWorkFileForLong) {
  fs::create_directories(root_ / "src");
  for (int i = 0; i < 8; ++i)
    WriteFile(root_ / "src" / ("f" + std::to_string(i)), RandomBytes(400000, i));
  ASSERT_EQ(Run({"-q", "out.zip", "-r", "src"}), 0);
  // How long an update takes here, to kill it at moments spread over its whole run.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run({"-q", "-1", "--overwrite", "out.zip", "-r", "src"}), 0);
  const auto span = std::chrono::steady_clock::now() - start;
  const std::string names = Names(root_ / "out.zip");
  ASSERT_EQ(names, "src/\nsrc/f0\nsrc/f1\nsrc/f2\nsrc/f3\nsrc/f4\nsrc/f5\nsrc/f6\nsrc/f7\n");

  std::mt19937 random(17);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE(trial);
    // Every other trial rewrites the archive, the rest update one newer file in it.
    std::vector<std::string> args = {"-q", "--overwrite", "out.zip", "-r", "src"};
    if (trial % 2 != 0) {
      const fs::path changed = root_ / "src" / ("f" + std::to_string(trial % 8));
      WriteFile(changed, RandomBytes(400000, 100 + trial));
      fs::last_write_time(changed, fs::file_time_type::clock::now() + std::chrono::hours(trial));
      args = {"-q", "out.zip", changed.lexically_relative(root_).string()};
    }
    const pid_t pid = Start(args);
    std::this_thread::sleep_for(span * (random() % 100) / 100);
    kill(pid, SIGKILL);
    const int status = Wait(pid);
    ASSERT_TRUE(status == 0 || status == -SIGKILL) << status;
    // The old archive, or the new one if the kill came after it was put in place: whole.
    EXPECT_TRUE(Tests(root_ / "out.zip"));
    EXPECT_EQ(Names(root_ / "out.zip"), names);
  }
  // The next run in the directory removes what the killed ones left.
  WriteFile(root_ / "new.txt", "new\n");
  ASSERT_EQ(Run({"-q", "out.zip", "new.txt"}), 0);
  EXPECT_EQ(WorkFiles(root_), "");
  EXPECT_TRUE(Tests(root_ / "out.zip"));
}

TEST_F(ZipStoppedTest, AFullDiskIsNamedWithTheSystemsReason) {
  const fs::path disk = root_ / "disk";
  fs::create_directories(disk);
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a small file system here (needs root)";
  WriteFile(root_ / "one.txt", "one\n");
  WriteFile(root_ / "big.bin", RandomBytes(400000, 1));
  ASSERT_EQ(Run({"disk/out.zip", "one.txt"}), 0);
  const std::string old = ReadFile(disk / "out.zip");
  const int status = Run({"disk/out.zip", "big.bin"});
  const std::string err = ReadFile(root_ / ".err");
  const std::string files = WorkFiles(disk);
  const std::string now = ReadFile(disk / "out.zip");
  umount(disk.c_str());
  EXPECT_EQ(status, 4);
  EXPECT_EQ(err, "kestrel zip: " + (disk / "out.zip").string() +
                     ": Not enough room to write archive: No space left on device\n");
  EXPECT_EQ(now, old);
  EXPECT_EQ(files, "");
}

TEST_F(ZipStoppedTest, CtrlCWhileCompressingKeepsTheOldArchive) {
  WriteFile(root_ / "one.txt", "one\n");
  ASSERT_EQ(Run({"out.zip", "one.txt"}), 0);
  // Text-like data that compresses slowly enough: the signal goes once 8 MiB of it are read.
  std::string big = RandomBytes(48 << 20, 5);
  for (char& c : big) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 13);
  WriteFile(root_ / "big.txt", big);
  ExpectInterrupted({"-9", "out.zip", "big.txt"},
                    [](pid_t pid) { return AwaitIo(pid, "rchar", 8 << 20); });
}

TEST_F(ZipStoppedTest, CtrlCWhileUnpackingLeavesNoHalfWrittenFile) {
  // A small entry, then a large one: the signal goes once 8 MiB of the large one are written.
  WriteFile(root_ / "a.txt", "first\n");
  std::string big = RandomBytes(64 << 20, 6);
  for (char& c : big) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 13);
  WriteFile(root_ / "z.bin", big);
  ASSERT_EQ(Run({"-q", "-1", "in.zip", "a.txt", "z.bin"}), 0);
  const pid_t pid = StartCommand("unzip", {"in.zip", "-d", "out"});
  ASSERT_TRUE(AwaitIo(pid, "wchar", 8 << 20)) << "the command ended before the signal";
  kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid), 130);
  EXPECT_EQ(ReadFile(root_ / ".err"), "kestrel unzip: interrupted; 1 more entries were not processed\n");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(root_ / "out")) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFile(root_ / "out" / "a.txt"), "first\n");
}

}  // namespace
}  // namespace kestrel::clitest
