// stream.cpp — the non-virtual helpers of the abstract stream.
#include "classlib/stream.h"

#include <algorithm>
#include <vector>

#include "classlib/exception.h"
#include "classlib/os_error_text.h"
#include "platform/platform.h"

namespace kestrel::classlib {

namespace {
// Block size of CopyFrom: large enough to keep calls few, small enough to live on the heap
// cheaply for every copy.
constexpr int32_t kCopyBlock = 64 * 1024;
}  // namespace

int64_t Stream::Size() {
  const int64_t position = Seek(0, soFromCurrent);
  const int64_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void Stream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

// The platform's error is cleared first, so that a short count it did not cause (the end of
// the data) carries no stale reason.
void Stream::ReadBuffer(void* buffer, int32_t count) {
  os::SetLastError(os::kErrorSuccess);
  if (count > 0 && Read(buffer, count) != count)
    throw EReadError(WithOsReason("Stream read error"));
}

void Stream::WriteBuffer(const void* buffer, int32_t count) {
  os::SetLastError(os::kErrorSuccess);
  if (count > 0 && Write(buffer, count) != count)
    throw EWriteError(WithOsReason("Stream write error"));
}

int64_t Stream::CopyFrom(Stream& source, int64_t count) {
  if (count <= 0) return 0;
  std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(count, kCopyBlock)));
  for (int64_t left = count; left > 0;) {
    const auto step = static_cast<int32_t>(std::min<int64_t>(left, kCopyBlock));
    source.ReadBuffer(block.data(), step);
    WriteBuffer(block.data(), step);
    left -= step;
  }
  return count;
}

int64_t Stream::CopyAllFrom(Stream& source) {
  source.Seek(0, soFromBeginning);
  std::vector<uint8_t> block(kCopyBlock);
  int64_t total = 0;
  for (;;) {
    const int32_t got = source.Read(block.data(), kCopyBlock);
    if (got <= 0) break;
    WriteBuffer(block.data(), got);
    total += got;
  }
  return total;
}

}  // namespace kestrel::classlib
