// The writing interface: trees and data from memory packed into archives that the peers read
// back, updates that replace newer files and keep the rest byte for byte, deletions, comments,
// commits that fail or are cancelled leaving the old archive as it was, and bad handles.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kestrel.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Prints "name crc compressed-size raw-data-digest" per entry, in archive order: equal lines
// mean an entry was carried over byte for byte.
std::string RawEntries(const fs::path& archive) {
  return Shell("python3 -c \"import zipfile,sys,hashlib,struct\n"
             "z=zipfile.ZipFile(sys.argv[1]);f=open(sys.argv[1],'rb')\n"
             "for i in z.infolist():\n"
             " f.seek(i.header_offset);h=f.read(30);n,e=struct.unpack('<HH',h[26:30])\n"
             " f.seek(i.header_offset+30+n+e)\n"
             " print(i.filename,i.CRC,i.compress_size,hashlib.md5(f.read(i.compress_size)).hexdigest())\" '" +
             archive.string() + "'");
}

class ApiWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-apiw-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "src" / "sub");
    Write("src/a.txt", std::string(5000, 'a'));
    Write("src/sub/b.c", "int b;\n");
    Write("src/sub/b.o", std::string(300, '\x7f'));
  }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const std::string& rel, const std::string& bytes) {
    std::ofstream(root_ / rel, std::ios::binary) << bytes;
  }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string Names() { return Shell("unzip -Z1 '" + Archive().string() + "' | sort"); }
  fs::path Archive() const { return root_ / "out.zip"; }
  kestrel_writer* Open(int mode) {
    kestrel_writer* w = nullptr;
    EXPECT_EQ(kestrel_writer_open(Archive().c_str(), mode, &w), KESTREL_OK)
        << kestrel_writer_error(nullptr);
    return w;
  }
  // Files in the scratch directory besides the sources and the archive.
  size_t Leftovers() {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(root_)) {
      if (e.path().filename() != "src" && e.path() != Archive()) ++n;
    }
    return n;
  }
  fs::path root_;
};

TEST_F(ApiWriterTest, TreeAndMemoryDataReadBackByPeers) {
  kestrel_writer* w = Open(KESTREL_WRITE_CREATE);
  const char* exclude[] = {"*.o", nullptr};
  kestrel_add_options options{};
  options.recurse = 1;
  options.base_dir = root_.c_str();
  options.exclude = exclude;
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src").c_str(), &options), KESTREL_OK);
  ASSERT_EQ(kestrel_writer_add_memory(w, "notes/readme.txt", "hello\n", 6), KESTREL_OK);
  ASSERT_EQ(kestrel_writer_set_comment(w, "archive comment"), KESTREL_OK);
  ASSERT_EQ(kestrel_writer_set_entry_comment(w, "src/a.txt", "about a"), KESTREL_OK);
  uint64_t lastDone = 0, total = 0;
  auto progress = [](void* c, const char*, uint64_t done, uint64_t all) {
    auto* seen = static_cast<std::pair<uint64_t*, uint64_t*>*>(c);
    *seen->first = done;
    *seen->second = all;
    return 0;
  };
  std::pair<uint64_t*, uint64_t*> seen{&lastDone, &total};
  ASSERT_EQ(kestrel_writer_commit(w, progress, &seen), KESTREL_OK) << kestrel_writer_error(w);
  kestrel_commit_stats stats{};
  ASSERT_EQ(kestrel_writer_stats(w, &stats), KESTREL_OK);
  EXPECT_EQ(stats.added, 5u);  // src/, src/sub/, a.txt, b.c, readme.txt
  EXPECT_EQ(lastDone, 5013u);
  kestrel_writer_close(w);

  EXPECT_EQ(Names(), "notes/readme.txt\nsrc/\nsrc/a.txt\nsrc/sub/\nsrc/sub/b.c\n");
  EXPECT_NE(Shell("unzip -t '" + Archive().string() + "'").find("No errors detected"),
            std::string::npos);
  EXPECT_EQ(Shell("unzip -p '" + Archive().string() + "' notes/readme.txt src/sub/b.c"),
            "int b;\nhello\n");
  EXPECT_EQ(Shell("unzip -z '" + Archive().string() + "' | tail -1"), "archive comment\n");
  EXPECT_NE(Shell("unzip -l -v '" + Archive().string() + "'").find("about a"), std::string::npos);
  EXPECT_EQ(Leftovers(), 0u);
}

