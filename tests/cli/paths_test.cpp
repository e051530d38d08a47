// paths_test.cpp — native command-line paths turned into the library's drive paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "cli/paths.h"

namespace kestrel::cli {
namespace {

TEST(Paths, AbsoluteAndRelativePathsBecomeDrivePaths) {
  std::string drive, error;
  ASSERT_TRUE(ToDrivePath("/tmp/a.zip", drive, error)) << error;
  EXPECT_EQ(drive, "C:\\tmp\\a.zip");
  ASSERT_TRUE(ToDrivePath("/tmp/out/", drive, error)) << error;
  EXPECT_EQ(drive, "C:\\tmp\\out\\");

  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path("/tmp");
  const bool relative = ToDrivePath("sub/../b.zip", drive, error);
  std::filesystem::current_path(before);
  ASSERT_TRUE(relative) << error;
  EXPECT_EQ(drive, "C:\\tmp\\b.zip");
}

TEST(Paths, NamesInCodePage936) {
  std::string drive, error;
  ASSERT_TRUE(ToDrivePath("/tmp/\xE4\xB8\xAD\xE6\x96\x87.zip", drive, error)) << error;  // 中文
  EXPECT_EQ(drive, "C:\\tmp\\\xD6\xD0\xCE\xC4.zip");
  EXPECT_EQ(ForTerminal("\xD6\xD0\xCE\xC4.txt"), "\xE4\xB8\xAD\xE6\x96\x87.txt");
  // A character code page 936 lacks cannot reach the library.
  EXPECT_FALSE(ToDrivePath("/tmp/\xF0\x9F\x98\x80.zip", drive, error));
  EXPECT_NE(error.find("code page"), std::string::npos);
  EXPECT_FALSE(ToDrivePath("", drive, error));
}

}  // namespace
}  // namespace kestrel::cli
