// directory_location.cpp — choosing the end record, following the zip64 locator and finding
// the offset shift of a prefixed archive.
#include "archive/directory_location.h"

#include "archive/zip64_records.h"

namespace kestrel::archive {

namespace {

constexpr int64_t kNoLocator = -1;
constexpr int64_t kLocatorWithoutRecord = -2;

// The zip64 end record announced by a locator right before the end record: at the recorded
// offset, or (archive with data in front) right before the locator.
int64_t FindZip64End(const ReadAt& read, int64_t endPosition, Zip64EndRecord& record) {
  const int64_t locatorPosition = endPosition - kZip64LocatorSize;
  uint8_t bytes[kZip64EndSize];
  Zip64Locator locator;
  if (locatorPosition < 0 || !read(locatorPosition, bytes, kZip64LocatorSize) ||
      !DecodeZip64Locator(bytes, kZip64LocatorSize, locator)) {
    return kNoLocator;
  }
  const int64_t latest = locatorPosition - kZip64EndSize;  // last place a record fits
  for (uint64_t candidate : {locator.endOffset, static_cast<uint64_t>(latest)}) {
    if (latest < 0 || candidate > static_cast<uint64_t>(latest)) continue;
    const auto at = static_cast<int64_t>(candidate);
    Zip64EndRecord r;
    if (!read(at, bytes, kZip64EndSize) || !DecodeZip64End(bytes, kZip64EndSize, r)) continue;
    // Its own size must keep it in front of the locator.
    if (r.tailSize < kZip64EndTailSize || r.tailSize > uint64_t(locatorPosition - at - 12)) {
      continue;
    }
    record = r;
    return at;
  }
  return kLocatorWithoutRecord;
}

bool CentralSignatureAt(const ReadAt& read, uint64_t position, int64_t directoryEnd,
                        uint64_t entries) {
  if (position > static_cast<uint64_t>(directoryEnd)) return false;
  if (entries == 0) return position == static_cast<uint64_t>(directoryEnd);
  uint8_t signature[4];
  return position + 4 <= static_cast<uint64_t>(directoryEnd) &&
         read(static_cast<int64_t>(position), signature, 4) &&
         LoadLe32(signature) == kCentralHeaderSignature;
}

}  // namespace

std::ptrdiff_t FindExactEndCentral(const uint8_t* tail, size_t n) {
  if (n < kEndCentralSize) return -1;
  for (size_t i = n - kEndCentralSize + 1; i-- > 0;) {
    if (tail[i] == 0x50 && LoadLe32(tail + i) == kEndCentralSignature &&
        i + kEndCentralSize + LoadLe16(tail + i + 20) == n) {
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

bool CountAgrees(uint64_t read, uint64_t declared) {
  return read == declared || (read & 0xFFFF) == declared;
}

bool ResolveDirectory(const ReadAt& read, int64_t endPosition, const EndCentralRecord& end,
                      DirectoryLocation& location) {
  location = DirectoryLocation{};
  location.endPosition = endPosition;
  location.totalEntries = end.totalEntries;
  location.centralSize = end.centralSize;
  location.centralOffset = end.centralOffset;
  Zip64EndRecord z;
  const int64_t zip64At = FindZip64End(read, endPosition, z);
  if (zip64At >= 0) {
    location.zip64EndPosition = zip64At;
    location.totalEntries = z.totalEntries;
    location.centralSize = z.centralSize;
    location.centralOffset = z.centralOffset;
  } else if (zip64At == kLocatorWithoutRecord) {
    return false;
  }

  // Offsets count from the start of the archive; where something stands in front of it, the
  // directory really starts where its size says, and every offset moves by the difference.
  // The shift is taken only when a central record (or, empty, the directory's end) is there,
  // and only forward: bytes in front never make recorded offsets too large.
  const int64_t directoryEnd = location.DirectoryEnd();
  if (location.centralSize > static_cast<uint64_t>(directoryEnd)) return true;
  const int64_t expected = directoryEnd - static_cast<int64_t>(location.centralSize);
  if (static_cast<uint64_t>(expected) <= location.centralOffset ||
      CentralSignatureAt(read, location.centralOffset, directoryEnd, location.totalEntries)) {
    return true;
  }
  if (CentralSignatureAt(read, static_cast<uint64_t>(expected), directoryEnd,
                         location.totalEntries)) {
    location.shift = expected - static_cast<int64_t>(location.centralOffset);
  }
  return true;
}

}  // namespace kestrel::archive
