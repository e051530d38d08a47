// unicode_comments_test.cpp — entry comments marked UTF-8 (bit 11) or carried by a Unicode
// comment field come out of the component in the ANSI code page in force and out of the
// reading interface in UTF-8, and a comment set on
// an entry marked UTF-8 is stored as UTF-8, as the peers read it.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "archive/lyn_unzip.h"
#include "kestrel.h"
#include "interop/peer_archives.h"
#include "writer/lyn_zip.h"

namespace kestrel::interop {
namespace {

class UnicodeComments : public PeerScratch {
 protected:
  // 中文.txt (bit 11) with the comment "é中文" in UTF-8; field.txt with the raw comment "old"
  // and a Unicode comment field "При" made for it; stale.txt with the raw comment "now" and a
  // field made for another comment.
  void SetUp() override {
    PeerScratch::SetUp();
    ASSERT_EQ(Sh("python3 -c \"import struct, zipfile, zlib\n"
                 "def field(raw, text):\n"
                 "    u = text.encode()\n"
                 "    return struct.pack('<HHBI', 0x6375, 5 + len(u), 1, zlib.crc32(raw)) + u\n"
                 "z = zipfile.ZipFile('c.zip', 'w')\n"
                 "i = zipfile.ZipInfo('\\u4e2d\\u6587.txt')\n"
                 "i.comment = '\\u00e9\\u4e2d\\u6587'.encode()\n"
                 "z.writestr(i, b'1')\n"
                 "i = zipfile.ZipInfo('field.txt')\n"
                 "i.comment = b'old'\n"
                 "i.extra = field(b'old', '\\u041f\\u0440\\u0438')\n"
                 "z.writestr(i, b'2')\n"
                 "i = zipfile.ZipInfo('stale.txt')\n"
                 "i.comment = b'now'\n"
                 "i.extra = field(b'before', '\\u041f\\u0440\\u0438')\n"
                 "z.writestr(i, b'3')\n"
                 "z.close()\""),
              0);
  }
  // Every entry's comment by name, read by the component with this ANSI code page.
  std::map<std::string, std::string> Comments(int ansi) const {
    os::CodePageScope pages(ansi, ansi);
    archive::TLynUnZip zip;
    zip.SetZipName(Drive("c.zip"));
    zip.OpenZip();
    std::map<std::string, std::string> comments;
    for (int32_t i = 0; i < zip.Count(); ++i) comments[zip.Entry(i).FullName()] = zip.FileCommentOf(i);
    return comments;
  }
};

TEST_F(UnicodeComments, MarkedAndFieldCommentsAreConverted) {
  EXPECT_EQ(Comments(65001), (std::map<std::string, std::string>{
                                 {"\xE4\xB8\xAD\xE6\x96\x87.txt", "\xC3\xA9\xE4\xB8\xAD\xE6\x96\x87"},
                                 {"field.txt", "\xD0\x9F\xD1\x80\xD0\xB8"},
                                 {"stale.txt", "now"}}));
  // The same in GBK: é is A8A6, 中文 D6D0 CEC4, При A7B1 A7E2 A7DA.
  EXPECT_EQ(Comments(936), (std::map<std::string, std::string>{
                               {"\xD6\xD0\xCE\xC4.txt", "\xA8\xA6\xD6\xD0\xCE\xC4"},
                               {"field.txt", "\xA7\xB1\xA7\xE2\xA7\xDA"},
                               {"stale.txt", "now"}}));
}

TEST_F(UnicodeComments, ReaderInterfaceGivesTheSameCommentsInUtf8) {
  kestrel_reader* reader = kestrel_reader_new();
  ASSERT_EQ(kestrel_reader_open(reader, Host("c.zip").c_str()), KESTREL_OK);
  std::map<std::string, std::string> comments;
  kestrel_entry entry;
  while (kestrel_reader_next(reader, &entry) == KESTREL_OK) comments[entry.name] = entry.comment;
  kestrel_reader_close(reader);
  EXPECT_EQ(comments, (std::map<std::string, std::string>{
                          {"\xE4\xB8\xAD\xE6\x96\x87.txt", "\xC3\xA9\xE4\xB8\xAD\xE6\x96\x87"},
                          {"field.txt", "\xD0\x9F\xD1\x80\xD0\xB8"},
                          {"stale.txt", "now"}}));
}

// Under code page 936 a GBK comment set on the entry marked UTF-8 is stored as UTF-8; the
// unmarked entry keeps its bytes.
TEST_F(UnicodeComments, CommentSetOnAMarkedEntryIsStoredAsUtf8) {
  {
    os::CodePageScope pages(936, 936);
    writer::TLynZip zip;
    zip.SetZipName(Drive("c.zip"));
    zip.OpenZip();
    for (int32_t i = 0; i < zip.Count(); ++i) {
      if (zip.Entry(i).FullName() == "\xD6\xD0\xCE\xC4.txt") zip.SetFileComment(i, "\xA7\xB1\xD6\xD0");
    }
    zip.RunZip();
  }
  EXPECT_EQ(Capture("export LC_ALL=C.UTF-8 && python3 -c \"import zipfile\n"
                    "for i in zipfile.ZipFile('c.zip').infolist(): print(i.filename, i.comment)\""),
            "\xE4\xB8\xAD\xE6\x96\x87.txt b'\\xd0\\x9f\\xe4\\xb8\\xad'\n"
            "field.txt b'old'\nstale.txt b'now'\n");
  EXPECT_EQ(Sh("unzip -tq c.zip"), 0);
}

}  // namespace
}  // namespace kestrel::interop
