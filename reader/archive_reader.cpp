// archive_reader.cpp — the buffered archive reader of the extraction driver.
#include "reader/archive_reader.h"

#include <algorithm>
#include <cstring>

namespace kestrel::reader {

namespace {

// Large enough that many small entries share one read, small enough to stay in cache.
constexpr uint32_t kBufferSize = 262144;

}  // namespace

void ArchiveReader::Attach(os::FileHandle file) {
  file_ = file;
  bufferStart_ = 0;
  bufferFill_ = 0;
  position_ = 0;
  filePosition_ = -1;
}

bool ArchiveReader::Seek(int64_t position) {
  if (position < 0) return false;
  position_ = position;
  return true;
}

bool ArchiveReader::Refill() {
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  bufferStart_ = position_;
  bufferFill_ = 0;
  if (filePosition_ != position_) {
    if (os::SeekFile(file_, position_, os::SeekFrom::Begin) < 0) {
      filePosition_ = -1;
      return false;
    }
    filePosition_ = position_;
  }
  uint32_t got = 0;
  const bool ok = os::ReadFile(file_, buffer_.data(), kBufferSize, got);
  if (!ok) {
    filePosition_ = -1;
    return false;
  }
  bufferFill_ = got;
  filePosition_ += got;
  return true;
}

bool ArchiveReader::Read(void* buffer, uint32_t count, uint32_t& done) {
  auto* out = static_cast<uint8_t*>(buffer);
  done = 0;
  while (done < count) {
    const int64_t offset = position_ - bufferStart_;
    if (offset >= 0 && offset < int64_t(bufferFill_)) {
      const uint32_t n = std::min(count - done, uint32_t(bufferFill_ - offset));
      std::memcpy(out + done, buffer_.data() + offset, n);
      done += n;
      position_ += n;
      continue;
    }
    if (!Refill()) return false;
    if (bufferFill_ == 0) break;  // end of the file
  }
  return true;
}

}  // namespace kestrel::reader
