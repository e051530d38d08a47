// sorted_zip.cpp — the TZipSortMode comparisons of TSortedZip.
#include "archive/sorted_zip.h"

#include "archive/zip64_records.h"
#include "classlib/date_time.h"
#include "support/string_helpers.h"

namespace kestrel::archive {

namespace {

unsigned char FoldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// Calendar value of a stored date-time; one that is not a valid date and time counts as 0.
classlib::DateTime CalendarOrZero(uint32_t dosDateTime) {
  classlib::DateTime value = 0;
  if (!classlib::TryFileDateToDateTime(dosDateTime, value)) return 0;
  return value;
}

// +1 when the signed 32-bit difference b - a is positive, otherwise -1: never equal.
int LargestFirst(uint32_t a, uint32_t b) {
  int32_t difference = static_cast<int32_t>(b - a);
  return difference > 0 ? 1 : -1;
}

// The local header offset as the directory order compares it: the 32-bit field, or the
// full-width offset where the field holds the zip64 marker. (Taken as a signed number, as it
// once was, it put the entries past 2 GiB first, and an update moved them to the front.)
int64_t OffsetKey(const TZipHeaderInfo& entry) {
  if (entry.localHeaderOffset == kZip64Marker) return static_cast<int64_t>(entry.localHeaderOffset64);
  return static_cast<int64_t>(entry.localHeaderOffset);
}

}  // namespace

int CompareNamesNoCase(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = FoldUpper(static_cast<unsigned char>(a[i]));
    unsigned char y = FoldUpper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int32_t CompressionRate(const TZipHeaderInfo& entry) {
  return support::Percent(static_cast<int32_t>(entry.uncompressedSize),
                          static_cast<int32_t>(entry.compressedSize));
}

int CompareZipEntries(TZipSortMode mode, const TZipHeaderInfo& key1, const TZipHeaderInfo& key2) {
  switch (mode) {
    case ByName:
      return CompareNamesNoCase(key1.FullName(), key2.FullName());
    case ByFileName:
      return CompareNamesNoCase(key1.FileName(), key2.FileName());
    case ByDirectoryName:
      return CompareNamesNoCase(key1.Directory(), key2.Directory());
    case ByDate:
      return CalendarOrZero(key2.dateTime) > CalendarOrZero(key1.dateTime) ? 1 : -1;
    case ByCompressedSize:
      return LargestFirst(key1.compressedSize, key2.compressedSize);
    case ByUnCompressedSize:
      return LargestFirst(key1.uncompressedSize, key2.uncompressedSize);
    case ByRate:
      return CompressionRate(key2) - CompressionRate(key1);
    case ByNone: {
      if (key1.diskNumberStart != key2.diskNumberStart) {
        return static_cast<int>(key1.diskNumberStart) - static_cast<int>(key2.diskNumberStart);
      }
      const int64_t a = OffsetKey(key1);
      const int64_t b = OffsetKey(key2);
      if (b < a) return 1;
      return a == b ? 0 : -1;
    }
  }
  return -1;
}

TSortedZip::TSortedZip(TDuplicates duplicates) : TSortedObjectList(duplicates) {}

int TSortedZip::Compare(const Object* key1, const Object* key2) const {
  return CompareZipEntries(sortMode_, *static_cast<const TZipHeaderInfo*>(key1),
                           *static_cast<const TZipHeaderInfo*>(key2));
}

}  // namespace kestrel::archive
