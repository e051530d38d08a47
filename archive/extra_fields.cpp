// extra_fields.cpp — the walk over an extra field area.
#include "archive/extra_fields.h"

#include "archive/zip_records.h"

namespace kestrel::archive {

std::optional<ExtraFieldBody> FindExtraField(const uint8_t* extra, size_t length, uint16_t id) {
  size_t at = 0;
  while (length - at >= 4) {
    const uint16_t blockId = LoadLe16(extra + at);
    const uint16_t size = LoadLe16(extra + at + 2);
    if (size > length - at - 4) return std::nullopt;
    if (blockId == id) return ExtraFieldBody{extra + at + 4, size};
    at += 4 + size;
  }
  return std::nullopt;
}

}  // namespace kestrel::archive
