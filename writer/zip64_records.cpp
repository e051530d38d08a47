// zip64_records.cpp — the zip64 extra fields and end records as the writer emits them.
#include "writer/zip64_records.h"

#include "archive/stream_io.h"

namespace kestrel::writer {

namespace {

std::string Encode(const archive::Zip64Values& values, archive::Zip64Fields fields) {
  uint8_t bytes[archive::kZip64ExtraMaxSize];
  const size_t length = archive::EncodeZip64Extra(values, fields, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

}  // namespace

bool NeedsZip64(const archive::Zip64Values& values) {
  return Overflows32(values.uncompressedSize) || Overflows32(values.compressedSize) ||
         Overflows32(values.localHeaderOffset);
}

std::string LocalZip64Extra(const archive::Zip64Values& values) {
  return Encode(values, {true, true, false, false});
}

std::string CentralZip64Extra(const archive::Zip64Values& values) {
  return Encode(values, {Overflows32(values.uncompressedSize), Overflows32(values.compressedSize),
                         Overflows32(values.localHeaderOffset), false});
}

std::string WithoutZip64Extra(const std::string& extra) {
  std::string kept;
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const auto* p = reinterpret_cast<const uint8_t*>(extra.data() + at);
    const size_t end = at + 4 + archive::LoadLe16(p + 2);
    // A field that runs past the area is kept as it was: it is not ours to mend.
    if (end > extra.size()) break;
    if (archive::LoadLe16(p) != archive::kZip64ExtraId) kept.append(extra, at, end - at);
    at = end;
  }
  kept.append(extra, at, std::string::npos);
  return kept;
}

void WriteZip64End(classlib::Stream& out, uint64_t entries, uint64_t centralSize,
                   uint64_t centralOffset) {
  archive::Zip64EndRecord record;
  record.entriesOnDisk = entries;
  record.totalEntries = entries;
  record.centralSize = centralSize;
  record.centralOffset = centralOffset;
  archive::Zip64Locator locator;
  locator.endOffset = static_cast<uint64_t>(archive::StreamPosition(out));
  uint8_t end[archive::kZip64EndSize];
  uint8_t where[archive::kZip64LocatorSize];
  archive::EncodeZip64End(record, end);
  archive::EncodeZip64Locator(locator, where);
  archive::StreamWrite(out, end, sizeof end);
  archive::StreamWrite(out, where, sizeof where);
}

}  // namespace kestrel::writer
