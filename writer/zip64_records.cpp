// zip64_records.cpp — encoding the zip64 extra fields and the zip64 end record and locator.
#include "writer/zip64_records.h"

#include "archive/stream_io.h"

namespace kestrel::writer {

namespace {

constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kZip64EndSignature = 0x06064B50u;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50u;
// The zip64 end record's size field counts the bytes after itself.
constexpr uint64_t kZip64EndRest = 44;

void Put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

}  // namespace

std::string LocalZip64Extra(uint64_t uncompressed, uint64_t compressed) {
  std::string extra;
  Put(extra, kZip64ExtraId, 2);
  Put(extra, 16, 2);
  Put(extra, uncompressed, 8);
  Put(extra, compressed, 8);
  return extra;
}

std::string CentralZip64Extra(const Zip64Values& values) {
  std::string body;
  if (Overflows32(values.uncompressed)) Put(body, values.uncompressed, 8);
  if (Overflows32(values.compressed)) Put(body, values.compressed, 8);
  if (Overflows32(values.offset)) Put(body, values.offset, 8);
  if (body.empty()) return body;
  std::string extra;
  Put(extra, kZip64ExtraId, 2);
  Put(extra, body.size(), 2);
  return extra + body;
}

std::string WithoutZip64Extra(const std::string& extra) {
  std::string kept;
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const size_t end = at + 4 + Get16(extra, at + 2);
    // A field that runs past the area is kept as it was: it is not ours to mend.
    if (end > extra.size()) break;
    if (Get16(extra, at) != kZip64ExtraId) kept.append(extra, at, end - at);
    at = end;
  }
  kept.append(extra, at, std::string::npos);
  return kept;
}

void WriteZip64End(classlib::Stream& out, uint64_t entries, uint64_t centralSize,
                   uint64_t centralOffset) {
  const uint64_t recordOffset = static_cast<uint64_t>(archive::StreamPosition(out));
  std::string r;
  Put(r, kZip64EndSignature, 4);
  Put(r, kZip64EndRest, 8);
  Put(r, kZip64Version, 2);  // made by: MS-DOS host
  Put(r, kZip64Version, 2);
  Put(r, 0, 4);  // this disk
  Put(r, 0, 4);  // disk where the directory starts
  Put(r, entries, 8);
  Put(r, entries, 8);
  Put(r, centralSize, 8);
  Put(r, centralOffset, 8);
  Put(r, kZip64LocatorSignature, 4);
  Put(r, 0, 4);  // disk of the zip64 end record
  Put(r, recordOffset, 8);
  Put(r, 1, 4);  // total number of disks
  archive::StreamWrite(out, r.data(), r.size());
}

}  // namespace kestrel::writer
