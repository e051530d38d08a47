// kestrel_writer_set_threads: a commit on worker threads writes the one-thread archive, calls
// back on the calling thread only, and a cancel from the progress callback during it keeps the
// old archive and leaves nothing behind; counts outside 0-256 are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kestrel.h"

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

class ApiWriterThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kestrel-apiwt-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    std::mt19937 rng(9);
    for (int i = 0; i < 24; ++i) {
      fs::create_directories(root_ / "src" / std::to_string(i % 3));
      std::string bytes(size_t(i) * 20000, '\0');
      for (size_t j = 0; j < bytes.size(); ++j) bytes[j] = j % 3 ? char('a' + j % 11) : char(rng());
      std::ofstream(root_ / "src" / std::to_string(i % 3) / ("f" + std::to_string(i)),
                    std::ios::binary) << bytes;
    }
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // What the callbacks saw, and whether all of them ran on the calling thread.
  struct Seen {
    std::vector<std::string> entries;
    bool callerOnly = true;
    bool cancelAt50 = false;
    std::thread::id caller = std::this_thread::get_id();
  };
  // Packs the folder source into name on the given threads; the commit's result.
  int Pack(const std::string& name, int threads, Seen& seen, const std::string& source = "src") {
    kestrel_writer* w = nullptr;
    EXPECT_EQ(kestrel_writer_open((root_ / name).c_str(), KESTREL_WRITE_UPDATE, &w), KESTREL_OK);
    EXPECT_EQ(kestrel_writer_set_threads(w, threads), KESTREL_OK);
    kestrel_add_options options{};
    options.recurse = 1;
    options.base_dir = root_.c_str();
    EXPECT_EQ(kestrel_writer_add_path(w, (root_ / source).c_str(), &options), KESTREL_OK);
    kestrel_writer_set_entry_callback(w, [](void* c, const kestrel_entry_done* e) {
      auto* s = static_cast<Seen*>(c);
      s->callerOnly &= std::this_thread::get_id() == s->caller;
      s->entries.push_back(std::string(e->name) + " " + std::to_string(e->compressed_size));
    }, &seen);
    const int result = kestrel_writer_commit(w, [](void* c, const char*, uint64_t done, uint64_t total) {
      auto* s = static_cast<Seen*>(c);
      s->callerOnly &= std::this_thread::get_id() == s->caller;
      return s->cancelAt50 && done * 2 >= total ? 1 : 0;
    }, &seen);
    kestrel_writer_close(w);
    return result;
  }
  fs::path root_;
};

TEST_F(ApiWriterThreadsTest, WorkerThreadsWriteTheOneThreadArchive) {
  Seen one, many;
  ASSERT_EQ(Pack("one.zip", 1, one), KESTREL_OK);
  ASSERT_EQ(Pack("many.zip", 0, many), KESTREL_OK);  // one per core
  Seen eight;
  ASSERT_EQ(Pack("eight.zip", 8, eight), KESTREL_OK);
  EXPECT_TRUE(Read(root_ / "many.zip") == Read(root_ / "one.zip"));
  EXPECT_TRUE(Read(root_ / "eight.zip") == Read(root_ / "one.zip"));
  EXPECT_EQ(many.entries, one.entries);
  EXPECT_EQ(eight.entries, one.entries);
  EXPECT_EQ(one.entries.size(), 28u);  // src/, three folders, 24 files
  EXPECT_TRUE(many.callerOnly && eight.callerOnly);
}

TEST_F(ApiWriterThreadsTest, ACancelFromTheProgressCallbackKeepsTheOldArchiveAndLeavesNothing) {
  fs::create_directories(root_ / "out");
  fs::create_directories(root_ / "other");
  std::ofstream(root_ / "other" / "first", std::ios::binary) << "first\n";
  Seen first;
  ASSERT_EQ(Pack("out/a.zip", 1, first, "other"), KESTREL_OK);
  const std::string old = Read(root_ / "out" / "a.zip");
  // The update adds the whole tree, on the workers, and is cancelled half-way.
  Seen cancelled;
  cancelled.cancelAt50 = true;
  EXPECT_EQ(Pack("out/a.zip", 4, cancelled), KESTREL_E_CANCELLED);
  EXPECT_TRUE(Read(root_ / "out" / "a.zip") == old);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "out"), fs::directory_iterator()), 1);
}

TEST_F(ApiWriterThreadsTest, ACountOutsideZeroTo256IsRefused) {
  kestrel_writer* w = nullptr;
  ASSERT_EQ(kestrel_writer_open((root_ / "x.zip").c_str(), KESTREL_WRITE_CREATE, &w), KESTREL_OK);
  EXPECT_EQ(kestrel_writer_set_threads(w, -1), KESTREL_E_INVALID);
  EXPECT_STREQ(kestrel_writer_error(w), "-1 threads: give 0 to 256");
  EXPECT_EQ(kestrel_writer_set_threads(w, 257), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_writer_set_threads(w, 256), KESTREL_OK);
  EXPECT_STREQ(kestrel_writer_error(w), "");
  kestrel_writer_close(w);
  EXPECT_EQ(kestrel_writer_set_threads(nullptr, 2), KESTREL_E_INVALID);
}

}  // namespace
}  // namespace kestrel::testing
