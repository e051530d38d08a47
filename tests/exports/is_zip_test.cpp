// is_zip_test.cpp — the exported isZip on real files: archives made by zip, a name in code
// page 936, and the answers for what is not an archive.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kestrel.h"
#include "platform/platform.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;

std::string Drive(const fs::path& host) {
  std::string drive;
  EXPECT_TRUE(os::host::DrivePath(host.string(), drive)) << host;
  return drive;
}

TEST(IsZip, AnswersOnRealFiles) {
  std::string pattern = (fs::temp_directory_path() / "kestrel-iszip-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  std::ofstream(dir / "a.txt") << "some text\n";
  const std::string zip = "cd '" + dir.string() + "' && zip -q ";
  ASSERT_EQ(std::system((zip + "made.zip a.txt && cp made.zip '\xE4\xB8\xAD\xE6\x96\x87.zip'").c_str()), 0);

  EXPECT_EQ(isZip(Drive(dir / "made.zip").c_str()), 1);
  EXPECT_EQ(isZip(Drive(dir / "\xE4\xB8\xAD\xE6\x96\x87.zip").c_str()), 1);  // 中文.zip
  EXPECT_EQ(isZip(Drive(dir / "a.txt").c_str()), 0);
  EXPECT_EQ(isZip(Drive(dir).c_str()), 0);
  EXPECT_EQ(isZip(""), 0);
  EXPECT_EQ(isZip(nullptr), 0);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrel::test
