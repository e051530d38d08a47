// legacy_bit_reader.h — the driver's bit reader, held in local variables for the hot loops of
// Explode, Unshrink and Unreduce.
//
// It follows EnsureBits/ConsumeBits exactly (bytes come from ReadByte one at a time, only as
// many as the request needs, least significant bit first), but keeps the bit buffer and count
// in registers instead of calling into the driver for every field. The state goes back to
// UnzipState when the reader is destroyed or synced.
#pragma once

#include <cstdint>

#include "reader/unzip_state.h"

namespace kestrel::reader {

class LegacyBitReader {
 public:
  explicit LegacyBitReader(UnzipState& st)
      : st_(st), buffer_(st.bitBuffer), count_(st.bitCount) {}
  ~LegacyBitReader() { Sync(); }
  LegacyBitReader(const LegacyBitReader&) = delete;
  LegacyBitReader& operator=(const LegacyBitReader&) = delete;

  // Makes at least n (<= 16) bits available.
  void Ensure(uint32_t n) {
    while (count_ < n) {
      buffer_ |= uint32_t(ReadByte()) << count_;
      count_ += 8;
    }
  }
  uint32_t Buffer() const { return buffer_; }
  void Consume(uint32_t n) {
    buffer_ >>= n;
    count_ -= n;
  }
  uint32_t Read(uint32_t n) {
    Ensure(n);
    const uint32_t v = buffer_ & ((1u << n) - 1);
    Consume(n);
    return v;
  }
  void Sync() {
    st_.bitBuffer = buffer_;
    st_.bitCount = count_;
  }

 private:
  UnzipState& st_;
  uint32_t buffer_;
  uint32_t count_;
};

}  // namespace kestrel::reader
