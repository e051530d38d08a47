// directory_chain_test.cpp — the portable ForceDirectoryChain on the Win32 backend: real
// drive paths, existing directories and the drive root are no obstacle.
#include <gtest/gtest.h>

#include "exports/directory_chain.h"
#include "scratch_dir.h"
#include "platform/win32/windows_api.h"  // last: takes back the A/W macros

namespace kestrel::os {
namespace {

using wintest::ScratchDir;

TEST(DirectoryChain, CreatesEveryLevelOnARealDrive) {
  ScratchDir dir;
  EXPECT_TRUE(exports::ForceDirectoryChain(dir / "a\\b\\c"));
  EXPECT_NE(GetFileAttributes(dir / "a\\b\\c") & kAttrDirectory, 0u);
  // Again, with a trailing backslash: everything exists already.
  EXPECT_TRUE(exports::ForceDirectoryChain(dir / "a\\b\\c\\"));
  EXPECT_FALSE(exports::ForceDirectoryChain("relative\\dir"));
  EXPECT_EQ(GetFileAttributes("relative"), kInvalidAttributes);
}

}  // namespace
}  // namespace kestrel::os
