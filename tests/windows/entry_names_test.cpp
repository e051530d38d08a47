// entry_names_test.cpp — on Windows an archive cannot make the unpacking walk write to a
// device: entries named CON, nul.txt, dir\AUX.c ... are refused like names that leave the
// destination, and the walk goes on with the next entry. Names the ANSI code page cannot hold
// are created and packed under their own names; under code page 1252 a folder "café" makes the
// round trip.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "exports/entry_path.h"
#include "exports/unpack_walk.h"
#include "exports/zip_file.h"
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

// Stored entries, each holding "data of " and its name, with general-purpose flags.
std::string StoredArchive(const std::vector<std::string>& names, uint16_t flags = 0) {
  std::string out, directory;
  for (const std::string& name : names) {
    const std::string data = "data of " + name;
    const uint32_t crc = ~reader::UpdateCrc(
        0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    const uint32_t offset = uint32_t(out.size());
    Put(out, 0x04034B50u, 4);
    Put(out, 20, 2);
    Put(out, flags, 2);
    Put(out, 0, 2);  // method
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
    Put(directory, flags, 2);
    Put(directory, 0, 2);  // method
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

TEST(EntryNames, NamesMarkedUtf8UnpackWithTheirOwnNamesUnderCodePage936) {
  if (::GetACP() != 936) GTEST_SKIP() << "runs under code page 936";
  // 中文.txt and 😀\مرحبا.txt in UTF-8 with bit 11: the first goes through GBK as before, the
  // second has no GBK form and is created through the wide calls.
  const std::vector<std::string> names = {
      "\xE4\xB8\xAD\xE6\x96\x87.txt",
      "\xF0\x9F\x98\x80/\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7.txt"};
  ScratchDir dir;
  ASSERT_TRUE(ScratchDir::Write(dir / "u.zip", StoredArchive(names, 0x0800)));
  Recorder recorder;
  exports::UnpackArchive(dir / "u.zip", dir / "out", exports::WalkMode::Extract, &recorder);
  ASSERT_EQ(recorder.results.size(), 2u);
  EXPECT_EQ(recorder.results[0], std::make_pair(std::string("\xD6\xD0\xCE\xC4.txt"), 0));
  EXPECT_EQ(recorder.results[1].second, 0);
  EXPECT_EQ(wintest::ReadWholeFile(dir / "out\\\xD6\xD0\xCE\xC4.txt"), "data of " + names[0]);
  EXPECT_EQ(wintest::ReadWholeFile(wintest::Widen(dir / "out\\") +
                                   L"\U0001F600\\\u0645\u0631\u062D\u0628\u0627.txt"),
            "data of " + names[1]);
  EXPECT_FALSE(wintest::Exists(dir / "out\\?"));
}

// A tree whose names GBK cannot hold packs completely: those names are stored as UTF-8 with
// bit 11, the others in GBK as before, and everything comes back under its own name.
TEST(EntryNames, NamesWithoutAnAnsiFormArePackedAsUtf8UnderCodePage936) {
  if (::GetACP() != 936) GTEST_SKIP() << "runs under code page 936";
  ScratchDir dir;
  const std::wstring src = wintest::Widen(dir / "src\\");
  ASSERT_TRUE(::CreateDirectoryW(src.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW((src + L"\U0001F600").c_str(), nullptr));
  ASSERT_TRUE(wintest::WriteWholeFile(src + L"\U0001F600\\\u0645\u0631.txt", "arabic"));
  ASSERT_TRUE(wintest::WriteWholeFile(src + L"na\u00EFve.txt", "latin"));
  ASSERT_TRUE(wintest::WriteWholeFile(src + L"\u4E2D\u6587.txt", "cjk"));
  const exports::ZipFileOutcome packed = exports::PackSource(dir / "src", dir / "a.zip", 6, true);
  ASSERT_EQ(packed.result, 3) << packed.failure;
  const std::string archive = wintest::ReadWholeFile(dir / "a.zip");
  EXPECT_NE(archive.find("\xF0\x9F\x98\x80/\xD9\x85\xD8\xB1.txt"), std::string::npos);
  EXPECT_NE(archive.find("na\xC3\xAFve.txt"), std::string::npos);
  EXPECT_NE(archive.find("\xD6\xD0\xCE\xC4.txt"), std::string::npos);  // GBK, as before
  Recorder recorder;
  exports::UnpackArchive(dir / "a.zip", dir / "out", exports::WalkMode::Extract, &recorder);
  ASSERT_EQ(recorder.results.size(), 3u);
  for (const auto& [name, result] : recorder.results) EXPECT_EQ(result, 0) << name;
  const std::wstring out = wintest::Widen(dir / "out\\");
  EXPECT_EQ(wintest::ReadWholeFile(out + L"\U0001F600\\\u0645\u0631.txt"), "arabic");
  EXPECT_EQ(wintest::ReadWholeFile(out + L"na\u00EFve.txt"), "latin");
  EXPECT_EQ(wintest::ReadWholeFile(out + L"\u4E2D\u6587.txt"), "cjk");
}

TEST(EntryNames, FolderWithAnAccentMakesTheRoundTripUnderCodePage1252) {
  if (::GetACP() != 1252) GTEST_SKIP() << "runs under code page 1252";
  ScratchDir dir;
  const std::string cafe = "caf\xE9";  // café in code page 1252
  ASSERT_TRUE(::CreateDirectoryA((dir / "src").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA((dir / "src\\" + cafe).c_str(), nullptr));
  ASSERT_TRUE(ScratchDir::Write(dir / "src\\" + cafe + "\\\xE9t\xE9.txt", "summer"));
  const exports::ZipFileOutcome packed = exports::PackSource(dir / "src", dir / "a.zip", 6, true);
  ASSERT_EQ(packed.result, 1) << packed.failure;
  // Stored as UTF-8 with bit 11, which every current tool reads.
  const std::string archive = wintest::ReadWholeFile(dir / "a.zip");
  EXPECT_NE(archive.find("caf\xC3\xA9/\xC3\xA9t\xC3\xA9.txt"), std::string::npos);
  EXPECT_EQ(archive.find(cafe), std::string::npos);
  Recorder recorder;
  exports::UnpackArchive(dir / "a.zip", dir / "out", exports::WalkMode::Extract, &recorder);
  for (const auto& [name, result] : recorder.results) EXPECT_EQ(result, 0) << name;
  EXPECT_EQ(wintest::ReadWholeFile(dir / "out\\" + cafe + "\\\xE9t\xE9.txt"), "summer");
}

}  // namespace
}  // namespace kestrel::os
