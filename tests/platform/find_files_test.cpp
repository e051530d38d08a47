// find_files_test.cpp — FindFirstFile/FindNextFile: masks, order, "." and "..", attributes,
// and the errors for an empty match and a missing directory.
#include <filesystem>
#include <vector>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using namespace os;

class FindFiles : public ScratchDrive {
 protected:
  std::vector<std::string> Names(const std::string& pattern) {
    std::vector<std::string> names;
    FindData data;
    FindHandle h = FindFirstFile(pattern, data);
    if (h == kInvalidFind) return names;
    do names.push_back(data.name);
    while (FindNextFile(h, data));
    EXPECT_EQ(LastError(), kErrorNoMoreFiles);
    EXPECT_TRUE(FindClose(h));
    return names;
  }
};

TEST_F(FindFiles, MasksFollowWin32Rules) {
  for (const char* name : {"b.txt", "A.TXT", "readme", "c.dat", "ab.txt"}) Write(name, "x");
  std::filesystem::create_directory(H("sub"));
  using V = std::vector<std::string>;
  EXPECT_EQ(Names(D("*.*")), (V{".", "..", "A.TXT", "ab.txt", "b.txt", "c.dat", "readme", "sub"}));
  EXPECT_EQ(Names(D("*")), Names(D("*.*")));
  EXPECT_EQ(Names(D("*.txt")), (V{"A.TXT", "ab.txt", "b.txt"}));
  EXPECT_EQ(Names(D("?.TXT")), (V{"A.TXT", "b.txt"}));
  EXPECT_EQ(Names(D("readme.*")), (V{"readme"}));
  EXPECT_EQ(Names(D("SUB")), (V{"sub"}));
}

TEST_F(FindFiles, DataDescribesEachEntry) {
  Write("f.bin", std::string(1234, 'x'));
  std::filesystem::create_directory(H("d"));
  FindData data;
  FindHandle h = FindFirstFile(D("f.bin"), data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.size, 1234u);
  EXPECT_EQ(data.attributes, kAttrArchive);
  EXPECT_EQ(data.name, "f.bin");
  EXPECT_GT(data.lastWrite.ticks, 0u);
  FindClose(h);
  h = FindFirstFile(D("d"), data);
  ASSERT_NE(h, kInvalidFind);
  EXPECT_EQ(data.attributes, kAttrDirectory);
  EXPECT_EQ(data.size, 0u);
  FindClose(h);
}

TEST_F(FindFiles, NamesComeBackInCodePage936) {
  Write("\xE4\xB8\xAD\xE6\x96\x87.txt", "x");  // 中文.txt
  Write("\xED\x95\x9C.txt", "x");              // 한.txt, which code page 936 cannot spell
  auto names = Names(D("*.txt"));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "\xD6\xD0\xCE\xC4.txt");
  EXPECT_EQ(names[1], "?.txt");
  // The substituted name cannot be opened, so that file fails instead of another being taken.
  EXPECT_EQ(OpenFile(D(names[1]), Access::Read, Disposition::OpenExisting), kInvalidFile);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(Names(D("\xD6\xD0\xCE\xC4.*")), (std::vector<std::string>{"\xD6\xD0\xCE\xC4.txt"}));
}

TEST_F(FindFiles, NoMatchAndMissingDirectory) {
  FindData data;
  EXPECT_EQ(FindFirstFile(D("*.none"), data), kInvalidFind);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(FindFirstFile(D("missing\\*.*"), data), kInvalidFind);
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  EXPECT_FALSE(FindNextFile(12345, data));
  EXPECT_FALSE(FindClose(12345));
}

}  // namespace
}  // namespace kestrel::test
