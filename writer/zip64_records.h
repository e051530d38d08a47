// zip64_records.h — the records an archive needs once a size, an offset or the entry count
// outgrows its classic field: the zip64 extra field of a header, and the zip64 end record
// with its locator. Each classic field that overflows holds the marker (all ones) instead.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/stream.h"

namespace kestrel::writer {

inline constexpr uint32_t kMarker32 = 0xFFFFFFFFu;
inline constexpr uint16_t kMarker16 = 0xFFFFu;
// "Version needed to extract" of an entry with zip64 fields.
inline constexpr uint16_t kZip64Version = 45;

inline bool Overflows32(uint64_t value) { return value >= kMarker32; }
inline bool Overflows16(uint64_t value) { return value >= kMarker16; }
// The classic field's value: the value itself, or the marker when it does not fit.
inline uint32_t Classic32(uint64_t value) {
  return Overflows32(value) ? kMarker32 : static_cast<uint32_t>(value);
}
inline uint16_t Classic16(uint64_t value) {
  return Overflows16(value) ? kMarker16 : static_cast<uint16_t>(value);
}

// The 64-bit values of one entry, beside the 32-bit fields of its header.
struct Zip64Values {
  uint64_t uncompressed = 0;
  uint64_t compressed = 0;
  uint64_t offset = 0;
  bool Needed() const {
    return Overflows32(uncompressed) || Overflows32(compressed) || Overflows32(offset);
  }
};

// Bytes of the local zip64 field (both sizes always present).
inline constexpr uint16_t kLocalZip64ExtraSize = 20;
std::string LocalZip64Extra(uint64_t uncompressed, uint64_t compressed);
// The central zip64 field: only the values whose classic field overflows, in the format's
// order; empty when none does.
std::string CentralZip64Extra(const Zip64Values& values);
// The extra field without its zip64 part (carried-over entries get theirs written anew).
std::string WithoutZip64Extra(const std::string& extra);

// The zip64 end record and its locator, written at the stream's position just before the
// classic end record.
void WriteZip64End(classlib::Stream& out, uint64_t entries, uint64_t centralSize,
                   uint64_t centralOffset);

}  // namespace kestrel::writer
