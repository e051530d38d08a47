// Volume names, bases, header fields and the stored-name checks, including double-byte names.
#include <gtest/gtest.h>

#include "exports/volume_format.h"
#include "platform/platform.h"

namespace kestrel::exports {
namespace {

TEST(VolumeFormat, NamesAndBases) {
  EXPECT_EQ(VolumeBase("A:\\backup.zip"), "A:\\backup");
  EXPECT_EQ(VolumeBase("A:\\disk.one\\x.zip"), "A:\\disk");
  EXPECT_EQ(VolumeBase("A:\\plain"), "A:\\plain");
  EXPECT_EQ(VolumeName("A:\\backup", 1), "A:\\backup.m01");
  EXPECT_EQ(VolumeName("A:\\backup", 9), "A:\\backup.m09");
  EXPECT_EQ(VolumeName("A:\\backup", 10), "A:\\backup.m10");
  EXPECT_EQ(VolumeName("A:\\backup", 100), "A:\\backup.m100");
  EXPECT_EQ(VolumeName(VolumeBase("A:\\backup.m01"), 2), "A:\\backup.m02");
}

TEST(VolumeFormat, CountsAndDataLengths) {
  EXPECT_EQ(VolumeCount(1433600, 1433600), 1);
  EXPECT_EQ(VolumeCount(1433601, 1433600), 2);
  EXPECT_EQ(VolumeCount(0, 1433600), 0);
  EXPECT_EQ(VolumeCount(0x7FFFFFFF, 1), 0x7FFFFFFF);
  EXPECT_EQ(VolumeDataLength(2500, 1000, 1), 1000);
  EXPECT_EQ(VolumeDataLength(2500, 1000, 3), 500);
  EXPECT_EQ(VolumeDataLength(2500, 1000, 4), 0);
  EXPECT_EQ(FirstVolumeHeader(5, 2, "ab"), std::string("xml\1\0\0\0\5\0\0\0\2\0\0\0\2\0\0\0ab", 21));
}

TEST(VolumeFormat, DoubleByteNamesKeepTheirTrailBytes) {
  ASSERT_EQ(os::AnsiCodePage(), 936);
  // "\x81\x5C" is one GBK character whose trail byte is the "\" byte.
  const std::string name = "\x81\x5C.zip";
  EXPECT_EQ(FileNamePart("C:\\dir\\" + name), name);
  EXPECT_EQ(DirectoryPart("C:\\dir\\" + name), "C:\\dir\\");
  EXPECT_TRUE(IsSafeStoredName(name));
  EXPECT_FALSE(EndsWithSeparator("C:\\\x81\x5C"));
  EXPECT_TRUE(EndsWithSeparator("C:\\dir\\"));
  // Chinese file name (数据.zip) is fine.
  EXPECT_TRUE(IsSafeStoredName("\xCA\xFD\xBE\xDD.zip"));
}

TEST(VolumeFormat, UnsafeStoredNames) {
  for (const char* bad : {"", ".", "..", "...", ". .", "..\\x", "a\\b", "a/b", "C:x", "a..b",
                          "x\x01", "a*b", "a?b", "a|b", "a<b", "a>b", "a\"b", "\x81"}) {
    EXPECT_FALSE(IsSafeStoredName(bad)) << bad;
  }
  EXPECT_TRUE(IsSafeStoredName(std::string(50, 'n')));
  EXPECT_FALSE(IsSafeStoredName(std::string(51, 'n')));
  EXPECT_TRUE(IsSafeStoredName("backup.zip"));
  EXPECT_TRUE(IsSafeStoredName(".hidden"));
}

}  // namespace
}  // namespace kestrel::exports
