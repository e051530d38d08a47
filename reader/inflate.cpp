// inflate.cpp — Deflate decoder (RFC 1951) for the extraction driver.
//
// How it is fast: while at least kFastInput bytes remain in the input buffer and the output
// has room, codes are decoded by a loop that keeps the bit buffer, the input and output
// pointers in locals (registers). The bits live in a 64-bit buffer that is topped up with one
// unaligned 8-byte load, branch-free, to at least 56 bits: enough for a whole length/distance
// pair, or for several literals in a row. Codes are resolved by packed table entries
// (inflate_table.h) that carry the bits to drop including the extra bits. Output goes to a
// linear buffer that keeps the last 32 KB as match history in front of a 256 KB chunk, so
// matches are plain forward copies (16 or 8 bytes at a time, a widened pattern below 8) and
// the file gets large writes.
//
// Near the end of the input buffer codes are decoded one at a time, "checked": every field
// first makes sure of its bits, refilling from the archive when needed, exactly like the
// driver's EnsureBits, so refills and the stop on cancel or exhausted input happen where they
// would byte by byte. The code sets accepted and refused are those of BuildHuffmanTable;
// unused slots of incomplete sets, literal/length symbols 286-287 and distance symbols 30-31
// decode as invalid data (result 4), as does any distance code in a block without one.
#include "reader/inflate.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "reader/inflate_table.h"
#include "reader/unzip_state.h"

namespace kestrel::reader {

namespace {

constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

inline uint64_t Mask(uint32_t n) { return (uint64_t(1) << n) - 1; }

// Output: kHistory bytes of match history, then the chunk that is written out when full.
// Writing 256 KB at a time keeps system calls rare; the history is slid to the front after.
constexpr uint32_t kHistory = kWindowSize;
constexpr uint32_t kChunk = 262144;
constexpr uint32_t kFlushAt = kHistory + kChunk;
// A match may start just below kFlushAt; its copy overruns its length by up to 15 bytes.
constexpr uint32_t kOutputSize = kFlushAt + 258 + 32;

// The decoder's large buffers, one set per thread (allocated on its first entry), so that
// threads inflating at once never share them and idle threads carry none.
struct Buffers {
  // Tables of the current dynamic block.
  uint32_t dynamicLit[kLitTableSize];
  uint32_t dynamicDist[kDistTableSize];
  uint8_t output[kOutputSize];
  // The history must read as zeros at the start of every entry (distances before the start
  // of the output); only a flush puts bytes there, so it is cleared only after one.
  bool historyDirty = true;
};

Buffers& ThreadBuffers() {
  thread_local std::unique_ptr<Buffers> buffers;
  if (!buffers) buffers = std::make_unique<Buffers>();
  return *buffers;
}

// Input bytes the fast loop needs in front of it: one iteration tops up twice, each top-up
// loads 8 bytes and advances at most 7.
constexpr std::ptrdiff_t kFastInput = 16;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

// For distances below 8: the smallest multiple of the distance that is at least 8. Once 8
// bytes of a match are out, copying 8 bytes from that far back repeats the pattern exactly.
constexpr uint8_t kPatternPeriod[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// Copies a match of length bytes from distance back; may write up to 15 bytes past the end.
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
  const uint8_t* src = dst - distance;
  uint8_t* const stop = dst + length;
  if (distance >= 16) {
    do {
      std::memcpy(dst, src, 16);
      dst += 16;
      src += 16;
    } while (dst < stop);
  } else if (distance >= 8) {
    do {
      std::memcpy(dst, src, 8);
      dst += 8;
      src += 8;
    } while (dst < stop);
  } else if (distance == 1) {
    const uint64_t run = *src * 0x0101010101010101ull;
    do {
      std::memcpy(dst, &run, 8);
      std::memcpy(dst + 8, &run, 8);
      dst += 16;
    } while (dst < stop);
  } else {
    for (int i = 0; i < 8; ++i) dst[i] = src[i];
    dst += 8;
    src = dst - kPatternPeriod[distance];
    while (dst < stop) {
      std::memcpy(dst, src, 8);
      dst += 8;
      src += 8;
    }
  }
}

class Decoder {
 public:
  int Run();

