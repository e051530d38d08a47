// zip_records.cpp — decoding and encoding the fixed parts of the three zip records.
#include "archive/zip_records.h"

#include <algorithm>

#include "classlib/ansi_string.h"

namespace kestrel::archive {

LocalFileHeader LocalHeaderFields(const uint8_t* b) {
  LocalFileHeader h;
  h.versionNeeded = LoadLe16(b + 4);
  h.flags = LoadLe16(b + 6);
  h.method = LoadLe16(b + 8);
  h.dateTime = LoadLe32(b + 10);
  h.crc32 = LoadLe32(b + 14);
  h.compressedSize = LoadLe32(b + 18);
  h.uncompressedSize = LoadLe32(b + 22);
  h.nameLength = LoadLe16(b + 26);
  h.extraLength = LoadLe16(b + 28);
  return h;
}

bool DecodeLocalHeader(const uint8_t* b, size_t size, LocalFileHeader& h) {
  if (size < kLocalHeaderSize || LoadLe32(b) != kLocalHeaderSignature) return false;
  h = LocalHeaderFields(b);
  return true;
}

CentralFileHeader CentralHeaderFields(const uint8_t* b) {
  CentralFileHeader h;
  h.versionMadeBy = LoadLe16(b + 4);
  h.versionNeeded = LoadLe16(b + 6);
  h.flags = LoadLe16(b + 8);
  h.method = LoadLe16(b + 10);
  h.dateTime = LoadLe32(b + 12);
  h.crc32 = LoadLe32(b + 16);
  h.compressedSize = LoadLe32(b + 20);
  h.uncompressedSize = LoadLe32(b + 24);
  h.nameLength = LoadLe16(b + 28);
  h.extraLength = LoadLe16(b + 30);
  h.commentLength = LoadLe16(b + 32);
  h.diskNumberStart = LoadLe16(b + 34);
  h.internalAttributes = LoadLe16(b + 36);
  h.externalAttributes = LoadLe32(b + 38);
  h.localHeaderOffset = LoadLe32(b + 42);
  return h;
}

bool DecodeCentralHeader(const uint8_t* b, size_t size, CentralFileHeader& h) {
  if (size < kCentralHeaderSize || LoadLe32(b) != kCentralHeaderSignature) return false;
  h = CentralHeaderFields(b);
  return true;
}

EndCentralRecord EndCentralFields(const uint8_t* b) {
  EndCentralRecord r;
  r.thisDisk = LoadLe16(b + 4);
  r.startDisk = LoadLe16(b + 6);
  r.entriesOnDisk = LoadLe16(b + 8);
  r.totalEntries = LoadLe16(b + 10);
  r.centralSize = LoadLe32(b + 12);
  r.centralOffset = LoadLe32(b + 16);
  r.commentLength = LoadLe16(b + 20);
  return r;
}

bool DecodeEndCentral(const uint8_t* b, size_t size, EndCentralRecord& r) {
  if (size < kEndCentralSize || LoadLe32(b) != kEndCentralSignature) return false;
  r = EndCentralFields(b);
  return true;
}

void EncodeLocalHeader(const LocalFileHeader& h, uint8_t (&b)[kLocalHeaderSize]) {
  StoreLe32(b, kLocalHeaderSignature);
  StoreLe16(b + 4, h.versionNeeded);
  StoreLe16(b + 6, h.flags);
  StoreLe16(b + 8, h.method);
  StoreLe32(b + 10, h.dateTime);
  StoreLe32(b + 14, h.crc32);
  StoreLe32(b + 18, h.compressedSize);
  StoreLe32(b + 22, h.uncompressedSize);
  StoreLe16(b + 26, h.nameLength);
  StoreLe16(b + 28, h.extraLength);
}

void EncodeCentralHeader(const CentralFileHeader& h, uint8_t (&b)[kCentralHeaderSize]) {
  StoreLe32(b, kCentralHeaderSignature);
  StoreLe16(b + 4, h.versionMadeBy);
  StoreLe16(b + 6, h.versionNeeded);
  StoreLe16(b + 8, h.flags);
  StoreLe16(b + 10, h.method);
  StoreLe32(b + 12, h.dateTime);
  StoreLe32(b + 16, h.crc32);
  StoreLe32(b + 20, h.compressedSize);
  StoreLe32(b + 24, h.uncompressedSize);
  StoreLe16(b + 28, h.nameLength);
  StoreLe16(b + 30, h.extraLength);
  StoreLe16(b + 32, h.commentLength);
  StoreLe16(b + 34, h.diskNumberStart);
  StoreLe16(b + 36, h.internalAttributes);
  StoreLe32(b + 38, h.externalAttributes);
  StoreLe32(b + 42, h.localHeaderOffset);
}

void EncodeEndCentral(const EndCentralRecord& r, uint8_t (&b)[kEndCentralSize]) {
  StoreLe32(b, kEndCentralSignature);
  StoreLe16(b + 4, r.thisDisk);
  StoreLe16(b + 6, r.startDisk);
  StoreLe16(b + 8, r.entriesOnDisk);
  StoreLe16(b + 10, r.totalEntries);
  StoreLe32(b + 12, r.centralSize);
  StoreLe32(b + 16, r.centralOffset);
  StoreLe16(b + 20, r.commentLength);
}

void StoredNameToMemory(std::string& name) { std::replace(name.begin(), name.end(), '/', '\\'); }

void MemoryNameToStored(std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (classlib::IsLeadByte(c) && i + 1 < name.size()) {
      ++i;
    } else if (c == '\\') {
      name[i] = '/';
    }
  }
}

}  // namespace kestrel::archive
