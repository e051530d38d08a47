// extended_timestamp.h — the extended timestamp extra field (0x5455) that Unix zip tools
// write beside the DOS time: the exact modification time, in seconds since 1970 UTC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kestrel::archive {

inline constexpr uint16_t kExtendedTimestampId = 0x5455;

// The modification time of an extended timestamp in an extra area, when it has one with its
// modification-time flag and value.
std::optional<int64_t> ExtendedModificationTime(const uint8_t* extra, size_t size);

}  // namespace kestrel::archive
