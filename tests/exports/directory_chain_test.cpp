// directory_chain_test.cpp — ForceDirectoryChain: prefixes created in order, relative and
// empty paths, blanks around the path.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "exports/directory_chain.h"
#include "platform/platform.h"

namespace kestrel::test {
namespace {

class DirectoryChain : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrel-chain-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    ASSERT_TRUE(os::host::MapDrive('T', root_, false));
  }
  void TearDown() override {
    os::host::UnmapDrive('T');
    std::filesystem::remove_all(root_);
  }
  std::string root_;
};

TEST_F(DirectoryChain, CreatesEveryPrefix) {
  EXPECT_TRUE(exports::ForceDirectoryChain("T:\\a\\b"));
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/a/b"));
  EXPECT_TRUE(exports::ForceDirectoryChain("  T:\\a\\b\\c\\ \t"));
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/a/b/c"));
  EXPECT_TRUE(exports::ForceDirectoryChain("T:\\"));
}

TEST_F(DirectoryChain, RelativeAndEmptyPaths) {
  EXPECT_FALSE(exports::ForceDirectoryChain("ab"));
  EXPECT_FALSE(std::filesystem::exists("ab"));
  EXPECT_THROW(exports::ForceDirectoryChain(""), std::invalid_argument);
  EXPECT_THROW(exports::ForceDirectoryChain(" \r\n"), std::invalid_argument);
}

TEST_F(DirectoryChain, AFileInTheWayStopsTheRestQuietly) {
  std::filesystem::create_directories(root_ + "/x");
  { std::ofstream(root_ + "/x/file") << "f"; }
  EXPECT_TRUE(exports::ForceDirectoryChain("T:\\x\\file\\deeper"));  // results are ignored
  EXPECT_FALSE(std::filesystem::exists(root_ + "/x/file/deeper"));
}

}  // namespace
}  // namespace kestrel::test