TEST_F(ApiWriterTest, UpdateReplacesNewerKeepsTheRestAndDeletes) {
  ASSERT_EQ(Shell("cd '" + root_.string() + "' && zip -qr out.zip src && echo ok"), "ok\n");
  const std::string before = RawEntries(Archive());
  // a.txt changes and gets a later time; b.o is deleted; c.txt is new.
  Write("src/a.txt", "changed\n");
  fs::last_write_time(root_ / "src/a.txt", fs::last_write_time(root_ / "src/a.txt") + std::chrono::hours(1));
  Write("src/c.txt", "new\n");
  kestrel_writer* w = Open(KESTREL_WRITE_UPDATE);
  kestrel_add_options options{};
  options.base_dir = root_.c_str();
  for (const char* file : {"src/a.txt", "src/c.txt", "src/sub/b.c"})
    ASSERT_EQ(kestrel_writer_add_path(w, (root_ / file).c_str(), &options), KESTREL_OK);
  ASSERT_EQ(kestrel_writer_delete(w, "*.o"), KESTREL_OK);
  std::string deleted;
  auto collect = [](void* c, const char* name) { *static_cast<std::string*>(c) += std::string(name) + "\n"; };
  ASSERT_EQ(kestrel_writer_set_delete_callback(w, collect, &deleted), KESTREL_OK);
  ASSERT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(w);
  EXPECT_EQ(deleted, "src/sub/b.o\n");
  kestrel_commit_stats stats{};
  kestrel_writer_stats(w, &stats);
  EXPECT_EQ(stats.added, 1u);
  EXPECT_EQ(stats.replaced, 1u);
  EXPECT_EQ(stats.deleted, 1u);
  EXPECT_EQ(stats.kept, 3u);  // src/, src/sub/, b.c (not newer than its entry)
  kestrel_writer_close(w);

  EXPECT_EQ(Names(), "src/\nsrc/a.txt\nsrc/c.txt\nsrc/sub/\nsrc/sub/b.c\n");
  EXPECT_EQ(Shell("unzip -p '" + Archive().string() + "' src/a.txt"), "changed\n");
  const std::string after = RawEntries(Archive());
  for (const char* kept : {"src/ ", "src/sub/ ", "src/sub/b.c "}) {
    const auto line = [&](const std::string& all) {
      const size_t at = all.find(std::string("\n") + kept);
      return all.substr(at, all.find('\n', at + 1) - at);
    };
    EXPECT_EQ(line("\n" + before), line("\n" + after)) << kept;
  }
  EXPECT_NE(Shell("7z t '" + Archive().string() + "'").find("Everything is Ok"), std::string::npos);
}

TEST_F(ApiWriterTest, NoCommitCancelAndFailedCallbackLeaveTheOldArchive) {
  ASSERT_EQ(Shell("cd '" + root_.string() + "' && zip -qr out.zip src && echo ok"), "ok\n");
  const std::string old = Read(Archive());
  kestrel_add_options options{};
  options.recurse = 1;

  kestrel_writer* w = Open(KESTREL_WRITE_OVERWRITE);
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src").c_str(), &options), KESTREL_OK);
  kestrel_writer_close(w);  // no commit
  EXPECT_EQ(Read(Archive()), old);

  w = Open(KESTREL_WRITE_UPDATE);
  ASSERT_EQ(kestrel_writer_add_memory(w, "big", std::string(1 << 20, 'x').data(), 1 << 20), KESTREL_OK);
  auto cancel = [](void*, const char*, uint64_t, uint64_t) { return 1; };
  EXPECT_EQ(kestrel_writer_commit(w, cancel, nullptr), KESTREL_E_CANCELLED);
  EXPECT_EQ(Read(Archive()), old);

  // The walk of a tree asks too, before any data is read, so a caller can stop it there.
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src").c_str(), &options), KESTREL_OK);
  std::string first;
  auto cancelFirst = [](void* c, const char* name, uint64_t done, uint64_t total) {
    *static_cast<std::string*>(c) = std::string("[") + name + "] " + std::to_string(done) + "/" + std::to_string(total);
    return 1;
  };
  EXPECT_EQ(kestrel_writer_commit(w, cancelFirst, &first), KESTREL_E_CANCELLED);
  EXPECT_EQ(first, "[] 0/0");
  EXPECT_EQ(Read(Archive()), old);

  auto failing = [](void*, void*, size_t) -> int64_t { return -1; };
  EXPECT_EQ(kestrel_writer_add_stream(w, "x", failing, nullptr), KESTREL_E_CALLBACK);
  EXPECT_NE(std::string(kestrel_writer_error(w)).find("read callback"), std::string::npos);
  kestrel_writer_close(w);
  EXPECT_EQ(Read(Archive()), old);
  EXPECT_EQ(Leftovers(), 0u);
}

