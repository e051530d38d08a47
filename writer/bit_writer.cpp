// bit_writer.cpp — alignment, stored copies and buffer hand-off of the Deflate bit writer.
#include "writer/bit_writer.h"

#include <algorithm>
#include <cstring>

namespace kestrel::writer {

BitWriter::BitWriter() : buffer_(new uint8_t[kOutputBufferSize + kSlack]) {}

void BitWriter::Start(DeflateSink* sink) {
  sink_ = sink;
  bits_ = 0;
  count_ = 0;
  fill_ = 0;
  written_ = 0;
}

void BitWriter::FlushBuffer() {
  if (fill_ == 0) return;
  uint32_t size = fill_;
  // Empty first: if the sink throws, the object is left consistent for the next file.
  fill_ = 0;
  written_ += size;
  sink_->WriteOutput(buffer_.get(), size);
}

void BitWriter::HandOffFullBuffer() {
  const uint32_t rest = fill_ - kOutputBufferSize;
  fill_ = 0;
  written_ += kOutputBufferSize;
  sink_->WriteOutput(buffer_.get(), kOutputBufferSize);
  // The sink changes only the bytes it was given; the rest open the next buffer.
  std::memmove(buffer_.get(), buffer_.get() + kOutputBufferSize, rest);
  fill_ = rest;
}

void BitWriter::AlignOutput() {
  while (count_ > 0) {
    PutByte(uint8_t(bits_));
    bits_ >>= 8;
    count_ = count_ > 8 ? count_ - 8 : 0;
  }
  bits_ = 0;
  FlushBuffer();
}

void BitWriter::CopyStoredBytes(const uint8_t* buf, uint32_t len, bool header) {
  AlignOutput();
  if (header) {
    PutByte(uint8_t(len));
    PutByte(uint8_t(len >> 8));
    PutByte(uint8_t(~len));
    PutByte(uint8_t(~len >> 8));
  }
  while (len > 0) {
    if (fill_ == kOutputBufferSize) FlushBuffer();
    uint32_t n = std::min(len, kOutputBufferSize - fill_);
    std::memcpy(buffer_.get() + fill_, buf, n);
    fill_ += n;
    buf += n;
    len -= n;
  }
}

}  // namespace kestrel::writer
