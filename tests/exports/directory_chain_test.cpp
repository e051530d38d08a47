// ForceDirectoryChain: every prefix created, relative paths refused, blanks trimmed.
#include <stdexcept>

#include "exports/directory_chain.h"
#include "tests/exports/volume_session.h"

namespace kestrel::testing {
namespace {

class DirectoryChain : public VolumeSession {};

TEST_F(DirectoryChain, CreatesEachLevel) {
  EXPECT_TRUE(exports::ForceDirectoryChain(" " + DrivePath(Work()) + "\\a\\b\t"));
  EXPECT_TRUE(fs::is_directory(Work() / "a" / "b"));
  EXPECT_TRUE(exports::ForceDirectoryChain(DrivePath(Work()) + "\\a\\b\\"));  // already there
  EXPECT_TRUE(exports::ForceDirectoryChain("A:\\x\\y"));
  EXPECT_TRUE(fs::is_directory(Disk(1) / "x" / "y"));
  EXPECT_FALSE(exports::ForceDirectoryChain("ab"));
  EXPECT_THROW(exports::ForceDirectoryChain("  "), std::invalid_argument);
}

}  // namespace
}  // namespace kestrel::testing
