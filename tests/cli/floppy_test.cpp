// The --floppy drive of the kestrel command: numbered disk folders filled by a split and read
// back by a join, and a join that cannot find its disk ending instead of asking forever. The
// drive is bound here to the host's drive A:, which the whole-archive volume set code reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "cli/floppy.h"
#include "exports/volume_set.h"
#include "platform/platform.h"

namespace kestrel::cli {
namespace {

namespace fs = std::filesystem;

class FloppyOption : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kestrel_floppy_cli_" + std::to_string(std::random_device{}()));
    fs::create_directories(root_ / "disks");
    fs::create_directories(root_ / "out");
    data_.resize(3 * 1024 * 1024);
    std::mt19937 rng(5);
    for (auto& c : data_) c = static_cast<char>(rng());
    std::ofstream(root_ / "a.zip", std::ios::binary).write(data_.data(), static_cast<std::streamsize>(data_.size()));
    null_ = std::fopen("/dev/null", "w");
  }
  void TearDown() override {
    os::host::UnmapDrive('A');
    std::fclose(null_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string Drive(const fs::path& p) {
    std::string d;
    EXPECT_TRUE(os::host::DrivePath(p.string(), d));
    return d;
  }
  // Attaches drive and makes its disks the host's drive A:.
  static bool Attach(FloppyDrive& drive, std::string& error) {
    return drive.Attach(error) &&
           drive.Bind([](const std::string& folder) { return os::host::MapDrive('A', folder, true); });
  }
  static int Yes(const std::string&, const std::string&, uint32_t flags) {
    return (flags & 0x0F) == os::kMbYesNo ? int{os::kIdYes} : int{os::kIdOk};
  }
  fs::path root_;
  std::string data_;
  FILE* null_ = nullptr;
};

TEST_F(FloppyOption, SplitFillsNumberedFoldersAndJoinReadsThemBack) {
  {
    FloppyDrive drive((root_ / "disks").string(), Yes, null_);
    std::string error;
    ASSERT_TRUE(Attach(drive, error)) << error;
    EXPECT_TRUE(drive.numbered());
    ASSERT_GE(exports::SplitToVolumes(Drive(root_ / "a.zip"), "A:\\a.zip", 1400), 0);
  }
  EXPECT_TRUE(fs::exists(root_ / "disks" / "1" / "a.m01"));
  EXPECT_TRUE(fs::exists(root_ / "disks" / "2" / "a.m02"));
  EXPECT_TRUE(fs::exists(root_ / "disks" / "3" / "a.m03"));
  {
    FloppyDrive drive((root_ / "disks").string(), Yes, null_);
    std::string error;
    ASSERT_TRUE(Attach(drive, error)) << error;
    std::string stored;
    ASSERT_EQ(exports::JoinVolumes("A:\\a.m01", Drive(root_ / "out"), stored), 1);
    EXPECT_EQ(drive.disk(), 3);
  }
  std::ifstream in(root_ / "out" / "a.zip", std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == data_);
}

TEST_F(FloppyOption, JoinWithAMissingDiskEnds) {
  FloppyDrive split((root_ / "disks").string(), Yes, null_);
  std::string error;
  ASSERT_TRUE(Attach(split, error));
  ASSERT_GE(exports::SplitToVolumes(Drive(root_ / "a.zip"), "A:\\a.zip", 1400), 0);
  fs::remove_all(root_ / "disks" / "2");
  FloppyDrive drive((root_ / "disks").string(), Yes, null_);
  ASSERT_TRUE(Attach(drive, error));
  std::string stored;
  EXPECT_EQ(exports::JoinVolumes("A:\\a.m01", Drive(root_ / "out"), stored), 0);
  EXPECT_TRUE(fs::is_empty(root_ / "out"));
}

TEST_F(FloppyOption, OptionIsTakenFromTheArguments) {
  std::vector<std::string> args = {"x.zip", "--floppy", "/mnt/f", "out"};
  std::string dir, error;
  EXPECT_TRUE(TakeFloppyOption(args, dir, error));
  EXPECT_EQ(dir, "/mnt/f");
  EXPECT_EQ(args, (std::vector<std::string>{"x.zip", "out"}));
  args = {"--floppy"};
  EXPECT_FALSE(TakeFloppyOption(args, dir, error));
  FloppyDrive missing((root_ / "nope").string(), nullptr, null_);
  EXPECT_FALSE(missing.Attach(error));
}

}  // namespace
}  // namespace kestrel::cli
