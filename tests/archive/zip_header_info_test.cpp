// TZipHeaderInfo and TEndCentral: defaults, names, assignment, and the records they read
// and write.
#include "archive/zip_header_info.h"

#include <gtest/gtest.h>

#include "archive_fixtures.h"
#include "classlib/exception.h"
#include "classlib/memory_stream.h"
#include "platform/platform.h"

namespace kestrel::archive {
namespace {

using classlib::MemoryStream;
using fixtures::Get16;
using fixtures::Get32;
using fixtures::Put16;
using fixtures::Put32;

std::vector<uint8_t> CentralRecord(const std::string& name, uint16_t madeBy, uint16_t extra = 0,
                                   uint16_t comment = 0) {
  std::vector<uint8_t> r(46 + name.size(), 0);
  Put32(r, 0, 0x02014B50u);
  Put16(r, 4, madeBy);
  Put16(r, 6, 20);
  Put16(r, 8, 0x0008);
  Put16(r, 10, 8);
  Put32(r, 12, (0x5A21u << 16) | 0x6C45u);  // 2025-01-01 13:34:10
  Put32(r, 16, 0xDEADBEEFu);
  Put32(r, 20, 123);
  Put32(r, 24, 456);
  Put16(r, 28, static_cast<uint16_t>(name.size()));
  Put16(r, 30, extra);
  Put16(r, 32, comment);
  Put16(r, 34, 2);
  Put16(r, 36, 1);
  Put32(r, 38, 0x81A40020u);
  Put32(r, 42, 777);
  for (size_t i = 0; i < name.size(); ++i) r[46 + i] = static_cast<uint8_t>(name[i]);
  return r;
}

TEST(ZipHeaderInfo, NewHeaderWritesTheDefaultLocalRecord) {
  TZipHeaderInfo h;
  MemoryStream out;
  h.WriteLocal(out);
  const auto& b = out.Bytes();
  ASSERT_EQ(b.size(), 30u);
  EXPECT_EQ(Get32(b, 0), 0x04034B50u);
  EXPECT_EQ(Get16(b, 4), 20);
  EXPECT_EQ(Get16(b, 6), 0);
  EXPECT_EQ(Get16(b, 8), 8);
  EXPECT_EQ(Get32(b, 10), 0u);
  EXPECT_EQ(Get32(b, 14), 0xFFFFFFFFu);
  EXPECT_EQ(Get32(b, 18), 0u);
  EXPECT_EQ(Get32(b, 22), 0u);
  EXPECT_EQ(Get16(b, 26), 0);
  EXPECT_EQ(Get16(b, 28), 0);
  EXPECT_EQ(h.internalAttributes, 1);
  EXPECT_EQ(h.externalAttributes, 0x20u);
  EXPECT_EQ(h.Comment(), nullptr);
}

TEST(ZipHeaderInfo, DirectoryAndFileNameMakeTheStoredName) {
  TZipHeaderInfo h;
  h.SetDirectory("docs");
  EXPECT_EQ(h.Directory(), "docs\\");
  h.SetFileName("a.txt");
  EXPECT_EQ(h.fileNameLength, 10);
  MemoryStream out;
  out.Write("xx", 2);  // the offset is where the record starts
  h.WriteLocal(out);
  EXPECT_EQ(h.localHeaderOffset, 2u);
  const auto& b = out.Bytes();
  ASSERT_EQ(b.size(), 2u + 30 + 10);
  EXPECT_EQ(std::string(b.begin() + 32, b.end()), "docs/a.txt");
  EXPECT_EQ(h.LocalSize(), 40u);
  h.SetComment("note");
  h.centralExtraLength = 3;
  EXPECT_EQ(h.CentralSize(), 46u + 10 + 3 + 4);
}

TEST(ZipHeaderInfo, CentralRecordRoundTripsWithExtraAndComment) {
  TZipHeaderInfo h;
  h.SetDirectory("a\\b");
  h.SetFileName("c.bin");
  h.SetComment("hello");
  h.centralExtraLength = 4;
  h.crc32 = 0x01020304u;
  h.localHeaderOffset = 99;
  MemoryStream out;
  const uint8_t extra[4] = {1, 2, 3, 4};
  h.WriteCentral(out, extra);
  const auto& b = out.Bytes();
  ASSERT_EQ(b.size(), h.CentralSize());
  EXPECT_EQ(std::string(b.begin() + 46, b.begin() + 55), "a/b/c.bin");
  EXPECT_EQ(b[55], 1);
  EXPECT_EQ(std::string(b.end() - 5, b.end()), "hello");

  MemoryStream in(b);
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadCentral(in));
  EXPECT_EQ(in.Position(), 46 + 9);  // left after the name
  EXPECT_EQ(r.Directory(), "a\\b\\");
  EXPECT_EQ(r.FileName(), "c.bin");
  EXPECT_EQ(r.crc32, 0x01020304u);
  EXPECT_EQ(r.localHeaderOffset, 99u);
  EXPECT_EQ(r.centralExtraLength, 4);
  EXPECT_EQ(r.fileCommentLength, 5);
  EXPECT_EQ(r.Comment(), nullptr);  // comments are loaded on demand
  EXPECT_EQ(r.centralHeaderPosition, 0u);
}

TEST(ZipHeaderInfo, ReadCentralSplitsDirectoriesAndKeepsLocalFields) {
  auto rec = CentralRecord("dir/sub/", 20);
  std::vector<uint8_t> bytes(5, 0);
  bytes.insert(bytes.end(), rec.begin(), rec.end());
  MemoryStream in(bytes);
  in.Seek(5, classlib::soFromBeginning);
  TZipHeaderInfo h;
  h.localExtraLength = 9;
  h.workByte1 = h.workByte2 = h.workByte3 = 5;
  ASSERT_TRUE(h.ReadCentral(in));
  EXPECT_EQ(h.Directory(), "dir\\sub\\");
  EXPECT_EQ(h.FileName(), "");
  EXPECT_EQ(h.centralHeaderPosition, 5u);
  EXPECT_EQ(h.localExtraLength, 9);  // not part of the central record
  EXPECT_EQ(h.workByte1, 0);
  EXPECT_EQ(h.workByte2, 5);
  EXPECT_EQ(h.workByte3, 0);
  EXPECT_EQ(h.diskNumberStart, 2);
  EXPECT_EQ(h.externalAttributes, 0x81A40020u);
  EXPECT_EQ(h.dateTime, (0x5A21u << 16) | 0x6C45u);
}

TEST(ZipHeaderInfo, ReadFailuresRestoreThePosition) {
  auto rec = CentralRecord("name.txt", 20);
  // A short name read.
  std::vector<uint8_t> cut(rec.begin(), rec.end() - 3);
  MemoryStream in(cut);
  TZipHeaderInfo h;
  EXPECT_FALSE(h.ReadCentral(in));
  EXPECT_EQ(in.Position(), 0);
  // A wrong signature.
  rec[2] = 3;
  MemoryStream wrong(rec);
  EXPECT_FALSE(h.ReadCentral(wrong));
  EXPECT_EQ(wrong.Position(), 0);
  EXPECT_FALSE(h.ReadLocal(wrong));
  EXPECT_EQ(wrong.Position(), 0);
  MemoryStream empty;
  EXPECT_FALSE(h.ReadLocal(empty));
}

TEST(ZipHeaderInfo, DateTimeIsClampedOnReading) {
  auto rec = CentralRecord("x", 20);
  // Month 0, hour 31: month becomes 1, hour 23.
  Put32(rec, 12, (((45u << 9) | (0u << 5) | 7u) << 16) | (31u << 11) | (10u << 5) | 2u);
  MemoryStream in(rec);
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentral(in));
  EXPECT_EQ(h.dateTime >> 16, (45u << 9) | (1u << 5) | 7u);
  EXPECT_EQ(h.dateTime & 0xFFFF, (23u << 11) | (10u << 5) | 2u);
}