// Each commit reports on its own: bytes from 0 up to its own total. A cancelled commit leaves
// the writer usable, and its next commit counts afresh.
TEST_F(ApiWriterTest, ProgressCountsEachCommitOnItsOwn) {
  kestrel_add_options options{};
  options.recurse = 1;
  options.base_dir = root_.c_str();
  kestrel_writer* w = Open(KESTREL_WRITE_CREATE);
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src").c_str(), &options), KESTREL_OK);
  auto cancel = [](void*, const char*, uint64_t, uint64_t) { return 1; };
  EXPECT_EQ(kestrel_writer_commit(w, cancel, nullptr), KESTREL_E_CANCELLED);
  EXPECT_FALSE(fs::exists(Archive()));

  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src" / "sub").c_str(), &options), KESTREL_OK);
  std::vector<std::pair<uint64_t, uint64_t>> reports;
  auto record = [](void* c, const char*, uint64_t done, uint64_t total) {
    static_cast<std::vector<std::pair<uint64_t, uint64_t>>*>(c)->emplace_back(done, total);
    return 0;
  };
  ASSERT_EQ(kestrel_writer_commit(w, record, &reports), KESTREL_OK) << kestrel_writer_error(w);
  // Reports while the tree is walked carry no total yet.
  std::erase_if(reports, [](const auto& report) { return report.second == 0; });
  ASSERT_FALSE(reports.empty());
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].second, 307u);  // b.c and b.o only
    if (i > 0) {
      EXPECT_GE(reports[i].first, reports[i - 1].first);
    }
  }
  EXPECT_EQ(reports.back().first, 307u);
  kestrel_commit_stats stats{};
  ASSERT_EQ(kestrel_writer_stats(w, &stats), KESTREL_OK);
  EXPECT_EQ(stats.added, 3u);  // src/sub/, b.c, b.o
  kestrel_writer_close(w);
  EXPECT_EQ(Names(), "src/sub/\nsrc/sub/b.c\nsrc/sub/b.o\n");
}

TEST_F(ApiWriterTest, BadHandlesNamesAndModesAreRefused) {
  kestrel_writer* w = nullptr;
  EXPECT_EQ(kestrel_writer_set_level(nullptr, 5), KESTREL_E_INVALID);
  EXPECT_STREQ(kestrel_writer_error(nullptr), "null writer handle");
  EXPECT_EQ(kestrel_writer_open((root_ / "missing/x.zip").c_str(), KESTREL_WRITE_CREATE, &w),
            KESTREL_E_NOT_FOUND);
  EXPECT_EQ(w, nullptr);
  Write("out.zip", "not a zip");
  EXPECT_EQ(kestrel_writer_open(Archive().c_str(), KESTREL_WRITE_CREATE, &w), KESTREL_E_EXISTS);
  EXPECT_EQ(kestrel_writer_open(Archive().c_str(), KESTREL_WRITE_UPDATE, &w), KESTREL_E_NOT_ZIP);
  w = Open(KESTREL_WRITE_OVERWRITE);
  EXPECT_EQ(kestrel_writer_set_level(w, 10), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_writer_add_memory(w, "../up", "x", 1), KESTREL_E_UNSAFE);
  EXPECT_EQ(kestrel_writer_add_memory(w, "/abs", "x", 1), KESTREL_E_UNSAFE);
  EXPECT_EQ(kestrel_writer_add_path(w, (root_ / "nothing").c_str(), nullptr), KESTREL_E_NOT_FOUND);
  EXPECT_EQ(kestrel_writer_set_code_page(w, 424242), KESTREL_E_UNSUPPORTED);
  kestrel_writer_close(w);
  EXPECT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_E_INVALID);  // after close
  kestrel_writer_close(nullptr);
  EXPECT_EQ(Read(Archive()), "not a zip");
}

