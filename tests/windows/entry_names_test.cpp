// entry_names_test.cpp — on Windows an archive cannot make the unpacking walk write to a
// device: entries named CON, nul.txt, dir\AUX.c ... are refused like names that leave the
// destination, and the walk goes on with the next entry.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "exports/entry_path.h"
#include "exports/unpack_walk.h"
#include "reader/crc32.h"
#include "scratch_dir.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::ScratchDir;

struct Recorder : exports::WalkObserver {
  std::vector<std::pair<std::string, int>> results;
  bool AfterEntry(const reader::ZipDirEntry& entry, int result) override {
    results.emplace_back(entry.name, result);
    return true;
  }
};

void Put(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xFF);
}

// Stored entries, each holding "data of " and its name.
std::string StoredArchive(const std::vector<std::string>& names) {
  std::string out, directory;
  for (const std::string& name : names) {
    const std::string data = "data of " + name;
    const uint32_t crc = ~reader::UpdateCrc(
        0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    const uint32_t offset = uint32_t(out.size());
    Put(out, 0x04034B50u, 4);
    Put(out, 20, 2);
    Put(out, 0, 4);  // flags, method
    Put(out, 0x50B15200u, 4);
    Put(out, crc, 4);
    Put(out, uint32_t(data.size()), 4);
    Put(out, uint32_t(data.size()), 4);
    Put(out, uint32_t(name.size()), 2);
    Put(out, 0, 2);
    out += name + data;
    Put(directory, 0x02014B50u, 4);
    Put(directory, 20, 2);
    Put(directory, 20, 2);
    Put(directory, 0, 4);  // flags, method
    Put(directory, 0x50B15200u, 4);
    Put(directory, crc, 4);
    Put(directory, uint32_t(data.size()), 4);
    Put(directory, uint32_t(data.size()), 4);
    Put(directory, uint32_t(name.size()), 2);
    Put(directory, 0, 4);  // extra and comment lengths
    Put(directory, 0, 4);  // disk, internal attributes
    Put(directory, 0x20, 4);
    Put(directory, offset, 4);
    directory += name;
  }
  const uint32_t directoryOffset = uint32_t(out.size());
  out += directory;
  Put(out, 0x06054B50u, 4);
  Put(out, 0, 4);
  Put(out, uint32_t(names.size()), 2);
  Put(out, uint32_t(names.size()), 2);
  Put(out, uint32_t(directory.size()), 4);
  Put(out, directoryOffset, 4);
  Put(out, 0, 2);
  return out;
}

TEST(EntryNames, DeviceNamesAreRefusedAndTheWalkGoesOn) {
  const std::vector<std::string> devices = {"CON",     "nul.txt", "dir/AUX.c", "COM1",
                                            "LPT9.dat", "CONIN$",  "Prn. ",     "sub/com2/x"};
  std::vector<std::string> names = devices;
  names.push_back("ok.txt");
  ScratchDir dir;
  ASSERT_TRUE(ScratchDir::Write(dir / "a.zip", StoredArchive(names)));
  const std::string dest = dir / "out";

  Recorder recorder;
  const exports::WalkSummary summary =
      exports::UnpackArchive(dir / "a.zip", dest, exports::WalkMode::Extract, &recorder);
  EXPECT_EQ(summary.result, 1);
  ASSERT_EQ(recorder.results.size(), names.size());
  for (size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(recorder.results[i].second, exports::kEntryUnsafeName) << devices[i];
  }
  EXPECT_EQ(recorder.results.back().second, 0);
  EXPECT_EQ(wintest::ReadWholeFile(dest + "\\ok.txt"), "data of ok.txt");
  EXPECT_FALSE(wintest::Exists(dest + "\\dir"));  // refused before any directory is made
  EXPECT_FALSE(wintest::Exists(dest + "\\sub"));
}

TEST(EntryNames, OrdinaryNamesThatLookAlikeStayAllowed) {
  for (const char* name : {"CONFIG.SYS", "icon.png", "com10.txt", "auxiliary", "NULL"}) {
    EXPECT_FALSE(NameOpensDevice(name)) << name;
  }
  EXPECT_TRUE(NameOpensDevice("nul.txt"));
  EXPECT_TRUE(exports::IsSafeEntryName("auxiliary\\icon\\CONFIG.SYS"));
  EXPECT_FALSE(exports::IsSafeEntryName("dir\\AUX.c"));
}

}  // namespace
}  // namespace kestrel::os
