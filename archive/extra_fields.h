// extra_fields.h — walking the extra field area of a local or central header: a sequence of
// "id:2 size:2 body" blocks. A block that runs past the area ends the walk, so no body is
// ever read outside the bytes the header announced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace kestrel::archive {

struct ExtraFieldBody {
  const uint8_t* data = nullptr;
  uint16_t size = 0;
};

// The body of the first block with this id in extra[0, length); none when it is absent or
// only a block that runs past the area would hold it.
std::optional<ExtraFieldBody> FindExtraField(const uint8_t* extra, size_t length, uint16_t id);

}  // namespace kestrel::archive
