// path_utils_test.cpp — path pieces, including drive roots, UNC prefixes and code page 936
// names whose trail byte is 0x5C ("\").
#include <gtest/gtest.h>

#include "classlib/path_utils.h"

namespace kestrel::classlib {
namespace {

TEST(PathUtils, Pieces) {
  EXPECT_EQ(ExtractFilePath("C:\\dir\\name.ext"), "C:\\dir\\");
  EXPECT_EQ(ExtractFileDir("C:\\dir\\name.ext"), "C:\\dir");
  EXPECT_EQ(ExtractFileDir("C:\\name.ext"), "C:\\");
  EXPECT_EQ(ExtractFileDir("C:name"), "C:");
  EXPECT_EQ(ExtractFileName("C:\\dir\\name.ext"), "name.ext");
  EXPECT_EQ(ExtractFileName("C:name"), "name");
  EXPECT_EQ(ExtractFileExt("C:\\d.x\\name.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExt("C:\\d.x\\README"), "");
  EXPECT_EQ(ExtractFileDrive("c:\\x"), "c:");
  EXPECT_EQ(ExtractFileDrive("\\\\server\\share\\x\\y"), "\\\\server\\share");
  EXPECT_EQ(ExtractFileDrive("\\x"), "");
  EXPECT_EQ(ChangeFileExt("C:\\a\\x.zip", ".zfc"), "C:\\a\\x.zfc");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\x", ".002"), "C:\\a.b\\x.002");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\a\\"), "C:\\a");
}

TEST(PathUtils, TrailByteIsNotASeparator) {
  const std::string name = "\x95\x5C.txt";  // a two-byte character ending in 0x5C
  EXPECT_EQ(ExtractFileName("C:\\d\\" + name), name);
  EXPECT_EQ(ExtractFilePath("C:\\d\\" + name), "C:\\d\\");
  EXPECT_FALSE(EndsWithBackslash("C:\\d\\\x95\x5C"));
  EXPECT_EQ(IncludeTrailingBackslash("C:\\\x95\x5C"), "C:\\\x95\x5C\\");
  EXPECT_EQ(AnsiPos("\x95\x5C\\", '\\'), 2u);
}

}  // namespace
}  // namespace kestrel::classlib
