// zip64_records_test.cpp — the zip64 structures, the extra field walk and the choice of an
// archive's directory: which end record, the zip64 end record behind its locator, the shift of
// an archive with data in front.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "archive/directory_location.h"
#include "archive/extra_fields.h"
#include "archive/zip64_records.h"

namespace kestrel::archive {
namespace {

TEST(Zip64Records, ExtraCarriesOnlyTheMarkedFieldsInTheirOrder) {
  CentralFileHeader h;
  h.uncompressedSize = 10;
  h.compressedSize = kZip64Marker;
  h.localHeaderOffset = kZip64Marker;
  const Zip64Values wide{0, 0x123456789ull, 0x2000000000ull, 0};
  uint8_t field[kZip64ExtraMaxSize];
  const size_t n = EncodeZip64Extra(wide, MarkedFields(h), field);
  ASSERT_EQ(n, 4u + 16);
  EXPECT_EQ(LoadLe64(field + 4), 0x123456789ull);  // compressed first: uncompressed is not marked

  // Behind another block, the values come back; the unmarked field keeps its classic value.
  std::vector<uint8_t> extra{0x55, 0x54, 1, 0, 7};
  extra.insert(extra.end(), field, field + n);
  Zip64Values values;
  ASSERT_TRUE(ResolveZip64(h, extra.data(), extra.size(), values));
  EXPECT_EQ(values.uncompressedSize, 10u);
  EXPECT_EQ(values.compressedSize, 0x123456789ull);
  EXPECT_EQ(values.localHeaderOffset, 0x2000000000ull);

  // A block running past the area, one byte short of what the markers demand, no block.
  EXPECT_FALSE(ResolveZip64(h, extra.data(), extra.size() - 1, values));
  EXPECT_FALSE(FindExtraField(extra.data(), extra.size() - 1, kZip64ExtraId).has_value());
  extra[extra.size() - n + 2] = 15;
  EXPECT_TRUE(FindExtraField(extra.data(), extra.size(), kZip64ExtraId).has_value());
  EXPECT_FALSE(ResolveZip64(h, extra.data(), extra.size(), values));
  EXPECT_FALSE(ResolveZip64(h, nullptr, 0, values));
  EXPECT_EQ(values.compressedSize, kZip64Marker);

  // A local header carries both sizes once either is marked.
  LocalFileHeader local;
  local.compressedSize = kZip64Marker;
  const Zip64Values sizes{5000000000ull, 4000000000ull, 0, 0};
  const size_t m = EncodeZip64Extra(sizes, MarkedFields(local), field);
  ASSERT_EQ(m, 20u);
  ASSERT_TRUE(ResolveZip64(local, field, m, values));
  EXPECT_EQ(values.uncompressedSize, 5000000000ull);
  EXPECT_EQ(values.compressedSize, 4000000000ull);
}

// An archive image: [prefix] directory of one record, zip64 end record, locator, end record.
struct Image {
  std::vector<uint8_t> bytes;
  ReadAt Reader() const {
    return [this](int64_t at, uint8_t* out, uint32_t n) {
      if (at < 0 || uint64_t(at) + n > bytes.size()) return false;
      std::memcpy(out, bytes.data() + at, n);
      return true;
    };
  }
  template <size_t N>
  void Add(const uint8_t (&b)[N]) { bytes.insert(bytes.end(), b, b + N); }
};

Image Zip64Image(size_t prefix, uint64_t recordedLocatorOffset, bool adjusted) {
  Image image;
  image.bytes.assign(prefix, 'x');
  const uint64_t base = adjusted ? 0 : prefix;  // offsets as the writer recorded them
  CentralFileHeader c;
  uint8_t central[kCentralHeaderSize];
  EncodeCentralHeader(c, central);
  image.Add(central);
  Zip64EndRecord z;
  z.totalEntries = z.entriesOnDisk = 1;
  z.centralSize = kCentralHeaderSize;
  z.centralOffset = prefix - base;
  uint8_t zEnd[kZip64EndSize];
  EncodeZip64End(z, zEnd);
  image.Add(zEnd);
  Zip64Locator l;
  l.endOffset = recordedLocatorOffset;
  uint8_t loc[kZip64LocatorSize];
  EncodeZip64Locator(l, loc);
  image.Add(loc);
  EndCentralRecord e;
  e.totalEntries = e.entriesOnDisk = kZip64Marker16;
  e.centralSize = e.centralOffset = kZip64Marker;
  uint8_t end[kEndCentralSize];
  EncodeEndCentral(e, end);
  image.Add(end);
  return image;
}

TEST(DirectoryLocation, Zip64EndRecordFoundAndOffsetsShiftedForDataInFront) {
  const int64_t endAt = 100 + kCentralHeaderSize + kZip64EndSize + kZip64LocatorSize;
  EndCentralRecord e;
  e.totalEntries = kZip64Marker16;
  e.centralSize = e.centralOffset = kZip64Marker;
  DirectoryLocation where;
  // Adjusted archive: offsets already count from the start of the file.
  Image adjusted = Zip64Image(100, 100 + kCentralHeaderSize, true);
  ASSERT_TRUE(ResolveDirectory(adjusted.Reader(), endAt, e, where));
  EXPECT_EQ(where.zip64EndPosition, 100 + int64_t{kCentralHeaderSize});
  EXPECT_EQ(where.totalEntries, 1u);
  EXPECT_EQ(where.shift, 0);
  EXPECT_EQ(where.CentralStart(), 100);
  // Unadjusted: the locator and the directory offset ignore the 100 bytes in front.
  Image unadjusted = Zip64Image(100, kCentralHeaderSize, false);
  ASSERT_TRUE(ResolveDirectory(unadjusted.Reader(), endAt, e, where));
  EXPECT_EQ(where.shift, 100);
  EXPECT_EQ(where.CentralStart(), 100);
  EXPECT_EQ(where.DirectoryEnd(), 100 + int64_t{kCentralHeaderSize});
  // A locator pointing past the file, with no record before it: refused, never read outside.
  Image broken = Zip64Image(0, ~0ull, true);
  broken.bytes[kCentralHeaderSize] ^= 0xFF;  // the zip64 end record's signature
  EXPECT_FALSE(ResolveDirectory(broken.Reader(), endAt - 100, e, where));
}

TEST(DirectoryLocation, TheEndRecordIsTheOneThatEndsTheFile) {
  // A real end record whose comment holds a fake one; then the same with bytes after it.
  std::vector<uint8_t> tail(kEndCentralSize + 30, 0);
  EndCentralRecord real;
  real.commentLength = 30;
  uint8_t record[kEndCentralSize];
  EncodeEndCentral(real, record);
  std::memcpy(tail.data(), record, sizeof record);
  EndCentralRecord fake;
  fake.commentLength = 3;
  EncodeEndCentral(fake, record);
  std::memcpy(tail.data() + kEndCentralSize + 2, record, sizeof record);
  EXPECT_EQ(FindExactEndCentral(tail.data(), tail.size()), 0);
  tail.push_back(0);
  EXPECT_EQ(FindExactEndCentral(tail.data(), tail.size()), -1);
  EXPECT_EQ(FindExactEndCentral(tail.data(), 10), -1);
}

}  // namespace
}  // namespace kestrel::archive
