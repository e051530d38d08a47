// api_reader_span_test.cpp — an archive the writer spanned across two emulated floppy disks,
// read back through the reading interface from its first or its last disk, the disks asked for
// through the disk callback; without the callback, with the wrong disk or a declined request,
// the reader says so. The disks go into each handle's own drive A:, whatever the host does
// with its drive A: meanwhile; the host's drive still serves handles without one.
#include <atomic>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "kestrel.h"
#include "tests/exports/unpack_fixture.h"

namespace kestrel::testing {
namespace {

// Disk n of the emulated drive A: is the folder root/n.
struct Disks {
  fs::path root;
  std::vector<int> asked;
  bool change = true;  // false: a request leaves the disk in the drive as it was
  bool decline = false;
  bool hostDrive = false;  // the host's drive A: instead of the handle's own
  std::function<int(const char*)> handleDrive;  // the handle's kestrel_*_set_floppy_dir

  bool Insert(int n) {
    const fs::path folder = root / std::to_string(n);
    fs::create_directories(folder);
    if (hostDrive) return kestrel_map_drive('A', folder.c_str(), 1) == 1;
    return handleDrive(folder.c_str()) == KESTREL_OK;
  }
  static int Ask(void* self, int n) {
    auto* disks = static_cast<Disks*>(self);
    disks->asked.push_back(n);
    if (disks->decline) return 1;
    return !disks->change || disks->Insert(n) ? 0 : 1;
  }
};

class SpannedReading : public ::testing::Test {
 protected:
  void SetUp() override {
    data.resize(1'700'000);
    std::mt19937 rng(7);
    for (char& c : data) c = char(rng());
    WriteBytes(scratch / "big.bin", data);
    disks.root = scratch / "disks";
    Write();
  }
  void TearDown() override { kestrel_unmap_drive('A'); }

  // Spans big.bin across disks 1 and 2.
  void Write() {
    fs::remove_all(disks.root);
    kestrel_writer* writer = nullptr;
    fs::create_directories(disks.root / "1");
    ASSERT_EQ(kestrel_writer_open((disks.root / "1" / "x.zip").c_str(), KESTREL_WRITE_OVERWRITE, &writer),
              KESTREL_OK);
    disks.handleDrive = [writer](const char* folder) { return kestrel_writer_set_floppy_dir(writer, folder); };
    ASSERT_TRUE(disks.Insert(1));
    kestrel_writer_set_level(writer, 0);
    kestrel_writer_set_span(writer, &Disks::Ask, &disks);
    kestrel_add_options add{};
    add.base_dir = scratch.root().c_str();
    ASSERT_EQ(kestrel_writer_add_path(writer, (scratch / "big.bin").c_str(), &add), KESTREL_OK);
    ASSERT_EQ(kestrel_writer_commit(writer, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(writer);
    kestrel_writer_close(writer);
    ASSERT_TRUE(fs::exists(disks.root / "2" / "x.zip"));
    EXPECT_EQ(disks.asked, std::vector<int>{2});
    disks.asked.clear();
  }

  // Opens x.zip on disk `start` with the callback (or without): the result, the message and,
  // when it opened, the data of its one entry.
  int Open(int start, bool callback, std::string& message, std::string& content) {
    kestrel_reader* reader = kestrel_reader_new();
    disks.handleDrive = [reader](const char* folder) { return kestrel_reader_set_floppy_dir(reader, folder); };
    disks.Insert(start);
    if (callback) kestrel_reader_set_disk_callback(reader, &Disks::Ask, &disks);
    const int result = kestrel_reader_open(reader, (disks.root / std::to_string(start) / "x.zip").c_str());
    message = kestrel_reader_error(reader);
    content.clear();
    if (result == KESTREL_OK) {
      kestrel_reader_extract_to_callback(reader, 0, [](void* out, const void* bytes, size_t n) {
        static_cast<std::string*>(out)->append(static_cast<const char*>(bytes), n);
        return 0;
      }, &content);
    }
    kestrel_reader_close(reader);
    return result;
  }

  ScratchFolder scratch{"span_read"};
  std::string data;
  Disks disks;
};

TEST_F(SpannedReading, FromTheFirstOrTheLastDisk) {
  std::string message, content;
  ASSERT_EQ(Open(1, true, message, content), KESTREL_OK) << message;
  EXPECT_EQ(disks.asked, std::vector<int>{2});
  EXPECT_TRUE(content == data);

  disks.asked.clear();
  ASSERT_EQ(Open(2, true, message, content), KESTREL_OK) << message;
  EXPECT_EQ(disks.asked, (std::vector<int>{1, 2}));
  EXPECT_TRUE(content == data);
}

TEST_F(SpannedReading, NoCallbackWrongDiskOrDeclined) {
  std::string message, content;
  const std::string last = (disks.root / "2" / "x.zip").string();
  EXPECT_EQ(Open(2, false, message, content), KESTREL_E_UNSUPPORTED);
  EXPECT_EQ(message, last + ": this is disk 2, the last, of an archive spanning 2 disks "
                            "(reading it needs a disk callback)");

  disks.change = false;  // disk 2 stays in the drive when disk 1 is asked for
  EXPECT_EQ(Open(2, true, message, content), KESTREL_E_FORMAT);
  EXPECT_EQ(message, last + ": the disk in the drive is disk 2, not disk 1");

  disks.change = true;
  disks.decline = true;
  EXPECT_EQ(Open(1, true, message, content), KESTREL_E_CANCELLED);
  EXPECT_EQ(message, (disks.root / "1" / "x.zip").string() + ": cancelled while asking for a disk");
  EXPECT_EQ(disks.asked.back(), 2);

  disks.decline = false;
  fs::remove(disks.root / "2" / "x.zip");  // disk 2 in the drive, but not its file
  EXPECT_EQ(Open(1, true, message, content), KESTREL_E_FORMAT);
  EXPECT_EQ(message, (disks.root / "1" / "x.zip").string() + ": disk 2: the archive's file cannot be read");
}

TEST_F(SpannedReading, HandlesKeepTheirDriveWhileTheHostRemapsItsOwn) {
  // Another thread moves the host's drive A: between a decoy folder and disk 2 all along: were
  // the handles to see it, disks would be written and read in the wrong folders.
  fs::create_directories(scratch / "decoy");
  std::atomic<bool> done{false};
  std::thread remapper([&] {
    for (int i = 0; !done; ++i) {
      kestrel_map_drive('A', (i % 2 != 0 ? scratch / "decoy" : disks.root / "2").c_str(), 1);
    }
  });
  Write();
  std::string message, content;
  const int fromFirst = Open(1, true, message, content);
  const bool firstWhole = content == data;
  const int fromLast = Open(2, true, message, content);
  done = true;
  remapper.join();
  EXPECT_EQ(fromFirst, KESTREL_OK);
  EXPECT_TRUE(firstWhole);
  EXPECT_EQ(fromLast, KESTREL_OK) << message;
  EXPECT_TRUE(content == data);
  EXPECT_TRUE(fs::is_empty(scratch / "decoy"));
}

TEST_F(SpannedReading, TheHostsDriveServesHandlesWithoutOne) {
  disks.hostDrive = true;
  Write();
  std::string message, content;
  ASSERT_EQ(Open(2, true, message, content), KESTREL_OK) << message;
  EXPECT_EQ(disks.asked, (std::vector<int>{1, 2}));
  EXPECT_TRUE(content == data);
}

}  // namespace
}  // namespace kestrel::testing
