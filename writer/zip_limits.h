// zip_limits.h — what a spanned or block set can describe (it has no zip64 records), and the
// error raised before a run would write more: 16-bit entry counts, 32-bit sizes and offsets.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/exception.h"

namespace kestrel::writer {

class EZipLimit : public classlib::Exception {
  using Exception::Exception;
};

inline constexpr int32_t kMaxZipEntries = 65535;
inline constexpr int64_t kMaxZipFileSize = 0xFFFFFFFFll;
inline constexpr int64_t kMaxZipOffset = 0xFFFFFFFFll;

inline std::string TooManyEntriesMessage() {
  return "Too many files: a zip archive holds at most 65535 entries";
}
inline std::string FileTooLargeMessage(const std::string& name) {
  return name + " is 4 GiB or larger, too large for a zip archive";
}
inline std::string ArchiveTooLargeMessage() {
  return "The archive would grow past 4 GiB, too large for a zip archive";
}

}  // namespace kestrel::writer
