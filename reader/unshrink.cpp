// unshrink.cpp — decoder for shrunk entries (method 1).
//
// Shrink is LZW: codes 0-255 are bytes, 256 is a control code (256,1 widens the codes by one
// bit up to 13; 256,2 partially clears the table), and codes 257-8192 are strings, each a
// prefix code plus one suffix byte. The decoder keeps everything in the driver's 32 KB window:
//   bytes     0-766    output buffer, flushed whenever it holds 767 bytes
//   from    767        prefix table, 16-bit entries for codes 257-8192; a free code holds
//                      -(next free code), so the free codes form an ascending list
//   from  16639        suffix table, one byte per code 257-8192
//   from  24575        stack of 8193 bytes: a string is expanded backwards into it
// Every table index is checked against these bounds; a chain that is longer than the stack
// (a cycle in corrupt data) or that runs into a free code is an invalid code stream.
#include "reader/unshrink.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "reader/legacy_bit_reader.h"
#include "reader/unzip_state.h"

namespace kestrel::reader {
namespace {

constexpr uint32_t kOutputSize = 767;
constexpr uint32_t kPrefixOffset = 767;
constexpr uint32_t kSuffixOffset = 16639;
constexpr uint32_t kStackOffset = 24575;
constexpr uint32_t kStackSize = 8193;
constexpr int kControlCode = 256;
constexpr int kFirstCode = 257;
constexpr int kLastCode = 8192;
constexpr int kNoFreeCode = kLastCode + 1;  // the free list ends here: the table is full
constexpr uint32_t kMinCodeSize = 9;
constexpr uint32_t kMaxCodeSize = 13;
constexpr uint16_t kMarked = 0x8000;       // set on codes a partial clear may free
constexpr uint16_t kMarkBits = 0xC000;     // a prefix with either bit set was not kept
// A stream whose compressed size is this value (or the driver's unknown-size sentinel) has no
// usable length; without it a shrunk stream cannot be decoded.
constexpr int32_t kNoSize = 2147483647;

class Decoder {
 public:
  explicit Decoder(UnzipState& st) : st_(st), w_(st.window), bits_(st) {}

  int Run() {
    std::memset(w_, 0, kWindowSize);
    for (int code = kFirstCode; code <= kLastCode; ++code) SetPrefix(code, -(code + 1));

    // A size that cannot hold even the first code means an empty file.
    // A zip64 size may pass any real file: capped, the input runs out first.
    int64_t budget = std::min<int64_t>(st_.compressedSize, INT64_MAX / 8) * 8 - kMinCodeSize;
    if (budget < 0) return ExtractOk;

    const int first = int(ReadBits(kMinCodeSize));
    if (first >= kControlCode) return Invalid();
    int previous = first;
    int final = first;
    if (!Put(uint8_t(first))) return ExtractWriteError;

    while (!st_.cancelRequested && !st_.inputExhausted && budget >= int64_t(codeSize_)) {
      const int code = int(ReadBits(codeSize_));
      budget -= codeSize_;
      if (code == kControlCode) {
        const uint32_t sub = ReadBits(codeSize_);
        budget -= codeSize_;
        if (sub == 1) {
          if (++codeSize_ > kMaxCodeSize) return Invalid();
        } else if (sub == 2) {
          PartialClear();
        } else {
          return Invalid();
        }
        continue;
      }
      if (code < kControlCode) {
        final = code;
        if (!Put(uint8_t(code))) return ExtractWriteError;
      } else {
        uint32_t top = kStackSize;  // the stack fills downwards from its end
        int walk = code;
        if (Prefix(code) < 0) {
          // A free code can only be the one being defined: previous string + its first byte.
          if (code != nextFree_) return Invalid();
          w_[kStackOffset + --top] = uint8_t(final);
          walk = previous;
        }
        while (walk > kControlCode) {
          if (top == 0) return Invalid();
          w_[kStackOffset + --top] = w_[kSuffixOffset + walk - kFirstCode];
          const int next = Prefix(walk);
          if (next < 0 || next == kControlCode) return Invalid();
          walk = next;
        }
        final = walk;
        if (!Put(uint8_t(walk))) return ExtractWriteError;
        if (!PutStack(top)) return ExtractWriteError;
      }
      if (nextFree_ <= kLastCode) {
        const int defined = nextFree_;
        const int link = Prefix(defined);
        // The head of the free list always links onwards; anything else ends the list.
        nextFree_ = link < 0 ? -link : kNoFreeCode;
        SetPrefix(defined, previous);
        w_[kSuffixOffset + defined - kFirstCode] = uint8_t(final);
      }
      previous = code;
    }
    if (st_.cancelRequested) return ExtractCancelled;
    if (!FlushWindow(count_)) return ExtractWriteError;
    if (st_.inputExhausted) return ExtractReadError;
    return ExtractOk;
  }