 private:
  // ---- bit reader ----
  void Drop(uint32_t n) {
    bits_ >>= n;
    count_ -= n;
  }
  // Makes sure of n (<= 16) bits, refilling the input buffer from the archive if needed.
  void Ensure(uint32_t n) {
    while (count_ < n) {
      if (in_ == end_) Refill();
      bits_ |= uint64_t(*in_++) << count_;
      count_ += 8;
    }
  }
  // Tops up to at least 56 bits when 8 bytes remain in the input buffer; else does nothing.
  void TopUp() {
    if (end_ - in_ >= 8) {
      bits_ |= Load64(in_) << count_;
      in_ += (63 - count_) >> 3;
      count_ |= 56;
    }
  }
  void Refill() {
    UnzipState& s = State();
    s.inputPosition = int32_t(in_ - buffer_);
    FillInput();
    in_ = buffer_ + s.inputPosition;
    end_ = buffer_ + s.inputLast + 1;
    if (s.cancelRequested || s.inputExhausted) stop_ = true;
  }
  uint32_t Take(uint32_t n) {  // n bits already ensured
    const uint32_t v = uint32_t(bits_ & Mask(n));
    Drop(n);
    return v;
  }
  // The final entry of the next code of table (first level of tableBits), its code bits
  // dropped; extra bits are left to the caller.
  uint32_t DecodeChecked(const uint32_t* table, uint32_t tableBits) {
    Ensure(tableBits);
    uint32_t e = table[bits_ & Mask(tableBits)];
    if (e & kEntryLink) {
      Drop(tableBits);
      Ensure(EntryCodeBits(e));
      e = table[EntryValue(e) + (bits_ & Mask(EntryCodeBits(e)))];
    }
    Drop(EntryCodeBits(e));
    return e;
  }
  // Value of a length or distance entry whose code bits are dropped: base plus extra bits.
  uint32_t BaseChecked(uint32_t e) {
    const uint32_t extra = EntryConsumes(e) - EntryCodeBits(e);
    Ensure(extra);
    return EntryValue(e) + Take(extra);
  }
  int StopResult() const { return State().cancelRequested ? InflateCancelled : InflateInputExhausted; }

  // ---- output ----
  bool Flush() {
    if (!WriteOutput(output_ + flushed_, pos_ - flushed_)) return false;
    std::memmove(output_, output_ + pos_ - kHistory, kHistory);
    buffers_.historyDirty = true;
    pos_ = kHistory;
    flushed_ = kHistory;
    return true;
  }

  int Stored();
  int Dynamic();
  int Codes(const uint32_t* lit, const uint32_t* dist);
  int FastCodes(const uint32_t* lit, const uint32_t* dist);
  int CheckedCode(const uint32_t* lit, const uint32_t* dist);

