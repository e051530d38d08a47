// zip64_records.h — the zip64 structures that carry 64-bit sizes, offsets and counts where the
// classic records' 16- and 32-bit fields hold their marker values: the zip64 end record, its
// locator, the zip64 extended information extra field and the 64-bit data descriptor.
//
// The classic records (zip_records.h) keep their layout; an entry's 64-bit values are held
// beside them in Zip64Values, filled from the classic fields and the extra field together.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/zip_records.h"

namespace kestrel::archive {

inline constexpr uint32_t kZip64EndSignature = 0x06064B50u;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50u;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50u;
inline constexpr uint32_t kZip64EndSize = 56;      // fixed part, signature included
inline constexpr uint32_t kZip64LocatorSize = 20;
inline constexpr uint64_t kZip64EndTailSize = 44;  // the record's own size field: bytes after it
inline constexpr uint16_t kZip64ExtraId = 0x0001;
inline constexpr uint32_t kZip64Marker = 0xFFFFFFFFu;      // classic 32-bit field overflowed
inline constexpr uint16_t kZip64Marker16 = 0xFFFF;         // classic 16-bit field overflowed
inline constexpr uint16_t kZip64VersionNeeded = 45;
inline constexpr uint32_t kZip64DescriptorSize = 24;       // with its signature
inline constexpr size_t kZip64ExtraMaxSize = 4 + 8 + 8 + 8 + 4;

struct Zip64EndRecord {
  uint64_t tailSize = kZip64EndTailSize;  // bytes of the record after this field
  uint16_t versionMadeBy = kZip64VersionNeeded;
  uint16_t versionNeeded = kZip64VersionNeeded;
  uint32_t thisDisk = 0;
  uint32_t startDisk = 0;
  uint64_t entriesOnDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t centralSize = 0;
  uint64_t centralOffset = 0;
};

struct Zip64Locator {
  uint32_t endDisk = 0;     // disk holding the zip64 end record
  uint64_t endOffset = 0;   // where the zip64 end record starts
  uint32_t totalDisks = 1;
};

// An entry's sizes and offset at full width. Only the fields whose classic value is a marker
// come from the extra field, in this order.
struct Zip64Values {
  uint64_t uncompressedSize = 0;
  uint64_t compressedSize = 0;
  uint64_t localHeaderOffset = 0;
  uint32_t diskNumberStart = 0;
};

// Which fields a zip64 extra field carries.
struct Zip64Fields {
  bool uncompressedSize = false;
  bool compressedSize = false;
  bool localHeaderOffset = false;
  bool diskNumberStart = false;

  bool Any() const {
    return uncompressedSize || compressedSize || localHeaderOffset || diskNumberStart;
  }
};

// Decoders: false when fewer than the fixed bytes are given or the signature differs.
bool DecodeZip64End(const uint8_t* bytes, size_t size, Zip64EndRecord& record);
bool DecodeZip64Locator(const uint8_t* bytes, size_t size, Zip64Locator& locator);
void EncodeZip64End(const Zip64EndRecord& record, uint8_t (&bytes)[kZip64EndSize]);
void EncodeZip64Locator(const Zip64Locator& locator, uint8_t (&bytes)[kZip64LocatorSize]);

// The fields a central record's zip64 extra must carry: those whose classic value is a marker.
Zip64Fields MarkedFields(const CentralFileHeader& header);
// A local header's zip64 extra carries both sizes whenever either is marked.
Zip64Fields MarkedFields(const LocalFileHeader& header);

// The entry's full-width values: the classic fields, with the marked ones replaced from the
// zip64 extra field in extra[0, extraLength). False when a marked field is not there (no
// zip64 field, or one shorter than the fields it must carry); values then hold the classic
// fields.
bool ResolveZip64(const CentralFileHeader& header, const uint8_t* extra, size_t extraLength,
                  Zip64Values& values);
bool ResolveZip64(const LocalFileHeader& header, const uint8_t* extra, size_t extraLength,
                  Zip64Values& values);

// Writes a zip64 extra field (id, size, then the chosen fields of values in their order) to
// out and returns its length; 0 when no field is chosen.
size_t EncodeZip64Extra(const Zip64Values& values, Zip64Fields fields,
                        uint8_t (&out)[kZip64ExtraMaxSize]);

}  // namespace kestrel::archive