 private:
  // Bits read after the input ran out are not data: report the missing input instead.
  int Invalid() const { return st_.inputExhausted ? ExtractReadError : ExtractFormatError; }
  int Prefix(int code) const {
    int16_t v;
    std::memcpy(&v, w_ + kPrefixOffset + 2 * uint32_t(code - kFirstCode), 2);
    return v;
  }
  void SetPrefix(int code, int value) {
    const int16_t v = int16_t(value);
    std::memcpy(w_ + kPrefixOffset + 2 * uint32_t(code - kFirstCode), &v, 2);
  }
  uint32_t ReadBits(uint32_t n) { return bits_.Read(n); }
  bool Put(uint8_t byte) {
    w_[count_++] = byte;
    if (count_ < kOutputSize) return true;
    count_ = 0;
    return FlushWindow(kOutputSize);
  }
  // Outputs the stacked bytes from index top to the end of the stack, in order.
  bool PutStack(uint32_t top) {
    while (top < kStackSize) {
      const uint32_t chunk = std::min(kStackSize - top, kOutputSize - count_);
      std::memcpy(w_ + count_, w_ + kStackOffset + top, chunk);
      top += chunk;
      count_ += chunk;
      if (count_ == kOutputSize) {
        count_ = 0;
        if (!FlushWindow(kOutputSize)) return false;
      }
    }
    return true;
  }

  // Frees every code below the head of the free list that is no other such code's prefix,
  // and puts the freed codes, ascending, in front of the old free list. All codes below the
  // head are in use (the free list is ascending), so only they are marked and looked at.
  void PartialClear() {
    const int limit = nextFree_;
    for (int code = kFirstCode; code < limit; ++code) {
      SetPrefix(code, uint16_t(Prefix(code)) | kMarked);
    }
    for (int code = kFirstCode; code < limit; ++code) {
      const int parent = uint16_t(Prefix(code)) & ~kMarked & 0xFFFF;
      if (parent > kControlCode && parent < limit) {
        SetPrefix(parent, uint16_t(Prefix(parent)) & ~kMarked & 0xFFFF);
      }
    }
    int head = 0;
    int last = 0;
    for (int code = kFirstCode; code < limit; ++code) {
      if ((uint16_t(Prefix(code)) & kMarkBits) == 0) continue;
      if (last == 0) {
        head = code;
      } else {
        SetPrefix(last, -code);
      }
      last = code;
    }
    // When nothing was freed the free list stays as it was.
    if (last != 0) {
      SetPrefix(last, -limit);
      nextFree_ = head;
    }
  }

  UnzipState& st_;
  uint8_t* w_;
  LegacyBitReader bits_;
  uint32_t count_ = 0;  // bytes waiting in the output buffer
  uint32_t codeSize_ = kMinCodeSize;
  int nextFree_ = kFirstCode;
};

}  // namespace

int Unshrink() {
  UnzipState& st = State();
  if (st.compressedSize == kNoSize || st.compressedSize == kUnknownSize) return ExtractUnsupported;
  ResetInput();  // before the decoder takes over the (empty) bit buffer
  return Decoder(st).Run();
}

}  // namespace kestrel::reader