  Buffers& buffers_ = ThreadBuffers();
  uint8_t* const output_ = buffers_.output;
  const uint8_t* buffer_ = InputBuffer();
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t bits_ = 0;  // bits above count_ are 0 or the stream's next bits
  uint32_t count_ = 0;
  bool stop_ = false;
  uint32_t pos_ = kHistory;
  uint32_t flushed_ = kHistory;
};

int Decoder::Stored() {
  Drop(count_ & 7);
  Ensure(16);
  uint32_t len = Take(16);
  Ensure(16);
  const uint32_t check = Take(16);
  if (check != (~len & 0xFFFF)) return InflateInvalidData;
  while (len != 0 && !stop_) {
    if (count_ >= 8) {
      output_[pos_++] = uint8_t(Take(8));
      --len;
    } else {
      bits_ = 0;  // no whole byte left; forget the look-ahead of bytes copied directly below
      if (in_ == end_) {
        Refill();
        continue;
      }
      uint32_t n = uint32_t(end_ - in_);
      if (n > len) n = len;
      if (n > kFlushAt - pos_) n = kFlushAt - pos_;
      std::memcpy(output_ + pos_, in_, n);
      in_ += n;
      pos_ += n;
      len -= n;
    }
    if (pos_ >= kFlushAt && !Flush()) return InflateWriteFailed;
  }
  return stop_ ? StopResult() : InflateOk;
}

int Decoder::Dynamic() {
  Ensure(14);
  const uint32_t nlit = Take(5) + 257;
  const uint32_t ndist = Take(5) + 1;
  const uint32_t nclen = Take(4) + 4;
  if (nlit > 288 || ndist > 32) return InflateBadHeader;

  uint8_t codeLengths[19] = {};
  for (uint32_t i = 0; i < nclen; ++i) {
    Ensure(3);
    codeLengths[kCodeLengthOrder[i]] = uint8_t(Take(3));
  }
  bool empty;
  if (CheckCodeLengths(codeLengths, 19, empty) != 0 || empty) return InflateInvalidData;
  uint32_t codeTable[1u << kCodeLengthBits];
  BuildDecodeTable(codeLengths, 19, Alphabet::CodeLength, kCodeLengthBits, codeTable);

  uint8_t lengths[320] = {};
  const uint32_t total = nlit + ndist;
  uint32_t last = 0;
  for (uint32_t i = 0; i < total;) {
    if (count_ < kCodeLengthBits + 7) TopUp();  // a code and its repeat bits, mostly at once
    const uint32_t e = DecodeChecked(codeTable, kCodeLengthBits);
    if (e & kEntrySpecial) return InflateInvalidData;
    const uint32_t symbol = EntryValue(e);
    if (symbol < 16) {
      lengths[i++] = uint8_t(symbol);
      last = symbol;
      continue;
    }
    uint32_t repeat;
    uint32_t value = 0;
    if (symbol == 16) {
      Ensure(2);
      repeat = 3 + Take(2);
      value = last;
      if (i + repeat > total) return InflateBadHeader;
    } else if (symbol == 17) {
      Ensure(3);
      repeat = 3 + Take(3);
      if (i + repeat > total) return InflateBadHeader;
      last = 0;
    } else {
      Ensure(7);
      repeat = 11 + Take(7);
      if (i + repeat > total) return InflateInvalidData;
      last = 0;
    }
    std::memset(lengths + i, int(value), repeat);
    i += repeat;
  }

  if (CheckCodeLengths(lengths, nlit, empty) != 0 || empty) return InflateInvalidData;
  if (CheckCodeLengths(lengths + nlit, ndist, empty) == 2) return InflateInvalidData;
  BuildDecodeTable(lengths, nlit, Alphabet::LiteralLength, kLitBits, buffers_.dynamicLit);
  BuildDecodeTable(lengths + nlit, ndist, Alphabet::Distance, kDistBits, buffers_.dynamicDist);
  return Codes(buffers_.dynamicLit, buffers_.dynamicDist);
}

// Result of the code loops when decoding is to go on in the caller.
constexpr int kMore = -1;

int Decoder::Codes(const uint32_t* lit, const uint32_t* dist) {
  for (;;) {
    if (stop_) return StopResult();
    if (pos_ >= kFlushAt && !Flush()) return InflateWriteFailed;
    const int result = end_ - in_ >= kFastInput ? FastCodes(lit, dist) : CheckedCode(lit, dist);
    if (result != kMore) return result;
  }
}

// Decodes codes until the block ends (result), or until fewer than kFastInput input bytes
// remain or the output reaches kFlushAt (kMore). Needs kFastInput bytes at the start.
int Decoder::FastCodes(const uint32_t* lit, const uint32_t* dist) {
  uint64_t bits = bits_;
  uint32_t count = count_;
  const uint8_t* in = in_;
  uint8_t* out = output_ + pos_;
  const uint8_t* const inLimit = end_ - kFastInput;
  uint8_t* const outLimit = output_ + kFlushAt;
  const auto topUp = [&] {
    bits |= Load64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
  };
  const auto drop = [&](uint32_t e) {
    bits >>= EntryConsumes(e);
    count -= EntryConsumes(e);
  };

  int result = kMore;
  topUp();
  // Invariant at the top of the loop: at least 56 bits, and e is the first-level entry of
  // the next code (looked up before the top-up, which does not change the low bits).
  uint32_t e = lit[bits & Mask(kLitBits)];
  while (out < outLimit) {
    if (e & kEntryLiteral) {
      // First-level literals take at most kLitBits each: four of them still leave 16 bits,
      // enough for the next lookup.
      drop(e);
      *out++ = uint8_t(EntryValue(e));
      e = lit[bits & Mask(kLitBits)];
      if (e & kEntryLiteral) {
        drop(e);
        *out++ = uint8_t(EntryValue(e));
        e = lit[bits & Mask(kLitBits)];
        if (e & kEntryLiteral) {
          drop(e);
          *out++ = uint8_t(EntryValue(e));
          e = lit[bits & Mask(kLitBits)];
          if (e & kEntryLiteral) {
            drop(e);
            *out++ = uint8_t(EntryValue(e));
            e = lit[bits & Mask(kLitBits)];
          }
        }
      }
      if (in > inLimit) break;
      topUp();
    } else {
      if (e & kEntrySpecial) {
        if (e & kEntryLink) {
          drop(e);
          e = lit[EntryValue(e) + (bits & Mask(EntryCodeBits(e)))];
        }
        if (e & kEntryLiteral) {  // a long literal code: at most 15 bits, 41 remain
          drop(e);
          *out++ = uint8_t(EntryValue(e));
          e = lit[bits & Mask(kLitBits)];
          if (in > inLimit) break;
          topUp();
          continue;
        }
        if (e & kEntrySpecial) {
          drop(e);
          result = (e & kEntryEnd) ? InflateOk : InflateInvalidData;
          break;
        }
      }
      // A length (code and extra bits at most 20), then a distance (at most 28).
      uint64_t saved = bits;
      drop(e);
      const uint32_t length = EntryValue(e) + uint32_t((saved & Mask(EntryConsumes(e))) >> EntryCodeBits(e));
      e = dist[bits & Mask(kDistBits)];
      if (e & kEntrySpecial) {
        if (!(e & kEntryLink)) {
          result = InflateInvalidData;
          break;
        }
        drop(e);
        e = dist[EntryValue(e) + (bits & Mask(EntryCodeBits(e)))];
        if (e & kEntrySpecial) {
          result = InflateInvalidData;
          break;
        }
      }
      saved = bits;
      drop(e);
      const uint32_t distance = EntryValue(e) + uint32_t((saved & Mask(EntryConsumes(e))) >> EntryCodeBits(e));
      // Top up and look up the next code before the copy, so they overlap with it; the
      // input check came before the last top-up, which advanced at most 7 bytes.
      topUp();
      e = lit[bits & Mask(kLitBits)];
      // out - output >= kHistory >= distance: before the start of the entry the source reads
      // the zeroed history.
      CopyMatch(out, distance, length);
      out += length;
      if (in > inLimit) break;
    }
  }
  bits_ = bits;
  count_ = count;
  in_ = in;
  pos_ = uint32_t(out - output_);
  return result;
}

// Decodes one code (with its distance) near the end of the input buffer.
int Decoder::CheckedCode(const uint32_t* lit, const uint32_t* dist) {
  uint32_t e = DecodeChecked(lit, kLitBits);
  if (e & kEntryLiteral) {
    output_[pos_++] = uint8_t(EntryValue(e));
    return kMore;
  }
  if (e & kEntrySpecial) return (e & kEntryEnd) ? InflateOk : InflateInvalidData;
  const uint32_t length = BaseChecked(e);
  e = DecodeChecked(dist, kDistBits);
  if (e & kEntrySpecial) return InflateInvalidData;
  const uint32_t distance = BaseChecked(e);
  CopyMatch(output_ + pos_, distance, length);
  pos_ += length;
  return kMore;
}

int Decoder::Run() {
  UnzipState& s = State();
  s.inputPosition = 0;
  s.inputLast = -1;
  s.windowPosition = 0;
  s.bitCount = 0;
  s.bitBuffer = 0;
  in_ = end_ = buffer_;
  if (buffers_.historyDirty) {
    std::memset(output_, 0, kHistory);
    buffers_.historyDirty = false;
  }

  int result = InflateOk;
  bool last = false;
  do {
    Ensure(3);
    last = Take(1) != 0;
    switch (Take(2)) {
      case 0:
        result = Stored();
        break;
      case 1:
        result = Codes(FixedLitTable(), FixedDistTable());
        break;
      case 2:
        result = Dynamic();
        break;
      default:
        result = InflateInvalidData;
        break;
    }
  } while (result == InflateOk && !last);
  if (result == InflateOk && !WriteOutput(output_ + flushed_, pos_ - flushed_)) {
    result = InflateWriteFailed;
  }

  // Hand whole unread bytes back to the input buffer, so the driver's bit reader goes on
  // right behind the stream (a data descriptor follows it).
  while (count_ >= 8 && in_ > buffer_) {
    --in_;
    count_ -= 8;
  }
  s.inputPosition = int32_t(in_ - buffer_);
  s.bitBuffer = uint32_t(bits_ & Mask(count_));
  s.bitCount = count_;
  return result;
}

}  // namespace

int Inflate() {
  Decoder decoder;
  return decoder.Run();
}

}  // namespace kestrel::reader
