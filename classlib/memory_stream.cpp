// memory_stream.cpp — the in-memory stream.
#include "classlib/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "classlib/exception.h"
#include "classlib/format.h"

namespace kestrel::classlib {

int32_t MemoryStream::Read(void* buffer, int32_t count) {
  const auto size = static_cast<int64_t>(bytes_.size());
  if (count <= 0 || position_ >= size) return 0;
  const auto n = static_cast<int32_t>(std::min<int64_t>(count, size - position_));
  std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t MemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > static_cast<int64_t>(bytes_.size())) bytes_.resize(static_cast<size_t>(end));
  std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t target = 0;
  switch (origin) {
    case soFromBeginning: target = offset; break;
    case soFromCurrent: target = position_ + offset; break;
    case soFromEnd: target = static_cast<int64_t>(bytes_.size()) + offset; break;
    default: throw EStreamError(Format("Invalid seek origin (%d)", static_cast<int>(origin)));
  }
  if (target < 0) throw EStreamError("Stream seek error");
  position_ = target;
  return position_;
}

void MemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EStreamError("Stream size cannot be negative");
  bytes_.resize(static_cast<size_t>(size));
  position_ = std::min(position_, size);
}

}  // namespace kestrel::classlib
