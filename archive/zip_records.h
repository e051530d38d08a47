// zip_records.h — the three on-disk records of a zip archive (local header, central header,
// end record) and the conventions for names, flags and methods that go with them.
//
// Records are decoded and encoded field by field in little-endian order from and into byte
// buffers, never by laying a struct over the bytes, so the layout holds on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel::archive {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50u;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50u;
inline constexpr uint32_t kEndCentralSignature = 0x06054B50u;
inline constexpr uint32_t kLocalHeaderSize = 30;
inline constexpr uint32_t kCentralHeaderSize = 46;
inline constexpr uint32_t kEndCentralSize = 22;

// General-purpose bit flag.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagMaxCompression = 0x0002;
inline constexpr uint16_t kFlagFastCompression = 0x0004;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;

// Hosts of "version made by" (its high byte).
inline constexpr uint8_t kHostDos = 0;
inline constexpr uint8_t kHostNtfs = 11;

// Compression methods; 2 to 5 are reduce with compression factor 1 to 4.
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodShrunk = 1;
inline constexpr uint16_t kMethodReduced1 = 2;
inline constexpr uint16_t kMethodReduced4 = 5;
inline constexpr uint16_t kMethodImploded = 6;
inline constexpr uint16_t kMethodDeflated = 8;

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadLe64(const uint8_t* p) {
  return LoadLe32(p) | (static_cast<uint64_t>(LoadLe32(p + 4)) << 32);
}
inline void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The 30 fixed bytes of a local file header; name and extra field follow them.
struct LocalFileHeader {
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;
  uint16_t method = kMethodDeflated;
  uint32_t dateTime = 0;  // DOS date in the high 16 bits, DOS time in the low 16
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;

  uint32_t RecordSize() const { return kLocalHeaderSize + nameLength + extraLength; }
};

// The 46 fixed bytes of a central directory file header; name, extra field and comment follow.
struct CentralFileHeader {
  uint16_t versionMadeBy = 20;  // high byte: host system, 0 = MS-DOS
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;
  uint16_t method = kMethodDeflated;
  uint32_t dateTime = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;
  uint16_t commentLength = 0;
  uint16_t diskNumberStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  uint32_t localHeaderOffset = 0;

  uint32_t RecordSize() const {
    return kCentralHeaderSize + nameLength + extraLength + commentLength;
  }
  bool MadeOnDos() const { return (versionMadeBy >> 8) == 0; }
  // MS-DOS and Windows NTFS hosts both keep the DOS attributes in the low byte (the peers read
  // both alike); Kestrel marks an entry whose name it stores as UTF-8 as made on NTFS.
  bool KeepsDosAttributes() const { return MadeOnDos() || (versionMadeBy >> 8) == kHostNtfs; }
};

// The 22 fixed bytes of the end-of-central-directory record; the archive comment follows.
struct EndCentralRecord {
  uint16_t thisDisk = 0;
  uint16_t startDisk = 0;  // disk on which the central directory starts
  uint16_t entriesOnDisk = 0;
  uint16_t totalEntries = 0;
  uint32_t centralSize = 0;
  uint32_t centralOffset = 0;
  uint16_t commentLength = 0;

  uint32_t RecordSize() const { return kEndCentralSize + commentLength; }
};

// The fields of the fixed bytes at bytes (which must hold all of them), whatever the
// signature says.
LocalFileHeader LocalHeaderFields(const uint8_t* bytes);
CentralFileHeader CentralHeaderFields(const uint8_t* bytes);
EndCentralRecord EndCentralFields(const uint8_t* bytes);

// Decoders: false when fewer than the fixed bytes are given or the signature differs; the
// record is then left as it was.
bool DecodeLocalHeader(const uint8_t* bytes, size_t size, LocalFileHeader& header);
bool DecodeCentralHeader(const uint8_t* bytes, size_t size, CentralFileHeader& header);
bool DecodeEndCentral(const uint8_t* bytes, size_t size, EndCentralRecord& record);

// Encoders: the fixed bytes with their signature.
void EncodeLocalHeader(const LocalFileHeader& header, uint8_t (&bytes)[kLocalHeaderSize]);
void EncodeCentralHeader(const CentralFileHeader& header, uint8_t (&bytes)[kCentralHeaderSize]);
void EncodeEndCentral(const EndCentralRecord& record, uint8_t (&bytes)[kEndCentralSize]);

// Stored names use "/", names in memory "\". Reading turns every "/" into "\" (0x2F is never
// the trail byte of a code page 936 character); writing turns only real separators into "/",
// since the trail byte of a two-byte character may be 0x5C.
void StoredNameToMemory(std::string& name);
void MemoryNameToStored(std::string& name);

}  // namespace kestrel::archive
