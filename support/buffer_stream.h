// buffer_stream.h — TS_BufferStream: one fixed-size buffer in front of another stream, so that
// many small reads and writes reach the underlying stream in large blocks.
//
// The buffer is either reading (bytes cursor..limit read ahead, not yet delivered), writing
// (bytes buffer..cursor accepted, not yet written) or idle (nothing held). The logical
// position is the underlying position plus cursor - limit (reading) or cursor - buffer
// (writing). Seeking to the current position keeps the buffer; any other seek writes out
// pending bytes and empties it.
#pragma once

#include <cstdint>
#include <memory>

#include "classlib/stream.h"

namespace kestrel::support {

class TS_BufferStream : public classlib::Stream {
 public:
  enum class Mode : uint8_t { Idle = 0, Reading = 1, Writing = 2 };

  // stream is not owned and must outlive this object; bufferSize must be at least 1.
  TS_BufferStream(classlib::Stream* stream, int32_t bufferSize);
  // Writes out pending bytes (errors cannot be reported here: call FlushBuffer first when
  // they matter), then, when flush-on-destroy and written are both set and the underlying
  // stream is handle-based, asks the system to flush the handle's buffers.
  ~TS_BufferStream() override;
  TS_BufferStream(const TS_BufferStream&) = delete;
  TS_BufferStream& operator=(const TS_BufferStream&) = delete;
  std::string ClassName() const override { return "TS_BufferStream"; }

  // Delivers up to count bytes; fewer only at the end of the underlying data. Pending writes
  // are written out first (EWriteError "Stream write error" if that fails).
  int32_t Read(void* buffer, int32_t count) override;
  // Accepts bytes into the buffer; when writing out a full buffer fails it stops and returns
  // the count copied so far (which includes the bytes that failed to reach the stream).
  int32_t Write(const void* buffer, int32_t count) override;
  // Origins 0/1/2; from the end the sign of offset is ignored (Seek(-10, 2) == Seek(10, 2)).
  // Unknown origin: Exception "Invalid seek origin (%d)"; a failed write-out: " Seek error".
  int64_t Seek(int64_t offset, classlib::SeekOrigin origin) override;
  // The logical size, without disturbing the buffer.
  int64_t Size() override;
  // Writes out pending bytes, drops read-ahead, then sizes the underlying stream.
  void SetSize(int64_t size) override;

  // Reads up to buffer-size bytes from the underlying stream; true when any came.
  virtual bool RefillBuffer();
  // Writes the pending bytes; true when the underlying stream accepted all of them.
  virtual bool WriteOutBuffer();
  // Puts one byte back so that the next read returns it first. Raises EStreamError
  // "Putback overflow" when nothing was read from the buffer (fresh, idle or writing).
  virtual void UnreadByte(uint8_t byte);
  virtual void NotifyRefill();
  virtual void NotifyWriteOut();

  // Writes out pending bytes now; raises EWriteError "Stream write error" when the
  // underlying stream refuses some. Use before destruction when a lost write must be seen.
  void FlushBuffer();

  classlib::NotifyEvent OnRefill;    // after every refill, sender = this stream
  classlib::NotifyEvent OnWriteOut;  // after every write-out, sender = this stream

  bool FlushOnDestroy() const { return flushOnDestroy_; }
  void SetFlushOnDestroy(bool flush) { flushOnDestroy_ = flush; }
  bool Written() const { return written_; }
  Mode CurrentMode() const { return mode_; }
  int32_t BufferSize() const { return bufferSize_; }
  classlib::Stream* UnderlyingStream() const { return stream_; }

 protected:
  // For subclasses that create the underlying stream themselves.
  void SetUnderlyingStream(classlib::Stream* stream) { stream_ = stream; }

 private:
  int64_t LogicalPosition();
  void StartWriting();

  classlib::Stream* stream_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* cursor_ = nullptr;  // none: the buffer holds nothing yet
  uint8_t* limit_ = nullptr;
  int32_t bufferSize_;
  Mode mode_ = Mode::Idle;
  bool flushOnDestroy_ = false;
  bool written_ = false;
};

}  // namespace kestrel::support
