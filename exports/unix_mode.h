// unix_mode.h — the file-type bits of a Unix-made entry's st_mode. Written out rather than
// taken from <sys/stat.h>, which only the platform layer includes.
#pragma once

#include <cstdint>

namespace kestrel::exports {

inline constexpr uint32_t kTypeMask = 0170000;
inline constexpr uint32_t kTypeFile = 0100000;
inline constexpr uint32_t kTypeDirectory = 0040000;
inline constexpr uint32_t kTypeLink = 0120000;
inline constexpr uint32_t kTypeFifo = 0010000;

// The file type of a mode (one of the constants above, or another kind such as a device).
constexpr uint32_t FileType(uint32_t mode) { return mode & kTypeMask; }

}  // namespace kestrel::exports
