// unreduce.cpp — decoder for reduced entries (methods 2 to 5).
//
// Two stages. The bit stream codes an intermediate byte stream with follower sets: for each
// byte value a list of up to 63 likely successors, so a byte is sent as a short index into the
// set of the byte before it, or as 1 flag bit plus 8 raw bits. The intermediate stream is then
// expanded: byte 144 introduces either a literal 144 (144, 0) or a match (144, V [, L], D) whose
// length and distance fields the compression factor splits. Output goes through a 16 KB circular
// part of the driver's window.
#include "reader/unreduce.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "reader/legacy_bit_reader.h"
#include "reader/unzip_state.h"

namespace kestrel::reader {
namespace {

constexpr uint32_t kRingSize = 16384;
constexpr uint32_t kSetCount = 256;
constexpr uint32_t kSetCapacity = 64;
constexpr uint8_t kEscape = 144;  // the byte that starts a literal-144 or a match
constexpr uint32_t kMinMatch = 3;

// Bits of an index into a follower set of n entries (n >= 1).
uint32_t IndexBits(uint32_t n) {
  uint32_t bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

struct FollowerSets {
  uint8_t entries[kSetCount][kSetCapacity] = {};  // entries past a set's count stay 0
  uint8_t count[kSetCount] = {};
  uint8_t indexBits[kSetCount] = {};
};

class Ring {
 public:
  explicit Ring(uint8_t* window) : w_(window) {}
  bool Put(uint8_t byte) {
    w_[position_] = byte;
    return Advance(1);
  }
  // Copies length bytes from distance back; before the first flush, bytes before the start
  // of the output are zeros.
  bool Copy(uint32_t distance, uint32_t length) {
    uint32_t source = position_ - distance;
    while (length > 0) {
      source &= kRingSize - 1;
      const uint32_t chunk = std::min(length, kRingSize - std::max(source, position_));
      uint8_t* to = w_ + position_;
      if (firstPass_ && source >= position_) {
        std::memset(to, 0, chunk);
      } else if (source < position_ && position_ - source < chunk) {
        const uint8_t* from = w_ + source;
        for (uint32_t i = 0; i < chunk; ++i) to[i] = from[i];
      } else {
        std::memmove(to, w_ + source, chunk);
      }
      source += chunk;
      length -= chunk;
      if (!Advance(chunk)) return false;
    }
    return true;
  }
  bool Finish() { return FlushWindow(position_); }

 private:
  bool Advance(uint32_t n) {
    position_ += n;
    if (position_ < kRingSize) return true;
    position_ = 0;
    firstPass_ = false;
    return FlushWindow(kRingSize);
  }
  uint8_t* w_;
  uint32_t position_ = 0;
  bool firstPass_ = true;
};

}  // namespace

int Unreduce(int method) {
  UnzipState& st = State();
  const uint32_t factor = uint32_t(std::clamp(method - 1, 1, 4));
  const uint32_t lengthMask = (1u << (8 - factor)) - 1;
  const uint32_t distanceShift = 8 - factor;
  const uint32_t distanceMask = (1u << factor) - 1;

  st.inputExhausted = false;
  ResetInput();
  int64_t remaining = st.uncompressedSize;
  Ring out(st.window);
  if (remaining <= 0) return out.Finish() ? ExtractOk : ExtractWriteError;

  LegacyBitReader bits(st);
  auto sets = std::make_unique<FollowerSets>();
  for (int set = kSetCount - 1; set >= 0; --set) {
    const uint32_t n = bits.Read(6);
    sets->count[set] = uint8_t(n);
    sets->indexBits[set] = uint8_t(n == 0 ? 0 : IndexBits(n));
    for (uint32_t i = 0; i < n; ++i) sets->entries[set][i] = uint8_t(bits.Read(8));
  }

  // Expansion states: 0 plain bytes, 1 after 144, 2 reading the long length, 3 reading the
  // distance's low byte.
  int state = 0;
  uint32_t v = 0;
  uint32_t length = 0;
  uint8_t last = 0;
  // Cancel is honoured like in every other decoder: a reduced entry can be as long as any.
  while (remaining > 0 && !st.inputExhausted && !st.cancelRequested) {
    uint8_t byte;
    const uint32_t n = sets->count[last];
    if (n == 0 || bits.Read(1)) {
      byte = uint8_t(bits.Read(8));
    } else {
      byte = sets->entries[last][bits.Read(sets->indexBits[last])];
    }
    switch (state) {
      case 0:
        if (byte != kEscape) {
          if (!out.Put(byte)) return ExtractWriteError;
          --remaining;
        } else {
          state = 1;
        }
        break;
      case 1:
        if (byte == 0) {
          if (!out.Put(kEscape)) return ExtractWriteError;
          --remaining;
          state = 0;
        } else {
          v = byte;
          length = v & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += byte;
        state = 3;
        break;
      default: {
        const uint32_t distance = ((v >> distanceShift) & distanceMask) * 256 + byte + 1;
        // Never write more than the entry holds, whatever the last match says.
        const uint32_t count = uint32_t(std::min<int64_t>(length + kMinMatch, remaining));
        if (!out.Copy(distance, count)) return ExtractWriteError;
        remaining -= count;
        state = 0;
        break;
      }
    }
    last = byte;
  }
  if (st.cancelRequested) return ExtractCancelled;
  return out.Finish() ? ExtractOk : ExtractWriteError;
}

}  // namespace kestrel::reader