TEST(ZipHeaderInfo, CentralRecordCutAtTheEndOfADiskContinuesOnTheNext) {
  auto rec = CentralRecord("split.txt", 20);
  MemoryStream first(std::vector<uint8_t>(rec.begin(), rec.begin() + 20));
  MemoryStream second(std::vector<uint8_t>(rec.begin() + 20, rec.end()));
  classlib::Stream* current = &first;
  int calls = 0;
  TZipHeaderInfo h;
  ASSERT_TRUE(h.ReadCentral(current, [&](TZipHeaderInfo&, classlib::Stream*& s) {
    ++calls;
    s = &second;
  }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(current, &second);
  EXPECT_EQ(h.FileName(), "split.txt");
}

TEST(ZipHeaderInfo, OemConversionFollowsTheHostByte) {
  // Under code page 1252 / OEM 437 the OEM byte 0x81 is the ANSI u-umlaut 0xFC.
  ASSERT_TRUE(os::host::SetCodePages(1252, 437));
  auto dos = CentralRecord("\x81.txt", 0x0014);
  auto unix = CentralRecord("\x81.txt", 0x0314);
  TZipHeaderInfo a, b;
  a.oemConvert = b.oemConvert = true;
  MemoryStream ina(dos), inb(unix);
  ASSERT_TRUE(a.ReadCentral(ina));
  ASSERT_TRUE(b.ReadCentral(inb));
  EXPECT_EQ(a.FileName(), "\xFC.txt");
  EXPECT_EQ(b.FileName(), "\x81.txt");
  // A local header is always converted, and the writer converts back.
  MemoryStream out;
  a.WriteLocal(out);
  MemoryStream back(out.Bytes());
  TZipHeaderInfo c;
  c.oemConvert = true;
  ASSERT_TRUE(c.ReadLocal(back));
  EXPECT_EQ(c.FileName(), "\xFC.txt");
  EXPECT_EQ(std::string(out.Bytes().begin() + 30, out.Bytes().end()), "\x81.txt");
  ASSERT_TRUE(os::host::SetCodePages(936, 936));
}

TEST(ZipHeaderInfo, TrailByteBackslashOfACodePage936NameIsNotASeparator) {
  // "\x95\x5C" is one character of code page 936 whose trail byte is 0x5C.
  ASSERT_TRUE(os::host::SetCodePages(936, 936));
  TZipHeaderInfo h;
  h.SetDirectory("d");
  h.SetFileName("\x95\x5C.txt");
  MemoryStream out;
  h.WriteLocal(out);
  EXPECT_EQ(std::string(out.Bytes().begin() + 30, out.Bytes().end()), "d/\x95\x5C.txt");
  MemoryStream in(out.Bytes());
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadLocal(in));
  EXPECT_EQ(r.Directory(), "d\\");
  EXPECT_EQ(r.FileName(), "\x95\x5C.txt");
}

TEST(ZipHeaderInfo, AssignCopiesEverythingButTheOemFlag) {
  TZipHeaderInfo a;
  a.SetDirectory("x");
  a.SetFileName("y");
  a.SetComment("c");
  a.crc32 = 5;
  a.localExtraLength = 7;
  a.centralHeaderPosition = 11;
  a.workByte2 = 3;
  a.oemConvert = true;
  TZipHeaderInfo b;
  b.Assign(a);
  EXPECT_EQ(b.FullName(), "x\\y");
  ASSERT_NE(b.Comment(), nullptr);
  EXPECT_STREQ(b.Comment(), "c");
  EXPECT_EQ(b.crc32, 5u);
  EXPECT_EQ(b.localExtraLength, 7);
  EXPECT_EQ(b.centralHeaderPosition, 11u);
  EXPECT_EQ(b.workByte2, 3);
  EXPECT_FALSE(b.oemConvert);
  TEndCentral end;
  EXPECT_THROW(b.Assign(end), classlib::EConvertError);
}

TEST(EndCentral, WriteAndAssignKeepTheCommentAndItsLength) {
  TEndCentral e;
  e.totalEntries = e.entriesOnDisk = 3;
  e.centralOffset = 1000;
  e.SetComment("archive note");
  EXPECT_EQ(e.Size(), 22u + 12);
  MemoryStream out;
  e.Write(out);
  const auto& b = out.Bytes();
  ASSERT_EQ(b.size(), 34u);
  EXPECT_EQ(Get32(b, 0), 0x06054B50u);
  EXPECT_EQ(Get16(b, 10), 3);
  EXPECT_EQ(Get32(b, 16), 1000u);
  EXPECT_EQ(Get16(b, 20), 12);
  EXPECT_EQ(std::string(b.begin() + 22, b.end()), "archive note");
  TEndCentral f;
  f.commentsChanged = true;
  f.Assign(e);
  EXPECT_EQ(f.totalEntries, 3);
  EXPECT_STREQ(f.Comment(), "archive note");
  EXPECT_TRUE(f.commentsChanged);  // not copied
  f.SetComment("");
  EXPECT_EQ(f.Comment(), nullptr);
  EXPECT_FALSE(f.HasComment());
}

TEST(EndCentral, LocateFindsTheRecordNearestTheEnd) {
  // Empty file: found, nothing changed. 1 to 21 bytes: not found.
  TEndCentral e;
  MemoryStream empty;
  EXPECT_TRUE(e.Locate(empty));
  MemoryStream tiny(std::vector<uint8_t>(21, 0x50));
  EXPECT_FALSE(e.Locate(tiny));

  // A false record inside the comment loses to the one whose comment ends the file; with bytes
  // after the comment, no record ends the file and the nearest one wins.
  std::vector<uint8_t> real(22, 0);
  Put32(real, 0, 0x06054B50u);
  Put16(real, 10, 1);
  std::vector<uint8_t> comment(30, 'c');
  Put32(comment, 2, 0x06054B50u);
  Put16(comment, 2 + 10, 9);
  Put16(real, 20, static_cast<uint16_t>(comment.size()));
  std::vector<uint8_t> file(100, 0);
  file.insert(file.end(), real.begin(), real.end());
  file.insert(file.end(), comment.begin(), comment.end());
  MemoryStream withFalse(file);
  ASSERT_TRUE(e.Locate(withFalse));
  EXPECT_EQ(e.totalEntries, 1);
  EXPECT_EQ(e.commentPosition, 100 + 22);
  file.push_back(0);
  MemoryStream trailing(file);
  ASSERT_TRUE(e.Locate(trailing));
  EXPECT_EQ(e.totalEntries, 9);
  EXPECT_EQ(e.commentPosition, 100 + 22 + 2 + 22);
}

TEST(EndCentral, LocateSearchesExactlyTheLargestCommentBack) {
  std::vector<uint8_t> real(22, 0);
  Put32(real, 0, 0x06054B50u);
  Put16(real, 20, 0xFFFF);
  std::vector<uint8_t> file(10, 0);
  file.insert(file.end(), real.begin(), real.end());
  file.resize(file.size() + 0xFFFF, 'x');
  TEndCentral e;
  MemoryStream max(file);
  ASSERT_TRUE(e.Locate(max));
  EXPECT_EQ(e.commentLength, 0xFFFF);
  EXPECT_EQ(e.commentPosition, 32u);
  file.push_back('x');  // one byte more: the record lies outside the window
  MemoryStream beyond(file);
  EXPECT_FALSE(e.Locate(beyond));
}

}  // namespace
}  // namespace kestrel::archive
