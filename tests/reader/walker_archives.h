// walker_archives.h — builds small zip archives byte by byte for the walker's tests: entries
// with chosen fields, extra fields and comments, then the directory and the end record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zip_records.h"

namespace kestrel::testing {

struct BuiltEntry {
  std::string name;
  std::string data;
  std::string extra;
  std::string comment;
  uint16_t versionMadeBy = 20;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t dateTime = 0x5A8B6C21;
  uint32_t crc32 = 0x12345678;
  uint32_t externalAttributes = 0x20;
};

inline BuiltEntry NamedEntry(const std::string& name) {
  BuiltEntry e;
  e.name = name;
  return e;
}

class ArchiveBuilder {
 public:
  std::vector<uint8_t> bytes;  // the archive so far: a prefix (stub), then entries

  void Add(const BuiltEntry& e) {
    archive::LocalFileHeader local;
    local.flags = e.flags;
    local.method = e.method;
    local.dateTime = e.dateTime;
    local.crc32 = e.crc32;
    local.compressedSize = local.uncompressedSize = static_cast<uint32_t>(e.data.size());
    local.nameLength = static_cast<uint16_t>(e.name.size());
    uint8_t fixed[archive::kLocalHeaderSize];
    archive::EncodeLocalHeader(local, fixed);
    const auto offset = static_cast<uint32_t>(bytes.size());
    Append(fixed, sizeof fixed);
    Append(e.name);
    Append(e.data);

    archive::CentralFileHeader h;
    h.versionMadeBy = e.versionMadeBy;
    h.flags = e.flags;
    h.method = e.method;
    h.dateTime = e.dateTime;
    h.crc32 = e.crc32;
    h.compressedSize = h.uncompressedSize = local.compressedSize;
    h.nameLength = local.nameLength;
    h.extraLength = static_cast<uint16_t>(e.extra.size());
    h.commentLength = static_cast<uint16_t>(e.comment.size());
    h.externalAttributes = e.externalAttributes;
    h.localHeaderOffset = offset;
    uint8_t central[archive::kCentralHeaderSize];
    archive::EncodeCentralHeader(h, central);
    directory_.insert(directory_.end(), central, central + sizeof central);
    directory_.insert(directory_.end(), e.name.begin(), e.name.end());
    directory_.insert(directory_.end(), e.extra.begin(), e.extra.end());
    directory_.insert(directory_.end(), e.comment.begin(), e.comment.end());
    ++count_;
  }

  // Appends the directory and the end record; centralOffset overrides the true offset.
  std::vector<uint8_t> Finish(const std::string& comment = "", int64_t centralOffset = -1) {
    archive::EndCentralRecord end;
    end.entriesOnDisk = end.totalEntries = count_;
    end.centralSize = static_cast<uint32_t>(directory_.size());
    end.centralOffset =
        centralOffset >= 0 ? static_cast<uint32_t>(centralOffset) : static_cast<uint32_t>(bytes.size());
    end.commentLength = static_cast<uint16_t>(comment.size());
    bytes.insert(bytes.end(), directory_.begin(), directory_.end());
    uint8_t fixed[archive::kEndCentralSize];
    archive::EncodeEndCentral(end, fixed);
    Append(fixed, sizeof fixed);
    Append(comment);
    return bytes;
  }

 private:
  void Append(const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); }
  void Append(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); }

  std::vector<uint8_t> directory_;
  uint16_t count_ = 0;
};

}  // namespace kestrel::testing
