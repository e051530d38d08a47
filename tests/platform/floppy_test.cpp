// floppy_test.cpp — the emulated removable A: drive: type, capacity, free space in whole
// clusters, disk-full writes, labels beside the directory and disk swaps by the host.
#include <filesystem>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

class Floppy : public ScratchDrive {
 protected:
  void SetUp() override {
    ScratchDrive::SetUp();
    std::filesystem::create_directories(H("disk1"));
    std::filesystem::create_directories(H("disk2"));
    ASSERT_TRUE(host::MapDrive('A', H("disk1"), true));
  }
  uint64_t Free() {
    uint64_t free = 0, total = 0;
    EXPECT_TRUE(GetDiskFreeSpace("A:\\", free, total));
    EXPECT_EQ(total, host::kFloppyCapacity);
    return free;
  }
  // Writes count bytes to a new file on A:, returning how many went out.
  uint32_t WriteNew(const std::string& name, uint32_t count, bool& ok) {
    FileHandle f = OpenFile("A:\\" + name, Access::Write, Disposition::CreateAlways);
    EXPECT_NE(f, kInvalidFile);
    std::string bytes(count, 'z');
    uint32_t done = 0;
    ok = WriteFile(f, bytes.data(), count, done);
    uint32_t error = LastError();
    CloseFile(f);
    SetLastError(error);
    return done;
  }
};

TEST_F(Floppy, TypeAndCapacity) {
  EXPECT_EQ(GetDriveType("A:\\"), kDriveRemovable);
  EXPECT_EQ(GetDriveType("a:"), kDriveRemovable);
  EXPECT_EQ(GetDriveType("T:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveType("Q:\\"), kDriveNoRootDir);
  EXPECT_EQ(Free(), 1474560u);
  uint64_t free = 0, total = 0;
  EXPECT_TRUE(GetDiskFreeSpace("C:\\", free, total));
  EXPECT_GT(total, 0u);
  EXPECT_FALSE(GetDiskFreeSpace("Q:\\", free, total));
}

TEST_F(Floppy, FreeSpaceCountsWholeClusters) {
  bool ok = false;
  EXPECT_EQ(WriteNew("a.bin", 1, ok), 1u);
  EXPECT_EQ(Free(), 1474560u - 512);
  EXPECT_EQ(WriteNew("b.bin", 513, ok), 513u);
  EXPECT_EQ(Free(), 1474560u - 512 - 1024);
  ASSERT_TRUE(CreateDirectory("A:\\sub"));
  EXPECT_EQ(Free(), 1474560u - 512 - 1024 - 512);
  EXPECT_EQ(WriteNew("c.bin", 0, ok), 0u);  // an empty file takes no cluster
  EXPECT_EQ(Free(), 1474560u - 2048);
}

TEST_F(Floppy, WritesStopAtTheFreeSpaceWithDiskFull) {
  bool ok = false;
  EXPECT_EQ(WriteNew("big.bin", 1000000, ok), 1000000u);
  EXPECT_TRUE(ok);
  uint64_t free = Free();
  EXPECT_EQ(free, 1474560u - 1000448u);
  EXPECT_EQ(WriteNew("more.bin", 500000, ok), free);
  EXPECT_FALSE(ok);
  EXPECT_EQ(LastError(), kErrorDiskFull);
  EXPECT_EQ(Free(), 0u);
  EXPECT_EQ(std::filesystem::file_size(H("disk1/more.bin")), free);
  // Rewriting a file in place may reuse its own clusters.
  FileHandle f = OpenFile("A:\\big.bin", Access::Write, Disposition::OpenExisting);
  ASSERT_NE(f, kInvalidFile);
  std::string bytes(1000448, 'y');
  uint32_t done = 0;
  EXPECT_TRUE(WriteFile(f, bytes.data(), static_cast<uint32_t>(bytes.size()), done));
  EXPECT_FALSE(WriteFile(f, "x", 1, done));
  EXPECT_EQ(done, 0u);
  CloseFile(f);
}

TEST_F(Floppy, FilesMovedOrCopiedOntoTheDiskAreCounted) {
  Write("large", std::string(1500000, 'l'));
  EXPECT_FALSE(MoveFile(D("large"), "A:\\large"));
  EXPECT_EQ(LastError(), kErrorDiskFull);
  EXPECT_TRUE(std::filesystem::exists(H("large")));  // the source survives
  EXPECT_FALSE(std::filesystem::exists(H("disk1/large")));  // no partial copy
  EXPECT_FALSE(CopyFile(D("large"), "A:\\large", false));
  EXPECT_EQ(Free(), 1474560u);
  Write("small", "s");
  EXPECT_TRUE(MoveFile(D("small"), "A:\\small"));
  EXPECT_EQ(Free(), 1474560u - 512);
}

TEST_F(Floppy, LabelsLiveBesideTheDirectory) {
  std::string label;
  uint32_t serial1 = 0, serial2 = 0;
  ASSERT_TRUE(GetVolumeLabel("A:\\", label, &serial1));
  EXPECT_EQ(label, "");
  ASSERT_TRUE(SetVolumeLabel("A:\\", "pkback# 001"));
  ASSERT_TRUE(GetVolumeLabel("A:\\", label));
  EXPECT_EQ(label, "PKBACK# 001");
  EXPECT_EQ(Read("disk1.label"), "PKBACK# 001");
  EXPECT_FALSE(SetVolumeLabel("A:\\", "TWELVE CHARS"));
  EXPECT_EQ(LastError(), kErrorLabelTooLong);
  EXPECT_FALSE(SetVolumeLabel("A:\\", "A*B"));
  EXPECT_EQ(LastError(), kErrorInvalidName);
  // Swapping the disk: the host remaps A: to another directory.
  ASSERT_TRUE(host::MapDrive('A', H("disk2"), true));
  ASSERT_TRUE(GetVolumeLabel("A:\\", label, &serial2));
  EXPECT_EQ(label, "");
  EXPECT_NE(serial1, serial2);
  ASSERT_TRUE(SetVolumeLabel("A:\\", ""));
  EXPECT_FALSE(SetVolumeLabel("C:\\", "ROOT"));
}

TEST_F(Floppy, MissingDiskIsNotReady) {
  std::filesystem::remove(H("disk1"));
  uint64_t free = 0, total = 0;
  EXPECT_FALSE(GetDiskFreeSpace("A:\\", free, total));
  EXPECT_EQ(LastError(), kErrorNotReady);
  std::string label;
  EXPECT_FALSE(GetVolumeLabel("A:\\", label));
  EXPECT_EQ(LastError(), kErrorNotReady);
  EXPECT_EQ(GetDriveType("A:\\"), kDriveRemovable);
}

}  // namespace
}  // namespace kestrel::test
