// bit_writer.h — the Deflate bit writer: appends codes least significant bit first, gathers
// whole bytes in an output buffer and hands full buffers to the sink.
//
// Bits collect in a 64-bit accumulator. Draining stores all eight accumulator bytes at the
// fill position at once and then advances by the whole bytes it held; the buffer keeps eight
// bytes of slack past its nominal size for that store, and the bytes beyond a full buffer
// move to the front of the next one. The byte stream is exactly that of a writer that emits
// one byte at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
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
      Burst burst(*this);
      burst.Drain();
      burst.Save();
    }
  }

  // The writer's state copied into locals, for a loop that sends many codes: the compiler
  // can keep it in registers, where the members would be reloaded after every buffer store.
  // Between two Drain calls at most 56 bits may be added. Save() puts the state back; the
  // writer must not be used directly between the constructor and Save().
  class Burst {
   public:
    explicit Burst(BitWriter& w)
        : w_(w), bits_(w.bits_), count_(w.count_), out_(w.buffer_.get() + w.fill_) {}
    void Add(uint32_t value, uint32_t length) {
      bits_ |= uint64_t(value) << count_;
      count_ += length;
    }
    // Moves the accumulator's whole bytes into the buffer; fewer than 8 bits stay.
    void Drain() {
      StoreLittleEndian64(out_, bits_);
      out_ += count_ >> 3;
      bits_ >>= count_ & ~7u;
      count_ &= 7;
      if (out_ >= w_.buffer_.get() + kOutputBufferSize) {
        Save();
        w_.HandOffFullBuffer();
        out_ = w_.buffer_.get() + w_.fill_;
      }
    }
    void Save() {
      w_.bits_ = bits_;
      w_.count_ = count_;
      w_.fill_ = uint32_t(out_ - w_.buffer_.get());
    }

   private:
    BitWriter& w_;
    uint64_t bits_;
    uint32_t count_;
    uint8_t* out_;
  };

  // Pads the pending bits to a byte boundary with zeros and hands the buffer to the sink.
  void AlignOutput();

  // Aligns, writes len and its complement as 16-bit little-endian words when `header` is set,
  // then the len bytes of buf. The bytes are copied through the output buffer, so the sink
  // never sees (and never changes) the caller's memory.
  void CopyStoredBytes(const uint8_t* buf, uint32_t len, bool header);

  // Bytes handed to the sink since Start.
  uint64_t BytesWritten() const { return written_; }

 private:
  static void StoreLittleEndian64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, &v, sizeof v);
    } else {
      for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
    }
  }
  void PutByte(uint8_t b) {
    if (fill_ == kOutputBufferSize) FlushBuffer();
    buffer_[fill_++] = b;
  }
  // Hands the first kOutputBufferSize bytes to the sink and moves the rest to the front.
  void HandOffFullBuffer();
  void FlushBuffer();

  // The eight bytes past the nominal size take the tail of a Drain store.
  static constexpr uint32_t kSlack = 8;

  std::unique_ptr<uint8_t[]> buffer_;
  DeflateSink* sink_ = nullptr;
  uint64_t bits_ = 0;
  uint32_t count_ = 0;
  uint32_t fill_ = 0;
  uint64_t written_ = 0;
};

}  // namespace kestrel::writer
