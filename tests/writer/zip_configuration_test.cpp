// The ".zfc" configuration file: its bytes are the central records and the end record, and a
// file that cannot be written is reported and never left half-written.
#include "writer/zip_configuration.h"

#include <gtest/gtest.h>

#include "archive/archive_fixtures.h"
#include "archive/sorted_zip.h"
#include "classlib/memory_stream.h"

namespace kestrel::writer {
namespace {

using namespace archive::fixtures;

class Configuration : public ::testing::Test {
 protected:
  void SetUp() override {
    entries_.SetSortMode(archive::ByNone);
    for (const char* name : {"a.txt", "b.bin"}) {
      auto h = std::make_unique<archive::TZipHeaderInfo>();
      h->SetFileName(name);
      h->uncompressedSize = 10;
      h->diskNumberStart = 1;
      entries_.Add(h.release());
    }
    entries_.Header(1)->SetComment("second");
    end_.thisDisk = end_.startDisk = 2;
    end_.totalEntries = end_.entriesOnDisk = 2;
    end_.SetComment("set comment");
    os::host::SetMessageHandler([this](const std::string&, const std::string& text, uint32_t) {
      messages_.push_back(text);
      return static_cast<int>(os::kIdOk);
    });
  }
  void TearDown() override { os::host::SetMessageHandler(nullptr); }
  ScratchDir dir_;
  archive::TSortedZip entries_{archive::dupAcceptObject};
  archive::TEndCentral end_;
  std::vector<std::string> messages_;
};

TEST_F(Configuration, HoldsTheCentralDirectoryAndTheEndRecord) {
  ASSERT_TRUE(SaveZipConfiguration(DrivePath(dir_ / "x.zfc"), entries_, end_));
  classlib::MemoryStream expected;
  entries_.Header(0)->WriteCentral(expected);
  entries_.Header(1)->WriteCentral(expected);
  end_.Write(expected);
  EXPECT_EQ(ReadAll(dir_ / "x.zfc"), expected.Bytes());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(Configuration, AFileThatCannotBeCreatedIsReported) {
  EXPECT_FALSE(SaveZipConfiguration(DrivePath(dir_ / "missing" / "x.zfc"), entries_, end_));
  EXPECT_EQ(messages_, std::vector<std::string>{"Unable to create Zip Configuration File to disk"});
}

TEST_F(Configuration, AFullDiskLeavesNoPartialFile) {
  ScratchDir floppy;
  ASSERT_TRUE(os::host::MapDrive('A', floppy.path().string(), true));
  // Fill the disk but for a few bytes: the records cannot all go on it.
  WriteAll(floppy / "full.bin", std::vector<uint8_t>(os::host::kFloppyCapacity - 512, 0));
  std::string big(4000, 'c');
  entries_.Header(0)->SetComment(big.c_str());
  EXPECT_FALSE(SaveZipConfiguration("A:\\x.zfc", entries_, end_));
  os::host::UnmapDrive('A');
  EXPECT_EQ(messages_, std::vector<std::string>{"Unable to save Zip Configuration File to disk"});
  EXPECT_FALSE(fs::exists(floppy / "x.zfc"));
  fs::remove(floppy.path().string() + ".label");
}

}  // namespace
}  // namespace kestrel::writer
