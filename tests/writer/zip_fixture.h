// zip_fixture.h — helpers of the packing tests: a scratch tree seen by the library as a
// drive path, file makers, peers run as black boxes and the entry list a peer reports.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "writer/lyn_zip.h"

namespace kestrel::testing {

namespace fs = std::filesystem;

class ZipScratch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-pack-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    os::host::SetMessageHandler(nullptr);
    os::host::UnmapDrive('A');
    os::host::UnmapDrive('F');
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(root_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }
  // Host path under the scratch root, and the drive path the library sees for it.
  fs::path H(const std::string& relative) const { return root_ / relative; }
  static std::string Drive(const fs::path& host) {
    std::string drive;
    EXPECT_TRUE(os::host::DrivePath(host.string(), drive)) << host;
    return drive;
  }
  std::string D(const std::string& relative) const { return Drive(H(relative)); }

  void Write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(H(relative).parent_path());
    std::ofstream(H(relative), std::ios::binary) << bytes;
  }
  std::string Read(const fs::path& p) const {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Sets a file's modification time to an even number of seconds, as DOS times keep it.
  static void SetTime(const fs::path& p, time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    utimensat(AT_FDCWD, p.c_str(), times, 0);
  }
  static time_t MTime(const fs::path& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mtime;
  }

  // A tree of text, binary, runs, an empty file, nested folders and a code page 936 name.
  void MakeSampleTree(const std::string& dir) {
    std::string text;
    for (int i = 0; i < 4000; ++i) text += "line " + std::to_string(i * 7 % 1000) + " of the sample\n";
    Write(dir + "/readme.txt", text);
    Write(dir + "/empty", "");
    Write(dir + "/docs/runs.dat", std::string(100000, 'x'));
    Write(dir + "/docs/deep/random.bin", RandomBytes(70000, 7));
    Write(dir + "/\xE4\xB8\xAD\xE6\x96\x87/\xE6\x96\x87\xE4\xBB\xB6.txt", "chinese name\n");
    time_t t = 1700000000;  // even, well inside the DOS range
    for (auto& e : fs::recursive_directory_iterator(H(dir)))
      if (e.is_regular_file()) SetTime(e.path(), t += 2);
  }
  static std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  }

  // Runs a shell command in the scratch root; its exit status.
  int Shell(const std::string& command) const {
    return std::system(("cd '" + root_.string() + "' && ( " + command + " ) >/dev/null 2>&1").c_str());
  }
  // Output of a shell command run in the scratch root.
  std::string Capture(const std::string& command) const {
    std::string out;
    FILE* p = popen(("cd '" + root_.string() + "' && " + command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
  }
  // "name size" per entry, in directory order, as Python's zipfile reads them.
  std::string PeerList(const std::string& archive) const {
    return Capture("python3 -c \"import zipfile,sys\n"
                   "for i in zipfile.ZipFile(sys.argv[1]).infolist():"
                   " print(i.filename, i.file_size)\" '" + archive + "'");
  }
  // True when every peer accepts the archive.
  void ExpectPeersAccept(const std::string& archive) const {
    EXPECT_EQ(Shell("unzip -tq '" + archive + "'"), 0) << archive;
    EXPECT_EQ(Shell("7z t '" + archive + "'"), 0) << archive;
    EXPECT_EQ(Shell("python3 -m zipfile -t '" + archive + "'"), 0) << archive;
    EXPECT_EQ(Shell("bsdtar -tf '" + archive + "'"), 0) << archive;
  }

  // A component set up like ZipFile's: names relative to rootDir, recursing.
  static void PrepareRelative(writer::TLynZip& zip, const std::string& archive,
                              const std::string& rootDir, int level) {
    zip.SetZipName(archive);
    zip.SetRelativePaths(true);
    zip.SetRootDir(rootDir);
    zip.SetPackLevel(level);
  }

  fs::path root_;
};

}  // namespace kestrel::testing
