// api_reader_span_test.cpp — an archive the writer spanned across two emulated floppy disks,
// read back through the reading interface from its first or its last disk, the disks asked for
// through the disk callback; without the callback, with the wrong disk or a declined request,
// the reader says so.
#include <random>
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

  bool Insert(int n) {
    fs::create_directories(root / std::to_string(n));
    return kestrel_map_drive('A', (root / std::to_string(n)).c_str(), 1) == 1;
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
    ASSERT_TRUE(disks.Insert(1));
    kestrel_writer* writer = nullptr;
    ASSERT_EQ(kestrel_writer_open((disks.root / "1" / "x.zip").c_str(), KESTREL_WRITE_OVERWRITE, &writer),
              KESTREL_OK);
    kestrel_writer_set_level(writer, 0);
    kestrel_writer_set_span(writer, &Disks::Ask, &disks);
    kestrel_add_options add{};
    add.base_dir = scratch.root().c_str();
    ASSERT_EQ(kestrel_writer_add_path(writer, (scratch / "big.bin").c_str(), &add), KESTREL_OK);
    ASSERT_EQ(kestrel_writer_commit(writer, nullptr, nullptr), KESTREL_OK) << kestrel_writer_error(writer);
    kestrel_writer_close(writer);
    ASSERT_TRUE(fs::exists(disks.root / "2" / "x.zip"));
    disks.asked.clear();
  }
  void TearDown() override { kestrel_unmap_drive('A'); }

  // Opens x.zip on disk `start` with the callback (or without): the result, the message and,
  // when it opened, the data of its one entry.
  int Open(int start, bool callback, std::string& message, std::string& content) {
    disks.Insert(start);
    kestrel_reader* reader = kestrel_reader_new();
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

}  // namespace
}  // namespace kestrel::testing
