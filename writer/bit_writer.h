// bit_writer.h — the Deflate bit writer: appends codes least significant bit first, gathers
// whole bytes in an output buffer and hands full buffers to the sink.
//
// Bits collect in a 64-bit accumulator and leave four bytes at a time, so the byte stream is
// exactly the one a 16-bit word-at-a-time writer gives, with a quarter of the stores.
#pragma once

#include <cstdint>
#include <memory>

#include "writer/deflate_io.h"

namespace kestrel::writer {

// Bytes gathered before one WriteOutput call. Larger means fewer calls into the zip operation
// (encryption, archive stream, message processing) per file; the stream does not change.
inline constexpr uint32_t kOutputBufferSize = 16384;

class BitWriter {
 public:
  BitWriter();

  // Starts a file: empties the accumulator and the buffer and takes the sink.
  void Start(DeflateSink* sink);

  // Appends the low `length` bits of value, least significant first. Codes are 1 to 15 bits;
  // up to 32 may go at once (a code and its extra bits together), value holding no more.
  void send_bits(uint32_t value, uint32_t length) {
    bits_ |= uint64_t(value) << count_;
    count_ += length;
    if (count_ >= 32) {
      if (fill_ + 4 > kOutputBufferSize) FlushBuffer();
      uint8_t* out = buffer_.get() + fill_;
      out[0] = uint8_t(bits_);
      out[1] = uint8_t(bits_ >> 8);
      out[2] = uint8_t(bits_ >> 16);
      out[3] = uint8_t(bits_ >> 24);
      fill_ += 4;
      bits_ >>= 32;
      count_ -= 32;
    }
  }

  // Pads the pending bits to a byte boundary with zeros and hands the buffer to the sink.
  void AlignOutput();

  // Aligns, writes len and its complement as 16-bit little-endian words when `header` is set,
  // then the len bytes of buf. The bytes are copied through the output buffer, so the sink
  // never sees (and never changes) the caller's memory.
  void CopyStoredBytes(const uint8_t* buf, uint32_t len, bool header);

  // Bytes handed to the sink since Start.
  uint64_t BytesWritten() const { return written_; }

 private:
  void PutByte(uint8_t b) {
    if (fill_ == kOutputBufferSize) FlushBuffer();
    buffer_[fill_++] = b;
  }
  void FlushBuffer();

  std::unique_ptr<uint8_t[]> buffer_;
  DeflateSink* sink_ = nullptr;
  uint64_t bits_ = 0;
  uint32_t count_ = 0;
  uint32_t fill_ = 0;
  uint64_t written_ = 0;
};

}  // namespace kestrel::writer