// Names are UTF-8 whatever the process-wide code page (936 here): every name is stored, as
// UTF-8 marked so, or in the legacy code page asked for when it holds the name.
TEST_F(ApiWriterTest, AnyUtf8NameIsStoredAndALegacyCodePageOnRequest) {
  const std::string cjk = "\xE4\xB8\xAD\xE6\x96\x87.txt", emoji = "smile-\xF0\x9F\x98\x80";
  for (int page : {0, 936}) {
    SCOPED_TRACE(page);
    kestrel_writer* w = Open(KESTREL_WRITE_OVERWRITE);
    ASSERT_EQ(kestrel_writer_set_code_page(w, page), KESTREL_OK);
    ASSERT_EQ(kestrel_writer_add_memory(w, emoji.c_str(), "x", 1), KESTREL_OK);
    ASSERT_EQ(kestrel_writer_add_memory(w, cjk.c_str(), "y", 1), KESTREL_OK);
    ASSERT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(w);
    kestrel_writer_close(w);
    // The UTF-8 flag of each entry and its name as stored, in hex.
    EXPECT_EQ(Shell("python3 -c \"import zipfile,sys\n"
                    "for i in zipfile.ZipFile(sys.argv[1], metadata_encoding='gbk').infolist():\n"
                    " print(i.flag_bits & 0x800, i.filename)\" '" + Archive().string() + "'"),
              "2048 " + emoji + "\n" + (page == 0 ? "2048 " : "0 ") + cjk + "\n");
  }
}

TEST_F(ApiWriterTest, UnreadableFilesAreListedAndNothingToDoWritesNothing) {
  kestrel_writer* w = Open(KESTREL_WRITE_CREATE);
  const char* include[] = {"*.none", nullptr};
  kestrel_add_options options{};
  options.recurse = 1;
  options.include = include;
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src").c_str(), &options), KESTREL_OK);
  EXPECT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_E_NOT_FOUND);
  EXPECT_FALSE(fs::exists(Archive()));

  // A file that vanishes before the commit reads it is passed over and named.
  options = kestrel_add_options{};
  options.base_dir = root_.c_str();
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src/a.txt").c_str(), &options), KESTREL_OK);
  ASSERT_EQ(kestrel_writer_add_path(w, (root_ / "src/sub/b.c").c_str(), &options), KESTREL_OK);
  fs::remove(root_ / "src/sub/b.c");
  ASSERT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(w);
  const char* path = nullptr;
  const char* reason = nullptr;
  ASSERT_EQ(kestrel_writer_skipped(w, 0, &path, &reason), KESTREL_OK);
  EXPECT_EQ(std::string(path) + ": " + reason, (root_ / "src/sub/b.c").string() + ": no such file");
  EXPECT_EQ(kestrel_writer_skipped(w, 1, &path, &reason), KESTREL_E_INVALID);
  kestrel_writer_close(w);
  EXPECT_EQ(Shell("unzip -Z1 '" + Archive().string() + "'"), "src/a.txt\n");
}

TEST_F(ApiWriterTest, TwoThreadsWriteTwoArchivesAtOnce) {
  auto pack = [this](const std::string& name, const std::string& data, int* result) {
    kestrel_writer* w = nullptr;
    *result = kestrel_writer_open((root_ / name).c_str(), KESTREL_WRITE_CREATE, &w);
    for (int i = 0; i < 20 && *result == KESTREL_OK; ++i) {
      *result = kestrel_writer_add_memory(w, ("f" + std::to_string(i)).c_str(), data.data(), data.size());
    }
    if (*result == KESTREL_OK) *result = kestrel_writer_commit(w, nullptr, nullptr);
    kestrel_writer_close(w);
  };
  int r1 = -100, r2 = -100;
  std::thread t1(pack, "one.zip", std::string(100000, '1'), &r1);
  std::thread t2(pack, "two.zip", std::string(100000, '2'), &r2);
  t1.join();
  t2.join();
  EXPECT_EQ(r1, KESTREL_OK);
  EXPECT_EQ(r2, KESTREL_OK);
  EXPECT_EQ(Shell("unzip -p '" + (root_ / "one.zip").string() + "' f19"), std::string(100000, '1'));
  EXPECT_EQ(Shell("unzip -p '" + (root_ / "two.zip").string() + "' f7"), std::string(100000, '2'));
}

}  // namespace
}  // namespace kestrel::testing
