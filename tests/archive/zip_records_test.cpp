// zip_records_test.cpp — the three records' fixed parts: every field at its offset in
// little-endian order, signatures checked, and the name separator conventions.
#include <gtest/gtest.h>

#include <string>

#include "archive/zip_records.h"

namespace kestrel::archive {
namespace {

TEST(ZipRecords, CentralHeaderFieldsSitAtTheirOffsets) {
  CentralFileHeader h;
  h.versionMadeBy = 0x0314;
  h.flags = 0x0809;
  h.method = 8;
  h.dateTime = 0x5A8B6C21;
  h.crc32 = 0xCAFEBABE;
  h.compressedSize = 0x01020304;
  h.uncompressedSize = 0x0A0B0C0D;
  h.nameLength = 5;
  h.extraLength = 6;
  h.commentLength = 7;
  h.diskNumberStart = 2;
  h.internalAttributes = 1;
  h.externalAttributes = 0x81A40020;
  h.localHeaderOffset = 0x11223344;
  uint8_t bytes[kCentralHeaderSize];
  EncodeCentralHeader(h, bytes);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 6), std::string("PK\x01\x02\x14\x03", 6));
  EXPECT_EQ(bytes[12], 0x21);  // DOS time low byte first, the date after it
  EXPECT_EQ(bytes[15], 0x5A);
  EXPECT_EQ(bytes[42], 0x44);
  EXPECT_EQ(bytes[45], 0x11);
  EXPECT_EQ(h.RecordSize(), 46u + 5 + 6 + 7);
  EXPECT_FALSE(h.MadeOnDos());

  CentralFileHeader back;
  ASSERT_TRUE(DecodeCentralHeader(bytes, sizeof bytes, back));
  EXPECT_EQ(back.externalAttributes, h.externalAttributes);
  EXPECT_EQ(back.localHeaderOffset, h.localHeaderOffset);
  EXPECT_EQ(back.commentLength, 7);
  // Short input or another signature: refused, the record left alone.
  CentralFileHeader untouched;
  EXPECT_FALSE(DecodeCentralHeader(bytes, sizeof bytes - 1, untouched));
  bytes[3] = 0x06;
  EXPECT_FALSE(DecodeCentralHeader(bytes, sizeof bytes, untouched));
  EXPECT_EQ(untouched.crc32, 0u);
}

TEST(ZipRecords, LocalHeaderAndEndRecordRoundTrip) {
  LocalFileHeader local;
  local.flags = kFlagEncrypted | kFlagMaxCompression;
  local.crc32 = 0x89ABCDEF;
  local.compressedSize = 112;
  local.nameLength = 9;
  local.extraLength = 4;
  uint8_t l[kLocalHeaderSize];
  EncodeLocalHeader(local, l);
  EXPECT_EQ(l[0], 0x50);
  EXPECT_EQ(l[3], 0x04);
  EXPECT_EQ(l[14], 0xEF);
  LocalFileHeader localBack;
  ASSERT_TRUE(DecodeLocalHeader(l, sizeof l, localBack));
  EXPECT_EQ(localBack.flags, 3);
  EXPECT_EQ(localBack.RecordSize(), 30u + 9 + 4);

  EndCentralRecord end;
  end.entriesOnDisk = end.totalEntries = 3;
  end.centralSize = 150;
  end.centralOffset = 0x00ABCDEF;
  end.commentLength = 12;
  uint8_t e[kEndCentralSize];
  EncodeEndCentral(end, e);
  EXPECT_EQ(e[16], 0xEF);
  EXPECT_EQ(e[20], 12);
  EndCentralRecord endBack;
  ASSERT_TRUE(DecodeEndCentral(e, sizeof e, endBack));
  EXPECT_EQ(endBack.centralOffset, end.centralOffset);
  EXPECT_EQ(endBack.RecordSize(), 34u);
  EXPECT_FALSE(DecodeEndCentral(e, 21, endBack));
}

TEST(ZipRecords, NameSeparators) {
  std::string stored = "dir/sub/file.txt";
  StoredNameToMemory(stored);
  EXPECT_EQ(stored, "dir\\sub\\file.txt");
  // In code page 936 the trail byte of a two-byte character may be 0x5C: it stays.
  std::string memory = "\xD6\xD0\\\x81\x5C.txt";
  MemoryNameToStored(memory);
  EXPECT_EQ(memory, "\xD6\xD0/\x81\x5C.txt");
}

}  // namespace
}  // namespace kestrel::archive
