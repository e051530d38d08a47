// buffer_stream.cpp — the buffered stream. See buffer_stream.h for the buffer states.
#include "support/buffer_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "classlib/exception.h"
#include "classlib/file_stream.h"
#include "classlib/format.h"
#include "classlib/os_error_text.h"
#include "platform/platform.h"
#include "support/string_table.h"

namespace kestrel::support {

using classlib::SeekOrigin;

TS_BufferStream::TS_BufferStream(classlib::Stream* stream, int32_t bufferSize)
    : stream_(stream), bufferSize_(std::max<int32_t>(bufferSize, 1)) {
  buffer_ = std::make_unique<uint8_t[]>(static_cast<size_t>(bufferSize_));
  limit_ = buffer_.get() + bufferSize_;
}

TS_BufferStream::~TS_BufferStream() {
  try {
    if (mode_ == Mode::Writing) WriteOutBuffer();
    if (flushOnDestroy_ && written_) {
      if (auto* handleStream = dynamic_cast<classlib::HandleStream*>(stream_))
        os::FlushFileBuffers(handleStream->Handle());
    }
  } catch (...) {
    // A destructor cannot report; FlushBuffer is the way to see a failed write.
  }
}

int64_t TS_BufferStream::LogicalPosition() {
  const int64_t position = stream_->Seek(0, classlib::soFromCurrent);
  if (mode_ == Mode::Reading) return position - (limit_ - cursor_);
  if (mode_ == Mode::Writing) return position + (cursor_ - buffer_.get());
  return position;
}

bool TS_BufferStream::RefillBuffer() {
  const int32_t got = stream_->Read(buffer_.get(), bufferSize_);
  const int32_t n = std::max<int32_t>(got, 0);
  cursor_ = buffer_.get();
  limit_ = buffer_.get() + n;
  mode_ = n > 0 ? Mode::Reading : Mode::Idle;
  NotifyRefill();
  return n > 0;
}

bool TS_BufferStream::WriteOutBuffer() {
  const auto pending = static_cast<int32_t>(cursor_ != nullptr ? cursor_ - buffer_.get() : 0);
  os::SetLastError(os::kErrorSuccess);
  const int32_t done = pending > 0 ? stream_->Write(buffer_.get(), pending) : 0;
  const uint32_t error = os::LastError();
  cursor_ = buffer_.get();
  mode_ = Mode::Idle;
  NotifyWriteOut();
  os::SetLastError(error);  // the write's own reason, for the caller's message
  return done == pending;
}

void TS_BufferStream::UnreadByte(uint8_t byte) {
  // Only bytes delivered from the read-ahead can be put back: in writing mode the buffer
  // holds bytes that were never read, so a putback there would be lost at the next read.
  if (cursor_ == nullptr || cursor_ == buffer_.get() || mode_ != Mode::Reading)
    throw classlib::EStreamError(LoadStr(sPutbackOverflow));
  --cursor_;
  *cursor_ = byte;
}

void TS_BufferStream::NotifyRefill() {
  if (OnRefill) OnRefill(this);
}

void TS_BufferStream::NotifyWriteOut() {
  if (OnWriteOut) OnWriteOut(this);
}

void TS_BufferStream::FlushBuffer() {
  if (mode_ == Mode::Writing && !WriteOutBuffer())
    throw classlib::EWriteError(classlib::WithOsReason("Stream write error"));
}

int32_t TS_BufferStream::Read(void* buffer, int32_t count) {
  if (mode_ == Mode::Writing && !WriteOutBuffer())
    throw classlib::EWriteError(classlib::WithOsReason("Stream write error"));
  if (mode_ != Mode::Reading) {
    // Only reading mode holds read-ahead. An idle buffer may still hold bytes that were just
    // written out (a write ending on a buffer boundary): they must not be read back.
    cursor_ = buffer_.get();
    limit_ = cursor_;
  }
  auto* destination = static_cast<uint8_t*>(buffer);
  int32_t total = 0;
  while (total < count) {
    if (cursor_ == limit_ && !RefillBuffer()) break;
    const auto n = static_cast<int32_t>(std::min<int64_t>(count - total, limit_ - cursor_));
    std::memcpy(destination + total, cursor_, static_cast<size_t>(n));
    cursor_ += n;
    total += n;
  }
  return total;
}

void TS_BufferStream::StartWriting() {
  cursor_ = buffer_.get();
  limit_ = buffer_.get() + bufferSize_;
  mode_ = Mode::Idle;  // the read-ahead is gone even when nothing gets written
}

int32_t TS_BufferStream::Write(const void* buffer, int32_t count) {
  if (mode_ == Mode::Reading) {
    // Drop the read-ahead: the underlying stream goes back to the logical position.
    stream_->Seek(LogicalPosition(), classlib::soFromBeginning);
    StartWriting();
  } else if (mode_ == Mode::Idle) {
    // Also after a refill that found nothing, whose limit would leave no room to write.
    StartWriting();
  }
  const auto* source = static_cast<const uint8_t*>(buffer);
  int32_t total = 0;
  while (total < count) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(count - total, limit_ - cursor_));
    std::memcpy(cursor_, source + total, static_cast<size_t>(n));
    cursor_ += n;
    total += n;
    if (cursor_ == limit_) {
      mode_ = Mode::Writing;
      if (!WriteOutBuffer()) break;
    }
  }
  if (cursor_ != buffer_.get()) mode_ = Mode::Writing;
  written_ = true;
  return total;
}

int64_t TS_BufferStream::Seek(int64_t offset, SeekOrigin origin) {
  const int64_t current = LogicalPosition();
  int64_t target = 0;
  switch (origin) {
    case classlib::soFromBeginning: target = offset; break;
    case classlib::soFromCurrent: target = current + offset; break;
    case classlib::soFromEnd: target = Size() - std::llabs(offset); break;
    default:
      throw classlib::Exception(
          classlib::Format(LoadStr(sInvalidSeekOrigin), static_cast<int>(origin)));
  }
  if (target == current) return current;
  if (mode_ == Mode::Writing && !WriteOutBuffer())
    throw classlib::Exception(LoadStr(sSeekError));
  const int64_t position = stream_->Seek(target, classlib::soFromBeginning);
  cursor_ = nullptr;
  mode_ = Mode::Idle;
  return position;
}

int64_t TS_BufferStream::Size() {
  const int64_t size = stream_->Size();
  // Pending bytes may reach past the underlying end; a position past the end without
  // writing does not make the stream longer.
  if (mode_ == Mode::Writing) return std::max(size, LogicalPosition());
  return size;
}

void TS_BufferStream::SetSize(int64_t size) {
  const int64_t position = LogicalPosition();
  if (mode_ == Mode::Writing && !WriteOutBuffer())
    throw classlib::EWriteError(classlib::WithOsReason("Stream write error"));
  stream_->SetSize(size);
  stream_->Seek(position, classlib::soFromBeginning);
  cursor_ = nullptr;
  mode_ = Mode::Idle;
}

}  // namespace kestrel::support
