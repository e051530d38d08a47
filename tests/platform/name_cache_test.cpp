// name_cache_test.cpp — case-insensitive lookups while a NameLookupScope remembers
// directories: names created, removed and renamed through the layer are found (or not) as
// without the cache, and nothing is remembered once the scope ends.
#include <filesystem>

#include "tests/platform/scratch_drive.h"

namespace kestrel::test {
namespace {

using os::host::HostPath;

class NameCache : public ScratchDrive {
 protected:
  std::string Host(const std::string& drivePath) {
    std::string host;
    EXPECT_TRUE(HostPath(drivePath, host)) << drivePath;
    return host;
  }
  bool Create(const std::string& drivePath) {
    const os::FileHandle file =
        os::OpenFile(drivePath, os::Access::Write, os::Disposition::CreateNew);
    if (file == os::kInvalidFile) return false;
    os::CloseFile(file);
    return true;
  }
};

TEST_F(NameCache, NamesCreatedInACreatedDirectoryAreFoundWhateverTheirCase) {
  os::NameLookupScope scope;
  ASSERT_TRUE(os::CreateDirectory(D("New")));
  ASSERT_TRUE(os::CreateDirectory(D("NEW\\Sub")));  // the parent found in its own case
  ASSERT_TRUE(Create(D("new\\sub\\ReadMe.txt")));
  EXPECT_EQ(Host(D("NEW\\SUB\\readme.TXT")), H("New/Sub/ReadMe.txt"));
  EXPECT_FALSE(Create(D("new\\SUB\\ReadMe.txt")));  // the same file, not a second one
  EXPECT_EQ(os::LastError(), os::kErrorFileExists);
  ASSERT_TRUE(Create(D("new\\SUB\\README.TXT")));  // another case is another file here
  EXPECT_EQ(Host(D("New\\Sub\\README.TXT")), H("New/Sub/README.TXT"));
  EXPECT_EQ(Host(D("New\\Sub\\ReadMe.txt")), H("New/Sub/ReadMe.txt"));
  EXPECT_EQ(Host(D("New\\Sub\\other.txt")), H("New/Sub/other.txt"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(H("New/Sub")),
                          std::filesystem::directory_iterator()),
            2);
}

TEST_F(NameCache, ExistingDirectoryIsReadOnceAndKeptUpToDate) {
  std::filesystem::create_directories(H("Old"));
  Write("Old/Kept.TXT", "x");
  os::NameLookupScope scope;
  EXPECT_EQ(Host(D("OLD\\kept.txt")), H("Old/Kept.TXT"));
  EXPECT_EQ(Host(D("Old\\new.txt")), H("Old/new.txt"));  // missing: read the directory
  ASSERT_TRUE(Create(D("Old\\Added.txt")));            // noted after that read
  EXPECT_EQ(Host(D("old\\ADDED.TXT")), H("Old/Added.txt"));
  EXPECT_EQ(Host(D("old\\KEPT.txt")), H("Old/Kept.TXT"));
}

TEST_F(NameCache, RemovedAndRenamedNamesAreForgotten) {
  os::NameLookupScope scope;
  ASSERT_TRUE(os::CreateDirectory(D("Dir")));
  ASSERT_TRUE(Create(D("Dir\\One.txt")));
  ASSERT_TRUE(os::DeleteFile(D("dir\\one.txt")));
  EXPECT_EQ(Host(D("Dir\\ONE.txt")), H("Dir/ONE.txt"));  // gone: keeps the case given
  ASSERT_TRUE(Create(D("Dir\\Two.txt")));
  ASSERT_TRUE(os::MoveFile(D("dir\\two.txt"), D("Dir\\Three.txt")));
  EXPECT_EQ(Host(D("DIR\\TWO.TXT")), H("Dir/TWO.TXT"));
  EXPECT_EQ(Host(D("DIR\\THREE.TXT")), H("Dir/Three.txt"));
  // A directory removed and made again in another case: paths through it follow the new one.
  ASSERT_TRUE(os::DeleteFile(D("Dir\\Three.txt")));
  ASSERT_TRUE(os::RemoveDirectory(D("Dir")));
  ASSERT_TRUE(os::CreateDirectory(D("DIR")));
  EXPECT_EQ(Host(D("dir\\x.txt")), H("DIR/x.txt"));
  ASSERT_TRUE(Create(D("dir\\x.txt")));
  EXPECT_TRUE(std::filesystem::exists(H("DIR/x.txt")));
}

TEST_F(NameCache, NothingIsRememberedAfterTheScope) {
  std::filesystem::create_directories(H("Box"));
  {
    os::NameLookupScope scope;
    EXPECT_EQ(Host(D("Box\\a.txt")), H("Box/a.txt"));  // Box is read while it has no a.txt
    {
      os::NameLookupScope inner;  // nested: the outer one still holds the cache
    }
    Write("Box/A.TXT", "made by someone else");
    EXPECT_EQ(Host(D("Box\\a.txt")), H("Box/a.txt"));  // not seen inside the scope
  }
  EXPECT_EQ(Host(D("Box\\a.txt")), H("Box/A.TXT"));
}

}  // namespace
}  // namespace kestrel::test
