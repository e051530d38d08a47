// extended_timestamp.cpp — reading the modification time out of an extended timestamp.
#include "archive/extended_timestamp.h"

#include "archive/extra_fields.h"
#include "archive/zip_records.h"

namespace kestrel::archive {

std::optional<int64_t> ExtendedModificationTime(const uint8_t* extra, size_t size) {
  const auto body = FindExtraField(extra, size, kExtendedTimestampId);
  if (!body || body->size < 5 || (body->data[0] & 0x01) == 0) return std::nullopt;
  return static_cast<int32_t>(LoadLe32(body->data + 1));
}

}  // namespace kestrel::archive
