// api_reader_threads_test.cpp — two readers on two threads unpack two different archives at
// the same time (each with its own progress callback) and both trees come out exact. Kept in
// a file of its own so a ThreadSanitizer build can run just this.
#include <thread>

#include "exports/unpack_fixture.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

std::vector<PyEntry> Entries(char seed) {
  std::vector<PyEntry> entries;
  std::mt19937 random(seed);
  for (int i = 0; i < 12; ++i) {
    std::string data(size_t(20000 + random() % 200000), seed);
    for (char& c : data) c = char(random() % 4 == 0 ? random() : c);
    entries.push_back({std::string(1, seed) + "/f" + std::to_string(i), data, i % 3 != 0});
  }
  return entries;
}

int CountProgress(void* context, const char*, uint64_t, uint64_t) {
  ++*static_cast<int*>(context);
  return 0;
}

TEST(ApiReaderThreads, TwoArchivesUnpackAtOnce) {
  ScratchFolder dir("api_threads");
  const std::vector<PyEntry> first = Entries('a'), second = Entries('b');
  WritePyZip(dir / "a.zip", first);
  WritePyZip(dir / "b.zip", second);
  const auto unpack = [&](const char* archive, const char* out, int* result, int* progress) {
    for (int round = 0; round < 3 && *result == KESTREL_OK; ++round) {
      kestrel_reader* reader = kestrel_reader_new();
      kestrel_reader_set_progress(reader, &CountProgress, progress);
      *result = kestrel_reader_open(reader, (dir / archive).c_str());
      kestrel_extract_options options{};
      options.overwrite = KESTREL_OVERWRITE_ALWAYS;
      if (*result == KESTREL_OK) *result = kestrel_reader_extract_all(reader, (dir / out).c_str(), &options);
      if (*result != KESTREL_OK) ADD_FAILURE() << kestrel_reader_error(reader);
      kestrel_reader_close(reader);
    }
  };
  int resultA = KESTREL_OK, resultB = KESTREL_OK, progressA = 0, progressB = 0;
  std::thread a(unpack, "a.zip", "outA", &resultA, &progressA);
  std::thread b(unpack, "b.zip", "outB", &resultB, &progressB);
  a.join();
  b.join();
  EXPECT_EQ(resultA, KESTREL_OK);
  EXPECT_EQ(resultB, KESTREL_OK);
  EXPECT_GT(progressA, 36);
  EXPECT_GT(progressB, 36);
  for (const auto& [entries, out] : {std::pair{&first, "outA"}, std::pair{&second, "outB"}}) {
    for (const PyEntry& e : *entries) EXPECT_TRUE(ReadBytes(dir / out / e.name) == e.data) << e.name;
  }
}

}  // namespace
}  // namespace kestrel::testing
