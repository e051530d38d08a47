// sorted_zip.h — TSortedZip: a sorted object list of TZipHeaderInfo entries, ordered by one
// of the TZipSortMode comparisons (physical order by default).
#pragma once

#include <cstdint>

#include "archive/object_list.h"
#include "archive/zip_header_info.h"

namespace kestrel::archive {

enum TZipSortMode : uint8_t {
  ByName,              // directory plus file name, ascending, ignoring case
  ByFileName,          // file name, ascending, ignoring case
  ByDirectoryName,     // directory, ascending, ignoring case
  ByDate,              // newest first
  ByCompressedSize,    // largest first
  ByUnCompressedSize,  // largest first
  ByRate,              // highest compressed-to-uncompressed percentage first
  ByNone,              // physical: disk number start, then local header offset
};

// Compares two names folding only the ASCII letters a-z to upper case, other bytes unsigned;
// a prefix sorts first.
int CompareNamesNoCase(const std::string& a, const std::string& b);
// The rate used by ByRate: compressed size as a percentage of the uncompressed size.
int32_t CompressionRate(const TZipHeaderInfo& entry);
// key1 is the entry already listed, key2 the one searched or inserted.
int CompareZipEntries(TZipSortMode mode, const TZipHeaderInfo& key1, const TZipHeaderInfo& key2);

class TSortedZip : public TSortedObjectList {
 public:
  explicit TSortedZip(TDuplicates duplicates);
  std::string ClassName() const override { return "TSortedZip"; }

  TZipSortMode SortMode() const { return sortMode_; }
  void SetSortMode(TZipSortMode mode) { sortMode_ = mode; }

  TZipHeaderInfo* Header(int32_t index) const {
    return static_cast<TZipHeaderInfo*>(Get(index));
  }

  int Compare(const Object* key1, const Object* key2) const override;

 private:
  TZipSortMode sortMode_ = ByNone;
};

}  // namespace kestrel::archive
