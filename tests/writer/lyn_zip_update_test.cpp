// Updating an existing archive: zaUpdate, zaReplace and zaFreshen give the entries they should
// (listed by Python's zipfile), comments and extra fields are carried over, OnUpdate reports
// each decision, and the component's directory after a run matches what a fresh load reads.
#include <gtest/gtest.h>

#include "archive/lyn_unzip.h"
#include "writer/lyn_zip.h"
#include "writer/zip_fixture.h"

namespace kestrel::testing {
namespace {

class LynZipUpdateTest : public ZipScratch {
 protected:
  // a.txt, b.txt, sub/c.txt, all at an old time, packed at level 6.
  void MakeArchive() {
    Write("src/a.txt", "alpha alpha alpha\n");
    Write("src/b.txt", "bravo\n");
    Write("src/sub/c.txt", "charlie\n");
    for (const char* f : {"src/a.txt", "src/b.txt", "src/sub/c.txt"}) SetTime(H(f), 1600000000);
    writer::TLynZip zip;
    PrepareRelative(zip, D("arc.zip"), D("src"), 6);
    zip.FilesList().Add("*.*");
    ASSERT_EQ(zip.RunZip(), 3);
  }
  int Update(writer::TZipAction action, const std::vector<std::string>& items,
             std::vector<std::string>* log = nullptr) {
    writer::TLynZip zip;
    PrepareRelative(zip, D("arc.zip"), D("src"), 6);
    zip.SetZipAction(action);
    for (const auto& item : items) zip.FilesList().Add(item);
    zip.OnUpdate = [log](archive::Object*, writer::TUpdateAction a, int32_t index) {
      if (log) log->push_back((a == writer::uaReplacing ? "replace " : "keep ") + std::to_string(index));
    };
    return zip.RunZip();
  }
};

// On Linux a file whose name differs from an entry's only in case is another file: it never
// replaces that entry, and meets its name as a reported collision.
TEST_F(LynZipUpdateTest, FileMatchingAnEntryOnlyIgnoringCaseIsACollision) {
  Write("src/xt_MARK.h", "upper\n");
  SetTime(H("src/xt_MARK.h"), 1600000000);
  ASSERT_EQ(Update(writer::zaUpdate, {"*.*"}), 1);
  Write("src/xt_MARK.h", "upper, newer\n");
  Write("src/xt_mark.h", "lower\n");
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.FilesList().Add("*.*");
  EXPECT_EQ(zip.RunZip(), 1);  // xt_MARK.h replaced by its own newer file
  EXPECT_EQ(PeerList("arc.zip"), "xt_MARK.h 13\n");
  const std::string reason =
      "stored name already taken by another file (names are compared ignoring case)";
  EXPECT_EQ(zip.PassedOver(),
            (std::vector<writer::PassedOverFile>{{D("src\\xt_mark.h"), reason}}));

  fs::remove(H("src/xt_MARK.h"));  // only the other case is left: the entry stays as it was
  writer::TLynZip again;
  PrepareRelative(again, D("arc.zip"), D("src"), 6);
  again.FilesList().Add("*.*");
  EXPECT_EQ(again.RunZip(), 0);
  EXPECT_EQ(Capture("unzip -p arc.zip xt_MARK.h"), "upper, newer\n");
  EXPECT_EQ(again.PassedOver(),
            (std::vector<writer::PassedOverFile>{{D("src\\xt_mark.h"), reason}}));
}

TEST_F(LynZipUpdateTest, UpdateReplacesNewerFilesInPlaceAndAppendsNewOnes) {
  MakeArchive();
  Write("src/b.txt", "bravo, changed and longer\n");
  SetTime(H("src/b.txt"), 1700000000);
  Write("src/d.txt", "delta\n");
  std::vector<std::string> log;
  EXPECT_EQ(Update(writer::zaUpdate, {"*.*"}, &log), 2);  // b replaced, d added
  EXPECT_EQ(PeerList("arc.zip"),
            "a.txt 18\nb.txt 26\nsub/c.txt 8\nd.txt 6\n");
  EXPECT_EQ(log, (std::vector<std::string>{"keep 0", "replace 1", "keep 2"}));
  ExpectPeersAccept("arc.zip");
  EXPECT_EQ(Capture("unzip -p arc.zip b.txt"), "bravo, changed and longer\n");
}

TEST_F(LynZipUpdateTest, ReplaceTakesEveryMatchingFileWhateverItsDate) {
  MakeArchive();
  Write("src/a.txt", "A");  // same old date as the archived entry
  SetTime(H("src/a.txt"), 1600000000);
  std::vector<std::string> log;
  EXPECT_EQ(Update(writer::zaReplace, {"a.txt"}, &log), 1);
  EXPECT_EQ(PeerList("arc.zip"), "a.txt 1\nb.txt 6\nsub/c.txt 8\n");
  EXPECT_EQ(log, (std::vector<std::string>{"replace 0"}));
  // Under zaUpdate the same file, not newer, is carried over and not counted.
  Write("src/a.txt", "AAAA");
  SetTime(H("src/a.txt"), 1600000000);
  EXPECT_EQ(Update(writer::zaUpdate, {"a.txt"}), 0);
  EXPECT_EQ(Capture("unzip -p arc.zip a.txt"), "A");
}

TEST_F(LynZipUpdateTest, FreshenOnlyRefreshesEntriesAlreadyThere) {
  MakeArchive();
  Write("src/sub/c.txt", "charlie, newer\n");
  SetTime(H("src/sub/c.txt"), 1700000000);
  Write("src/new.txt", "not in the archive\n");
  SetTime(H("src/new.txt"), 1700000000);
  EXPECT_EQ(Update(writer::zaFreshen, {"*.*"}), 1);
  EXPECT_EQ(PeerList("arc.zip"), "a.txt 18\nb.txt 6\nsub/c.txt 15\n");
}

TEST_F(LynZipUpdateTest, CommentsAndExtraFieldsOfAPeerArchiveAreKept) {
  Write("src/a.txt", "alpha\n");
  Write("src/b.txt", "bravo\n");
  SetTime(H("src/a.txt"), 1600000000);
  SetTime(H("src/b.txt"), 1700000000);  // 0x6553F100 in the new entry's extended timestamp
  // Python writes an entry comment, an archive comment and a central extra field.
  ASSERT_EQ(Shell("cd src && python3 -c \"import zipfile\n"
                  "z=zipfile.ZipFile('../arc.zip','w',zipfile.ZIP_DEFLATED)\n"
                  "i=zipfile.ZipInfo('a.txt',(2020,1,1,0,0,0)); i.comment=b'entry note'\n"
                  "i.extra=b'\\x99\\x99\\x04\\x00abcd'; z.writestr(i,b'alpha old')\n"
                  "z.comment=b'archive note'; z.close()\""),
            0);
  EXPECT_EQ(Update(writer::zaUpdate, {"b.txt"}), 1);
  ExpectPeersAccept("arc.zip");
  const std::string info = Capture(
      "python3 -c \"import zipfile\nz=zipfile.ZipFile('arc.zip')\nprint(z.comment)\n"
      "for i in z.infolist(): print(i.filename, i.comment, i.extra)\"");
  EXPECT_EQ(info,
            "b'archive note'\na.txt b'entry note' b'\\x99\\x99\\x04\\x00abcd'\n"
            "b.txt b'' b'UT\\x05\\x00\\x01\\x00\\xf1Se'\n");
  EXPECT_EQ(Capture("unzip -p arc.zip a.txt"), "alpha old");
}

// Names marked UTF-8, one of them with no form in the ANSI code page 936: an update under 936
// writes every kept entry's name back as it was, bit 11 included.
TEST_F(LynZipUpdateTest, NamesMarkedUtf8OfAPeerArchiveAreKept) {
  Write("src/b.txt", "bravo\n");
  ASSERT_EQ(Shell("cd src && python3 -c \"import zipfile\n"
                  "z=zipfile.ZipFile('../arc.zip','w')\n"
                  "z.writestr('\\u4e2d\\u6587/x.txt', b'cjk')\n"
                  "z.writestr('\\U0001f600.txt', b'emoji')\n"
                  "z.close()\""),
            0);
  EXPECT_EQ(Update(writer::zaUpdate, {"b.txt"}), 1);
  ExpectPeersAccept("arc.zip");
  EXPECT_EQ(PeerList("arc.zip"),
            "\xE4\xB8\xAD\xE6\x96\x87/x.txt 3\n\xF0\x9F\x98\x80.txt 5\nb.txt 6\n");
}

TEST_F(LynZipUpdateTest, DirectoryAfterARunIsWhatALoadReads) {
  MakeArchive();
  Write("src/d.txt", "delta\n");
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.FilesList().Add("d.txt");
  ASSERT_EQ(zip.RunZip(), 1);
  archive::TLynUnZip reader;
  reader.SetZipName(D("arc.zip"));
  reader.OpenZip();
  ASSERT_EQ(zip.Count(), 4);
  ASSERT_EQ(reader.Count(), 4);
  for (int32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto& mine = zip.Entry(i);
    const auto& loaded = reader.Entry(i);
    EXPECT_EQ(mine.FullName(), loaded.FullName());
    EXPECT_EQ(mine.crc32, loaded.crc32);
    EXPECT_EQ(mine.compressedSize, loaded.compressedSize);
    EXPECT_EQ(mine.localHeaderOffset, loaded.localHeaderOffset);
    EXPECT_EQ(mine.dateTime, loaded.dateTime);
  }
  EXPECT_EQ(zip.EndCentral().totalEntries, 4);
  EXPECT_EQ(zip.EndCentral().centralOffset, reader.EndCentral().centralOffset);
  EXPECT_EQ(zip.ArchiveDate(), reader.ArchiveDate());
}

TEST_F(LynZipUpdateTest, SortModeAndKeepZipOpenComeBackAfterARun) {
  MakeArchive();
  writer::TLynZip zip;
  PrepareRelative(zip, D("arc.zip"), D("src"), 6);
  zip.SetSortMode(archive::ByName);
  zip.FilesList().Add("b.txt");
  Write("src/b.txt", "bravo 2\n");
  zip.RunZip();
  EXPECT_EQ(zip.SortMode(), archive::ByName);
  EXPECT_FALSE(zip.KeepZipOpen());
  EXPECT_EQ(zip.FilesList().Count(), 0);
  EXPECT_EQ(zip.Entry(0).FullName(), "a.txt");
  EXPECT_EQ(zip.Entry(2).FullName(), "sub\\c.txt");
}

}  // namespace
}  // namespace kestrel::testing
