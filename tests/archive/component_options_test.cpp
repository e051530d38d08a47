// TLynUnZip's options, names and directories, dialogs, indexed access and comments.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "archive_fixtures.h"
#include "classlib/application.h"
#include "classlib/date_time.h"
#include "classlib/exception.h"

namespace kestrel::archive {
namespace {

using namespace fixtures;

fs::path MakeSmallArchive(const ScratchDir& dir) {
  fs::path p = dir / "small.zip";
  WriteText(dir / "make.py", R"PY(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.comment = b'zip comment'
    i = zipfile.ZipInfo('one.txt', (2004, 6, 7, 8, 9, 10)); i.comment = b'first'
    z.writestr(i, b'1')
    z.writestr(zipfile.ZipInfo('two.txt', (2004, 6, 7, 8, 9, 12)), b'22')
)PY");
  EXPECT_EQ(Shell("python3 " + (dir / "make.py").string() + " " + p.string()), 0);
  return p;
}

TEST(ComponentOptions, Defaults) {
  TLynUnZip z;
  EXPECT_EQ(z.ThisVersion(), 223);
  z.SetThisVersion(5);
  EXPECT_EQ(z.ThisVersion(), 223);
  EXPECT_EQ(z.ZipName(), "");
  EXPECT_EQ(z.SortMode(), ByNone);
  EXPECT_FALSE(z.RecreateDirs());
  EXPECT_EQ(z.OverwriteMode(), Prompt);
  EXPECT_EQ(z.FilesList().Count(), 0);
  EXPECT_FALSE(z.DoAll());
  EXPECT_EQ(z.IncompleteZipMode(), izAssumeMulti);
  EXPECT_FALSE(z.KeepZipOpen());
  EXPECT_TRUE(z.DoProcessMessages());
  EXPECT_TRUE(z.RetainAttributes());
  EXPECT_FALSE(z.ReplaceReadOnly());
  EXPECT_FALSE(z.FlushFilesOnClose());
  EXPECT_TRUE(z.OEMConvert());
  EXPECT_TRUE(z.CheckDiskLabels());
  EXPECT_EQ(z.MultiMode(), mmNone);
  EXPECT_TRUE(static_cast<bool>(z.OnGetNextDisk));
  EXPECT_EQ(z.Count(), 0);
  EXPECT_EQ(z.NumberOfDisks(), 1);
  EXPECT_EQ(z.StreamBufferSize(), 8192);
  EXPECT_TRUE(z.NewHeader()->oemConvert);
  z.SetOEMConvert(false);
  EXPECT_FALSE(z.NewHeader()->oemConvert);
}

TEST(ComponentOptions, AssignCopiesTheDocumentedOptions) {
  TLynUnZip a, b;
  a.SetZipName("C:\\nowhere\\x.zip");
  a.SetDestDir("C:\\out\\");
  a.SetRootDir("C:\\root");
  a.SetSortMode(ByDate);
  a.SetRecreateDirs(true);
  a.SetOverwriteMode(ifNewer);
  a.FilesList().Add("*.txt");
  a.SetDoAll(true);
  a.SetIncompleteZipMode(izAssumeBad);
  a.SetKeepZipOpen(true);
  a.SetDoProcessMessages(false);
  a.SetRetainAttributes(false);
  a.SetReplaceReadOnly(true);
  a.SetFlushFilesOnClose(true);
  a.SetOEMConvert(false);
  int hits = 0;
  a.OnBadCRC = [&](Object*, int32_t, int32_t, int32_t) { ++hits; };
  a.OnDecrypt = [&](Object*, uint8_t*, int32_t, const std::string&) { ++hits; };
  b.Assign(a);
  EXPECT_EQ(b.ZipName(), "C:\\nowhere\\x.zip");
  EXPECT_EQ(b.DestDir(), "C:\\out");
  EXPECT_EQ(b.RootDir(), "C:\\root\\");
  EXPECT_EQ(b.SortMode(), ByDate);
  EXPECT_TRUE(b.RecreateDirs());
  EXPECT_EQ(b.OverwriteMode(), ifNewer);
  ASSERT_EQ(b.FilesList().Count(), 1);
  EXPECT_EQ(b.FilesList()[0], "*.txt");
  EXPECT_TRUE(b.DoAll());
  EXPECT_EQ(b.IncompleteZipMode(), izAssumeBad);
  EXPECT_TRUE(b.KeepZipOpen());
  EXPECT_FALSE(b.DoProcessMessages());
  EXPECT_FALSE(b.RetainAttributes());
  EXPECT_TRUE(b.ReplaceReadOnly());
  EXPECT_FALSE(b.FlushFilesOnClose());  // not copied
  EXPECT_TRUE(b.OEMConvert());          // not copied
  ASSERT_TRUE(static_cast<bool>(b.OnBadCRC));
  b.OnBadCRC(&b, 0, 0, 0);
  EXPECT_EQ(hits, 1);
  EXPECT_FALSE(static_cast<bool>(b.OnDecrypt));
}

TEST(ComponentOptions, RootAndDestinationDirectories) {
  TLynUnZip z;
  z.SetRootDir("C:\\data");
  EXPECT_EQ(z.RootDir(), "C:\\data\\");
  z.SetRootDir("C:\\data\\");
  EXPECT_EQ(z.RootDir(), "C:\\data\\");
  z.SetRootDir("");
  EXPECT_EQ(z.RootDir(), "");
  z.SetDestDir("C:\\out\\");
  EXPECT_EQ(z.DestDir(), "C:\\out");
  z.SetDestDir("C:\\out");
  EXPECT_EQ(z.DestDir(), "C:\\out");
}

TEST(ComponentOptions, DialogRequestsWithoutAHostAreCancellations) {
  classlib::SetOpenDialogHandler(nullptr);
  classlib::SetDirectoryDialogHandler(nullptr);
  TLynUnZip z;
  z.SetZipName("C:\\kept.zip");
  try {
    z.SetZipName("C:\\somewhere\\?");
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled setting zip file name.");
  }
  EXPECT_EQ(z.ZipName(), "C:\\kept.zip");
  try {
    z.SetDestDir("?");
    FAIL();
  } catch (const EUserCanceled& e) {
    EXPECT_STREQ(e.what(), "User canceled Set Desination Directory");
  }
}

TEST(ComponentOptions, DialogRequestsGoThroughTheHostHooks) {
  ScratchDir dir;
  std::string title, filter, initial;
  classlib::SetOpenDialogHandler([&](const std::string& t, const std::string& f,
                                     const std::string& i, std::string& chosen) {
    title = t;
    filter = f;
    initial = i;
    chosen = "C:\\picked.zip";
    return true;
  });
  classlib::SetDirectoryDialogHandler([&](std::string& d) {
    initial = d;
    d = "C:\\chosen\\";
    return true;
  });
  TLynUnZip z;
  z.SetZipName(DrivePath(dir.path()) + "\\?");
  EXPECT_EQ(z.ZipName(), "C:\\picked.zip");
  EXPECT_EQ(title, "Open a Zip File");
  EXPECT_EQ(filter,
            "Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|"
            "All Files (*.*)|*.*");
  EXPECT_EQ(initial, DrivePath(dir.path()));
  z.SetZipName("C:\\no\\such\\dir\\?");
  EXPECT_EQ(initial, "C:\\");
  z.SetDestDir(DrivePath(dir.path()));
  z.SetDestDir("?");
  EXPECT_EQ(initial, DrivePath(dir.path()));
  EXPECT_EQ(z.DestDir(), "C:\\chosen");
  classlib::SetOpenDialogHandler(nullptr);
  classlib::SetDirectoryDialogHandler(nullptr);
}

TEST(ComponentArchive, SameNameInOtherCaseKeepsTheDirectory) {
  ScratchDir dir;
  fs::path p = MakeSmallArchive(dir);
  TLynUnZip z;
  z.SetZipName(DrivePath(p));
  z.OpenZip();
  ASSERT_EQ(z.Count(), 2);
  std::string upper = DrivePath(p);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  z.SetZipName(upper);
  EXPECT_EQ(z.Count(), 2);
  EXPECT_EQ(z.ZipName(), DrivePath(p));
  z.SetZipName(DrivePath(dir / "missing.zip"));  // accepted; fails only when needed
  EXPECT_EQ(z.Count(), 0);
  EXPECT_THROW(z.OpenZip(), classlib::EFOpenError);
}

TEST(ComponentArchive, EmptyFileIsAnEmptyArchive) {
  ScratchDir dir;
  WriteText(dir / "empty.zip", "");
  TLynUnZip z;
  z.SetZipName(DrivePath(dir / "empty.zip"));
  z.OpenZip();
  EXPECT_EQ(z.Count(), 0);
  EXPECT_EQ(z.NumberOfDisks(), 1);
  EXPECT_EQ(z.ZipComment(), "");
}

TEST(ComponentArchive, IndexedDatesAndComments) {
  ScratchDir dir;
  fs::path p = MakeSmallArchive(dir);
  TLynUnZip z;
  z.SetZipName(DrivePath(p));
  z.OpenZip();
  EXPECT_DOUBLE_EQ(z.DateTimeOf(0),
                   classlib::EncodeDate(2004, 6, 7) + classlib::EncodeTime(8, 9, 10, 0));
  EXPECT_EQ(z.Entry(0).Comment(), nullptr);
  EXPECT_EQ(z.FileCommentOf(0), "first");  // loaded on demand
  EXPECT_STREQ(z.Entry(0).Comment(), "first");
  EXPECT_EQ(z.FileCommentOf(1), "");
  EXPECT_EQ(z.ZipComment(), "zip comment");
  EXPECT_FALSE(z.EndCentral().commentsChanged);
  z.SetFileComment(0, "first");
  z.SetZipComment("zip comment");
  EXPECT_FALSE(z.EndCentral().commentsChanged);
  z.SetFileComment(1, "");
  EXPECT_FALSE(z.EndCentral().commentsChanged);
  z.SetFileComment(1, "new");
  EXPECT_TRUE(z.EndCentral().commentsChanged);
  EXPECT_EQ(z.FileCommentOf(1), "new");
  z.SetZipComment("other");
  EXPECT_EQ(z.ZipComment(), "other");
  try {
    z.DateTimeOf(5);
    FAIL();
  } catch (const classlib::EListError& e) {
    EXPECT_STREQ(e.what(), "Index 5 is out of range");
  }
  EXPECT_THROW(z.FileCommentOf(-1), classlib::EListError);
  // A stored date that is no calendar date reads as the current time.
  z.Entry(1).dateTime = ((24u << 9) | (2u << 5) | 31u) << 16;
  double now = classlib::Now();
  EXPECT_NEAR(z.DateTimeOf(1), now, 1.0 / 24);
}

TEST(ComponentArchive, ChangedFileIsLoadedAgain) {
  ScratchDir dir;
  fs::path p = MakeSmallArchive(dir);
  TLynUnZip z;
  z.SetZipName(DrivePath(p));
  z.OpenZip();
  TZipHeaderInfo* first = &z.Entry(0);
  z.OpenZip();  // unchanged: nothing is read again
  EXPECT_EQ(&z.Entry(0), first);
  z.CloseZip();
  fs::last_write_time(p, fs::last_write_time(p) - std::chrono::hours(48));
  z.OpenZip();
  EXPECT_EQ(z.Count(), 2);
  z.ClearZip();
  EXPECT_EQ(z.ZipName(), "");
  EXPECT_EQ(z.Count(), 0);
}

}  // namespace
}  // namespace kestrel::archive
