// api_reader_parallel_test.cpp — extract_all on worker threads through the interface: a cancel
// leaves exactly the files reported as written, UnZipFile on another thread runs beside it,
// and the thread setting is checked. Kept apart so a ThreadSanitizer build can run it.
#include <set>
#include <thread>

#include "exports/unpack_fixture.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

std::vector<PyEntry> ManyEntries() {
  std::vector<PyEntry> entries;
  for (int i = 0; i < 400; ++i) {
    entries.push_back({"d" + std::to_string(i % 9) + "/f" + std::to_string(i),
                       std::string(size_t(3000 + i * 37), char('a' + i % 26)), i % 4 != 0});
  }
  return entries;
}

struct Reader {
  explicit Reader(const fs::path& archive, int threads) {
    EXPECT_EQ(kestrel_reader_open(handle, archive.c_str()), KESTREL_OK);
    EXPECT_EQ(kestrel_reader_set_threads(handle, threads), KESTREL_OK);
  }
  ~Reader() { kestrel_reader_close(handle); }
  kestrel_reader* handle = kestrel_reader_new();
};

struct Watch {
  std::set<std::string> written;  // native paths the entry callback named
  int calls = 0;
};

int CancelAtAThird(void* context, const char*, uint64_t done, uint64_t total) {
  ++static_cast<Watch*>(context)->calls;
  return done * 3 > total ? 1 : 0;
}

void NoteWritten(void* context, const kestrel_entry*, int, const char*, const char* path) {
  if (*path != '\0') static_cast<Watch*>(context)->written.insert(path);
}

TEST(ApiReaderParallel, CancelLeavesExactlyTheFilesReported) {
  ScratchFolder dir("api_parallel");
  const std::vector<PyEntry> entries = ManyEntries();
  WritePyZip(dir / "a.zip", entries);
  Reader reader(dir / "a.zip", 4);
  Watch watch;
  kestrel_reader_set_progress(reader.handle, &CancelAtAThird, &watch);
  kestrel_extract_options options{};
  options.entry_done = &NoteWritten;
  options.entry_context = &watch;
  EXPECT_EQ(kestrel_reader_extract_all(reader.handle, (dir / "out").c_str(), &options),
            KESTREL_E_CANCELLED);
  EXPECT_NE(std::string(kestrel_reader_error(reader.handle)).find("cancelled at d"),
            std::string::npos);
  std::set<std::string> onDisk;
  for (const auto& file : fs::recursive_directory_iterator(dir / "out")) {
    if (file.is_regular_file()) onDisk.insert(file.path().string());
  }
  EXPECT_EQ(onDisk, watch.written);
  EXPECT_LT(watch.written.size(), entries.size());
  for (const PyEntry& e : entries) {
    const fs::path path = dir / "out" / e.name;
    if (fs::exists(path)) {
      EXPECT_TRUE(ReadBytes(path) == e.data) << e.name;
    }
  }
}

// The extraction driver keeps its state per thread: UnZipFile on another thread unpacks its
// archives whole while a parallel extract_all runs, and neither disturbs the other.
TEST(ApiReaderParallel, UnZipFileOnAnotherThreadRunsBesideIt) {
  ScratchFolder dir("api_parallel_beside");
  const std::vector<PyEntry> entries = ManyEntries();
  WritePyZip(dir / "a.zip", entries);
  WritePyZip(dir / "small.zip", {{"s/one.txt", "one"}, {"s/two.txt", std::string(9000, '2')}});
  Reader reader(dir / "a.zip", 4);
  std::thread other([&dir] {
    for (int i = 0; i < 20; ++i) {
      const fs::path dest = dir / ("other" + std::to_string(i));
      EXPECT_EQ(UnZipFile(DriveOf(dir / "small.zip").c_str(), DriveOf(dest).c_str(), ""), 1);
      EXPECT_EQ(ReadBytes(dest / "s" / "two.txt"), std::string(9000, '2'));
    }
  });
  kestrel_extract_options options{};
  EXPECT_EQ(kestrel_reader_extract_all(reader.handle, (dir / "out").c_str(), &options), KESTREL_OK);
  other.join();
  for (const PyEntry& e : entries) EXPECT_TRUE(ReadBytes(dir / "out" / e.name) == e.data) << e.name;
}

TEST(ApiReaderParallel, ThreadCountOutsideItsRangeIsRefused) {
  kestrel_reader* reader = kestrel_reader_new();
  EXPECT_EQ(kestrel_reader_set_threads(reader, -1), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_reader_set_threads(reader, 257), KESTREL_E_INVALID);
  EXPECT_EQ(kestrel_reader_set_threads(reader, 0), KESTREL_OK);
  EXPECT_EQ(kestrel_reader_set_threads(nullptr, 2), KESTREL_E_INVALID);
  kestrel_reader_close(reader);
}

}  // namespace
}  // namespace kestrel::testing
