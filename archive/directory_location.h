// directory_location.h — where an archive's central directory lies: which end record is the
// archive's own, the zip64 end record behind its locator, and the shift of every recorded
// offset when data stands in front of the archive (a self-extractor stub, a script).
//
// Both reading engines (the walker and the component's loader) decide through these functions,
// so one file gives one directory whichever engine reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "archive/zip_records.h"

namespace kestrel::archive {

// Reads exactly count bytes at position of the file being located; false when it cannot.
using ReadAt = std::function<bool(int64_t position, uint8_t* buffer, uint32_t count)>;

// The end record with the longest comment lies this far from the end of the file.
inline constexpr uint32_t kEndRecordReach = kEndCentralSize + 0xFFFF;

// Index in tail (the last n bytes of a file) of the end record nearest the end whose comment
// length reaches exactly to the end of the file; -1 when none does. An end record hidden in
// another one's comment is then not taken for the archive's, unless it is the one that ends
// the file.
std::ptrdiff_t FindExactEndCentral(const uint8_t* tail, size_t n);

struct DirectoryLocation {
  int64_t endPosition = 0;        // the classic end record
  int64_t zip64EndPosition = -1;  // the zip64 end record; -1 when there is none
  uint64_t totalEntries = 0;
  uint64_t centralSize = 0;
  uint64_t centralOffset = 0;     // as recorded
  int64_t shift = 0;              // added to every recorded offset; never negative

  bool Zip64() const { return zip64EndPosition >= 0; }
  // Where the first central record is, in the file.
  int64_t CentralStart() const { return static_cast<int64_t>(centralOffset) + shift; }
  // Where the directory must end: the record that follows it.
  int64_t DirectoryEnd() const { return Zip64() ? zip64EndPosition : endPosition; }
};

// Whether the records a directory walk read agree with the count its end record declares:
// equal, or equal modulo 65,536 (writers without zip64 count past 65,535 that way).
bool CountAgrees(uint64_t read, uint64_t declared);

// Completes location for the classic end record end found at endPosition: the zip64 values
// when a locator stands right before it, and the shift. False when a locator stands there but
// no zip64 end record can be found where it points (or right before it).
bool ResolveDirectory(const ReadAt& read, int64_t endPosition, const EndCentralRecord& end,
                      DirectoryLocation& location);

}  // namespace kestrel::archive
