// zip64_records.cpp — decoding and encoding the zip64 structures.
#include "archive/zip64_records.h"

#include "archive/extra_fields.h"

namespace kestrel::archive {

namespace {

// Reads the chosen fields from a zip64 extra body in their order; false when it is short.
bool ReadFields(const ExtraFieldBody& body, Zip64Fields fields, Zip64Values& values) {
  size_t at = 0;
  auto take64 = [&](bool wanted, uint64_t& field) {
    if (!wanted) return true;
    if (body.size - at < 8) return false;
    field = LoadLe64(body.data + at);
    at += 8;
    return true;
  };
  if (!take64(fields.uncompressedSize, values.uncompressedSize) ||
      !take64(fields.compressedSize, values.compressedSize) ||
      !take64(fields.localHeaderOffset, values.localHeaderOffset)) {
    return false;
  }
  if (fields.diskNumberStart) {
    if (body.size - at < 4) return false;
    values.diskNumberStart = LoadLe32(body.data + at);
  }
  return true;
}

bool Resolve(Zip64Fields fields, const uint8_t* extra, size_t extraLength,
             const Zip64Values& classic, Zip64Values& values) {
  values = classic;
  if (!fields.Any()) return true;
  const auto body = FindExtraField(extra, extraLength, kZip64ExtraId);
  Zip64Values wide = classic;
  if (!body || !ReadFields(*body, fields, wide)) return false;
  values = wide;
  return true;
}

}  // namespace

bool DecodeZip64End(const uint8_t* b, size_t size, Zip64EndRecord& r) {
  if (size < kZip64EndSize || LoadLe32(b) != kZip64EndSignature) return false;
  r.tailSize = LoadLe64(b + 4);
  r.versionMadeBy = LoadLe16(b + 12);
  r.versionNeeded = LoadLe16(b + 14);
  r.thisDisk = LoadLe32(b + 16);
  r.startDisk = LoadLe32(b + 20);
  r.entriesOnDisk = LoadLe64(b + 24);
  r.totalEntries = LoadLe64(b + 32);
  r.centralSize = LoadLe64(b + 40);
  r.centralOffset = LoadLe64(b + 48);
  return true;
}

bool DecodeZip64Locator(const uint8_t* b, size_t size, Zip64Locator& l) {
  if (size < kZip64LocatorSize || LoadLe32(b) != kZip64LocatorSignature) return false;
  l.endDisk = LoadLe32(b + 4);
  l.endOffset = LoadLe64(b + 8);
  l.totalDisks = LoadLe32(b + 16);
  return true;
}

void EncodeZip64End(const Zip64EndRecord& r, uint8_t (&b)[kZip64EndSize]) {
  StoreLe32(b, kZip64EndSignature);
  StoreLe64(b + 4, r.tailSize);
  StoreLe16(b + 12, r.versionMadeBy);
  StoreLe16(b + 14, r.versionNeeded);
  StoreLe32(b + 16, r.thisDisk);
  StoreLe32(b + 20, r.startDisk);
  StoreLe64(b + 24, r.entriesOnDisk);
  StoreLe64(b + 32, r.totalEntries);
  StoreLe64(b + 40, r.centralSize);
  StoreLe64(b + 48, r.centralOffset);
}

void EncodeZip64Locator(const Zip64Locator& l, uint8_t (&b)[kZip64LocatorSize]) {
  StoreLe32(b, kZip64LocatorSignature);
  StoreLe32(b + 4, l.endDisk);
  StoreLe64(b + 8, l.endOffset);
  StoreLe32(b + 16, l.totalDisks);
}

Zip64Fields MarkedFields(const CentralFileHeader& h) {
  return {h.uncompressedSize == kZip64Marker, h.compressedSize == kZip64Marker,
          h.localHeaderOffset == kZip64Marker, h.diskNumberStart == kZip64Marker16};
}

Zip64Fields MarkedFields(const LocalFileHeader& h) {
  const bool marked = h.uncompressedSize == kZip64Marker || h.compressedSize == kZip64Marker;
  return {marked, marked, false, false};
}

bool ResolveZip64(const CentralFileHeader& h, const uint8_t* extra, size_t extraLength,
                  Zip64Values& values) {
  const Zip64Values classic{h.uncompressedSize, h.compressedSize, h.localHeaderOffset,
                            h.diskNumberStart};
  return Resolve(MarkedFields(h), extra, extraLength, classic, values);
}

bool ResolveZip64(const LocalFileHeader& h, const uint8_t* extra, size_t extraLength,
                  Zip64Values& values) {
  const Zip64Values classic{h.uncompressedSize, h.compressedSize, 0, 0};
  return Resolve(MarkedFields(h), extra, extraLength, classic, values);
}

size_t EncodeZip64Extra(const Zip64Values& values, Zip64Fields fields,
                        uint8_t (&out)[kZip64ExtraMaxSize]) {
  size_t at = 4;
  auto put64 = [&](bool wanted, uint64_t v) {
    if (!wanted) return;
    StoreLe64(out + at, v);
    at += 8;
  };
  put64(fields.uncompressedSize, values.uncompressedSize);
  put64(fields.compressedSize, values.compressedSize);
  put64(fields.localHeaderOffset, values.localHeaderOffset);
  if (fields.diskNumberStart) {
    StoreLe32(out + at, values.diskNumberStart);
    at += 4;
  }
  if (at == 4) return 0;
  StoreLe16(out, kZip64ExtraId);
  StoreLe16(out + 2, static_cast<uint16_t>(at - 4));
  return at;
}

}  // namespace kestrel::archive
