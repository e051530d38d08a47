// system_test.cpp — temporary names, the module's own file name and version resource,
// drives, and the code pages, on a Chinese Windows (ANSI and OEM code page 936).
#include <gtest/gtest.h>

#include <cstring>

#include "scratch_dir.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::ScratchDir;

TEST(TempNames, TempPathAndGeneratedNames) {
  const std::string temp = TempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_NE(GetFileAttributes(temp) & kAttrDirectory, 0u);

  ScratchDir dir;
  // With a number the name is only built: prefix cut to three letters, number in hex.
  // (The case of the hex digits differs between systems.)
  const std::string built = TempFileName(dir.path(), "QZTX", 0xBEEF);
  EXPECT_EQ(_stricmp(built.c_str(), (dir.path() + "QZTBEEF.tmp").c_str()), 0) << built;
  EXPECT_EQ(GetFileAttributes(dir / "QZTBEEF.tmp"), kInvalidAttributes);
  // With 0 a new name is claimed by creating the file, so two calls never collide.
  const std::string a = TempFileName(dir.path(), "QZT", 0);
  const std::string b = TempFileName(dir.path(), "QZT", 0);
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_NE(GetFileAttributes(a), kInvalidAttributes);
  EXPECT_TRUE(TempFileName(dir / "missing\\", "QZT", 0).empty());
  EXPECT_TRUE(TempFileName(dir.path() + std::string(300, 'd') + "\\", "QZT", 1).empty());
}

TEST(Module, FileNameIsThisProgramAndCarriesTheLibrarysVersionResource) {
  // Linked statically, the library's module is the test program itself, which carries the
  // same version resource as the DLL.
  const std::string self = ModuleFileName();
  ASSERT_GT(self.size(), 17u);
  EXPECT_EQ(self.substr(self.size() - 17), "\\test_windows.exe");
  ASSERT_GT(FileVersionInfoSize(self), 0u);
  std::vector<uint8_t> block;
  ASSERT_TRUE(FileVersionInfo(self, block));
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(VersionQueryValue(block, "\\VarFileInfo\\Translation", value, length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(value[0] | value[1] << 8, 0x0804);
  EXPECT_EQ(value[2] | value[3] << 8, 936);
  ASSERT_TRUE(VersionQueryValue(block, "\\StringFileInfo\\080403A8\\FileVersion", value, length));
  EXPECT_STREQ(reinterpret_cast<const char*>(value), "1.0.0.0");
  EXPECT_FALSE(VersionQueryValue(block, "\\StringFileInfo\\040904B0\\FileVersion", value, length));
  EXPECT_FALSE(VersionQueryValue({}, "\\VarFileInfo\\Translation", value, length));
}

TEST(Module, FilesWithoutAVersionResourceHaveNone) {
  ScratchDir dir;
  ASSERT_TRUE(ScratchDir::Write(dir / "plain.dll", "not a module"));
  EXPECT_EQ(FileVersionInfoSize(dir / "plain.dll"), 0u);
  EXPECT_EQ(FileVersionInfoSize(dir / "missing.dll"), 0u);
  std::vector<uint8_t> block;
  EXPECT_FALSE(FileVersionInfo(dir / "missing.dll", block));
  EXPECT_TRUE(block.empty());
}

TEST(Drives, FixedDriveTypeSpaceAndLabel) {
  EXPECT_EQ(GetDriveType("C:\\"), kDriveFixed);
  uint64_t freeBytes = 0, total = 0;
  ASSERT_TRUE(GetDiskFreeSpace("C:\\", freeBytes, total));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeBytes, total);
  std::string label = "unchanged";
  uint32_t serial = 0;
  EXPECT_TRUE(GetVolumeLabel("C:\\", label, &serial));
  EXPECT_NE(label, "unchanged");
}

TEST(Drives, MissingDriveAndCriticalErrorMode) {
  EXPECT_EQ(GetDriveType("Q:\\"), kDriveNoRootDir);
  uint64_t freeBytes = 0, total = 0;
  EXPECT_FALSE(GetDiskFreeSpace("Q:\\", freeBytes, total));
  const uint32_t old = SetCriticalErrorMode(true);
  EXPECT_EQ(SetCriticalErrorMode(false) & SEM_FAILCRITICALERRORS, SEM_FAILCRITICALERRORS);
  ::SetErrorMode(old);
}

TEST(CodePages, ChineseWindowsUses936ForAnsiAndOem) {
  EXPECT_EQ(AnsiCodePage(), 936);
  EXPECT_EQ(OemCodePage(), 936);
  // "中文名.txt" in code page 936, the same bytes in OEM as in ANSI on this system.
  const std::string name = "\xD6\xD0\xCE\xC4\xC3\xFB.txt";
  EXPECT_EQ(AnsiToOem(name), name);
  EXPECT_EQ(OemToAnsi(AnsiToOem(name)), name);
  EXPECT_EQ(AnsiToOem(""), "");
  EXPECT_TRUE(host::SetCodePages(936, 936));
  EXPECT_FALSE(host::SetCodePages(1252, 437));
}

TEST(CodePages, AnsiNamesReachTheFileSystemAndComeBackByteForByte) {
  ScratchDir dir;
  // "压缩包.zip"
  const std::string name = "\xD1\xB9\xCB\xF5\xB0\xFC.zip";
  FileHandle f = OpenFile(dir / name, Access::Write, Disposition::CreateNew);
  ASSERT_NE(f, kInvalidFile);
  CloseFile(f);
  FindData data;
  FindHandle h = FindFirstFile(dir / "*.zip", data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.name, name);
  FindClose(h);
}

TEST(HostHooks, AreRefusalsOnWindows) {
  EXPECT_FALSE(host::MapDrive('A', "C:\\floppy", true));
  std::string out;
  EXPECT_TRUE(host::HostPath("C:\\x\\y.zip", out));
  EXPECT_EQ(out, "C:\\x\\y.zip");
  host::SetCancel(true);
  EXPECT_FALSE(KeyDown(27));  // the cancel key is the real Escape key, not a flag
  host::SetCancel(false);
}

}  // namespace
}  // namespace kestrel::os
