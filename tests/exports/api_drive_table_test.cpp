// api_drive_table_test.cpp — the entry-level interface maps its native paths through a drive
// table of each call's own: a host mapping C:, A: (as a floppy) or another letter onto the
// archive's folder, before the calls or from another thread while they run, changes nothing
// for it; the documented functions keep the host's table.
#include <atomic>
#include <thread>

#include "exports/unpack_fixture.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

class ApiDriveTable : public ::testing::Test {
 protected:
  void TearDown() override {
    os::host::MapDrive('C', "/", false);
    os::host::UnmapDrive('A');
    os::host::UnmapDrive('R');
  }
  // Stores data as big.bin in w.zip through the writer and unpacks it into out through the
  // reader; the bytes must come back whole.
  static void RoundTrip(const ScratchFolder& dir, const std::string& data) {
    kestrel_writer* w = nullptr;
    ASSERT_EQ(kestrel_writer_open((dir / "w.zip").c_str(), KESTREL_WRITE_OVERWRITE, &w),
              KESTREL_OK)
        << kestrel_writer_error(nullptr);
    EXPECT_EQ(kestrel_writer_set_level(w, 0), KESTREL_OK);
    EXPECT_EQ(kestrel_writer_add_memory(w, "big.bin", data.data(), data.size()), KESTREL_OK);
    EXPECT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(w);
    kestrel_writer_close(w);
    kestrel_reader* r = kestrel_reader_new();
    EXPECT_EQ(kestrel_reader_open(r, (dir / "w.zip").c_str()), KESTREL_OK)
        << kestrel_reader_error(r);
    EXPECT_EQ(kestrel_reader_extract_all(r, (dir / "out").c_str(), nullptr), KESTREL_OK)
        << kestrel_reader_error(r);
    kestrel_reader_close(r);
    EXPECT_EQ(ReadBytes(dir / "out/big.bin"), data);
    fs::remove_all(dir / "out");
  }
};

TEST_F(ApiDriveTable, HostMappingsChangeNothingForTheInterface) {
  ScratchFolder dir("api_drives");
  const std::string elsewhere = (dir / "elsewhere").string();
  fs::create_directories(elsewhere);
  // Stored, 2 MiB: more than an emulated floppy holds, were the archive taken to lie on A:.
  std::string data(2 << 20, 'x');
  for (size_t i = 0; i < data.size(); i += 7) data[i] = char(i);
  ASSERT_EQ(kestrel_map_drive('A', dir.root().c_str(), 1), 1);
  ASSERT_EQ(kestrel_map_drive('C', elsewhere.c_str(), 0), 1);
  ASSERT_EQ(kestrel_map_drive('R', dir.root().c_str(), 0), 1);
  RoundTrip(dir, data);
  EXPECT_EQ(isZip("R:\\w.zip"), 1);  // the host's table, for the documented functions

  std::atomic<bool> done{false};
  std::thread remapper([&] {
    for (int i = 0; !done; ++i) {
      kestrel_map_drive('C', i % 2 != 0 ? "/" : elsewhere.c_str(), 0);
      kestrel_map_drive('A', i % 2 != 0 ? elsewhere.c_str() : dir.root().c_str(), 1);
    }
  });
  for (int round = 0; round < 3; ++round) RoundTrip(dir, data);
  done = true;
  remapper.join();
}

// A commit's worker threads read the files through the call's table too: with the host's C:
// holding decoys at the same paths, only the real files may reach the archive.
TEST_F(ApiDriveTable, WorkerThreadsReadThroughTheCallsTable) {
  ScratchFolder dir("api_drives_workers");
  const fs::path source = dir / "src";
  const fs::path decoys = dir / "elsewhere" / source.relative_path();
  fs::create_directories(decoys);
  for (int i = 0; i < 24; ++i) {
    const std::string name = "f" + std::to_string(i) + ".txt";
    WriteBytes(source / name, "real " + std::to_string(i));
    WriteBytes(decoys / name, "decoy");
  }
  ASSERT_EQ(kestrel_map_drive('C', (dir / "elsewhere").c_str(), 0), 1);
  kestrel_writer* w = nullptr;
  ASSERT_EQ(kestrel_writer_open((dir / "t.zip").c_str(), KESTREL_WRITE_OVERWRITE, &w), KESTREL_OK);
  EXPECT_EQ(kestrel_writer_set_threads(w, 4), KESTREL_OK);
  kestrel_add_options options{};
  options.recurse = 1;
  options.base_dir = dir.root().c_str();
  EXPECT_EQ(kestrel_writer_add_path(w, source.c_str(), &options), KESTREL_OK);
  EXPECT_EQ(kestrel_writer_commit(w, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(w);
  kestrel_writer_close(w);
  kestrel_reader* r = kestrel_reader_new();
  ASSERT_EQ(kestrel_reader_open(r, (dir / "t.zip").c_str()), KESTREL_OK);
  EXPECT_EQ(kestrel_reader_extract_all(r, (dir / "out").c_str(), nullptr), KESTREL_OK);
  kestrel_reader_close(r);
  for (int i = 0; i < 24; ++i)
    EXPECT_EQ(ReadBytes(dir / "out/src" / ("f" + std::to_string(i) + ".txt")),
              "real " + std::to_string(i));
}

}  // namespace
}  // namespace kestrel::testing
