// kestrel_set_cancel: a request for the ZipFile or UnZipFile in progress (or the next one),
// cleared once a call has acted on it, and withdrawn by kestrel_set_cancel(0). A cancelled
// ZipFile leaves the old archive and no partial one; a cancelled UnZipFile says so.
#include <gtest/gtest.h>

#include "exports/volume_session.h"
#include "kestrel.h"

namespace kestrel::testing {
namespace {

class CancelTest : public VolumeSession {
 protected:
  void SetUp() override {
    VolumeSession::SetUp();
    fs::create_directories(Work() / "src");
    WriteHostFile(Work() / "src" / "a.txt", "alpha\n");
    WriteHostFile(Work() / "src" / "b.txt", "bravo\n");
    kestrel_set_cancel(0);
  }
  void TearDown() override {
    kestrel_set_cancel(0);
    VolumeSession::TearDown();
  }
  std::string Src() const { return DrivePath(Work() / "src"); }
  std::string Archive() const { return DrivePath(Work() / "out.zip"); }
  int32_t Zip() { return ZipFile(Src().c_str(), Archive().c_str(), "", 6, 1); }
  // Everything in the work directory but the sources: the archive and anything left beside it.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Work()))
      if (e.path().filename() != "src") names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(CancelTest, ARequestCancelsTheNextZipFileOnlyAndKeepsTheOldArchive) {
  ASSERT_EQ(Zip(), 2);
  const std::string old = ReadHostFile(Work() / "out.zip");
  kestrel_set_cancel(1);
  EXPECT_EQ(Zip(), -1);
  EXPECT_STREQ(kestrel_last_error(), "User Aborted Operation");
  EXPECT_TRUE(ReadHostFile(Work() / "out.zip") == old);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{"out.zip"});
  // Acted on: the next call runs. A withdrawn request cancels nothing.
  EXPECT_EQ(Zip(), 2);
  kestrel_set_cancel(1);
  kestrel_set_cancel(0);
  EXPECT_EQ(Zip(), 2);
  EXPECT_STREQ(kestrel_last_error(), "");
}

TEST_F(CancelTest, ACancelledUnZipFileSaysSoAndTheNextOneRuns) {
  ASSERT_EQ(Zip(), 2);
  const std::string dest = DrivePath(Work() / "x");
  kestrel_set_cancel(1);
  EXPECT_EQ(UnZipFile(Archive().c_str(), dest.c_str(), ""), 1);
  EXPECT_STREQ(kestrel_last_error(), "cancelled");
  EXPECT_FALSE(fs::exists(Work() / "x" / "b.txt"));
  EXPECT_EQ(UnZipFile(Archive().c_str(), dest.c_str(), ""), 1);
  EXPECT_STREQ(kestrel_last_error(), "");
  EXPECT_EQ(ReadHostFile(Work() / "x" / "b.txt"), "bravo\n");
}

}  // namespace
}  // namespace kestrel::testing
