// zip64_records.h — what the writer decides about zip64: which values outgrow their classic
// fields, the classic field's value then (the marker), and the zip64 extra fields and end
// records it writes for them, built on the record encoders of archive/zip64_records.h.
#pragma once

#include <cstdint>
#include <string>

#include "archive/zip64_records.h"
#include "classlib/stream.h"

namespace kestrel::writer {

inline bool Overflows32(uint64_t value) { return value >= archive::kZip64Marker; }
inline bool Overflows16(uint64_t value) { return value >= archive::kZip64Marker16; }
// The classic field's value: the value itself, or the marker when it does not fit.
inline uint32_t Classic32(uint64_t value) {
  return Overflows32(value) ? archive::kZip64Marker : static_cast<uint32_t>(value);
}
inline uint16_t Classic16(uint64_t value) {
  return Overflows16(value) ? archive::kZip64Marker16 : static_cast<uint16_t>(value);
}

// Whether an entry's central record needs the zip64 field.
bool NeedsZip64(const archive::Zip64Values& values);

// Bytes of the local zip64 field, which always holds both sizes.
inline constexpr uint16_t kLocalZip64ExtraSize = 20;
std::string LocalZip64Extra(const archive::Zip64Values& values);
// The central zip64 field: only the values whose classic field overflows; empty when none.
std::string CentralZip64Extra(const archive::Zip64Values& values);
// The extra field without its zip64 part (carried-over entries get theirs written anew).
std::string WithoutZip64Extra(const std::string& extra);

// The zip64 end record and its locator, written at the stream's position just before the
// classic end record.
void WriteZip64End(classlib::Stream& out, uint64_t entries, uint64_t centralSize,
                   uint64_t centralOffset);

}  // namespace kestrel::writer
