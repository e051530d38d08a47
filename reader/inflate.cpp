// inflate.cpp — Deflate decoder (RFC 1951) for the extraction driver.
//
// How it is fast: the bits live in a 64-bit buffer that is topped up with one unaligned
// 8-byte load (branch-free) whenever fewer than 48 bits remain, which is enough for a whole
// length/distance pair; codes are resolved by packed 32-bit table entries (10 lookup bits for
// literal/length codes, 8 for distances, one sub-table level for longer codes); output goes
// to a linear buffer that keeps the last 32 KB as match history in front of a 256 KB chunk,
// so matches are plain forward copies (8 or 16 bytes at a time) and the file gets large
// writes. Literals that follow one another are stored up to three per top-up.
//
// Near the end of the input buffer the same loop runs "checked": every field first makes
// sure of its bits, refilling from the archive when needed, exactly like the driver's
// EnsureBits. The code sets accepted and refused are those of BuildHuffmanTable; unused
// slots of incomplete sets, literal/length symbols 286-287 and distance symbols 30-31
// decode as invalid data (result 4), as does any distance code in a block without one.
#include "reader/inflate.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "reader/huffman_table.h"
#include "reader/unzip_state.h"

namespace kestrel::reader {

namespace {

// ---- Packed table entries ------------------------------------------------------------------
// bits 0-3: bits the entry consumes at its level; bits 4-7: extra bits of a length or
// distance base, or the index bits of a sub-table; bits 8-10: kind; bits 16-31: value.
enum : uint32_t { kKindLiteral = 0, kKindBase = 1, kKindEnd = 2, kKindSub = 3, kKindBad = 4 };

constexpr uint32_t MakeEntry(uint32_t kind, uint32_t value, uint32_t bits, uint32_t extra) {
  return value << 16 | kind << 8 | extra << 4 | bits;
}
inline uint32_t KindOf(uint32_t e) { return (e >> 8) & 7; }
inline uint32_t BitsOf(uint32_t e) { return e & 15; }
inline uint32_t ExtraOf(uint32_t e) { return (e >> 4) & 15; }
inline uint32_t ValueOf(uint32_t e) { return e >> 16; }
inline uint64_t Mask(uint32_t n) { return (uint64_t(1) << n) - 1; }

// Lookup bits: 10 resolves nearly every literal/length code of real data in one step, 8 most
// distances; the tables stay small enough to rebuild per block and to sit in the L1 cache.
constexpr uint32_t kLitBits = 10;
constexpr uint32_t kDistBits = 8;
constexpr uint32_t kCodeLengthBits = 7;  // code length codes are at most 7 bits long
constexpr uint32_t kLitTableSize = (1u << kLitBits) + 288 * (1u << (15 - kLitBits));
constexpr uint32_t kDistTableSize = (1u << kDistBits) + 32 * (1u << (15 - kDistBits));

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

// Bytes with their bits in reverse order: Deflate sends Huffman codes most significant bit
// first into a stream read least significant bit first.
constexpr auto kReversedBytes = [] {
  std::array<uint8_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    for (uint32_t b = 0; b < 8; ++b) t[i] |= uint8_t(((i >> b) & 1) << (7 - b));
  }
  return t;
}();

// The len (1-15) low bits of code in reverse order.
inline uint32_t ReverseCode(uint32_t code, uint32_t len) {
  return (uint32_t(kReversedBytes[code & 0xFF]) << 8 | kReversedBytes[(code >> 8) & 0xFF]) >> (16 - len);
}

enum class Alphabet { LiteralLength, Distance, CodeLength };

uint32_t SymbolEntry(Alphabet alphabet, uint32_t symbol, uint32_t bits) {
  switch (alphabet) {
    case Alphabet::LiteralLength:
      if (symbol < 256) return MakeEntry(kKindLiteral, symbol, bits, 0);
      if (symbol == 256) return MakeEntry(kKindEnd, 0, bits, 0);
      if (symbol < 286) {
        return MakeEntry(kKindBase, kLengthBase[symbol - 257], bits, kLengthExtra[symbol - 257]);
      }
      break;
    case Alphabet::Distance:
      if (symbol < 30) return MakeEntry(kKindBase, kDistBase[symbol], bits, kDistExtra[symbol]);
      break;
    case Alphabet::CodeLength:
      return MakeEntry(kKindLiteral, symbol, bits, 0);
  }
  return MakeEntry(kKindBad, 0, bits, 0);
}

// The verdict BuildHuffmanTable gives a set of code lengths (at most 15 here): complete
// (also a single code of length 1), incomplete, or over-subscribed; empty when all are 0.
int CheckLengths(const uint8_t* lengths, uint32_t n, bool& empty) {
  uint32_t count[16] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  empty = count[0] == n;
  if (empty) return kHuffmanComplete;
  int32_t left = 1;
  uint32_t longest = 0;
  for (uint32_t len = 1; len < 16; ++len) {
    left = left * 2 - int32_t(count[len]);
    if (left < 0) return kHuffmanInvalid;
    if (count[len] != 0) longest = len;
  }
  return (left != 0 && longest != 1) ? kHuffmanIncomplete : kHuffmanComplete;
}

// Fills table (primary block of 2^tableBits entries, sub-tables behind it) for lengths that
// CheckLengths did not refuse as over-subscribed.
void BuildTable(const uint8_t* lengths, uint32_t n, Alphabet alphabet, uint32_t tableBits,
                uint32_t* table) {
  const uint32_t primary = 1u << tableBits;
  const uint32_t bad = MakeEntry(kKindBad, 0, 0, 0);
  uint32_t count[16] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  // A complete set covers every slot of every block, so only the others are pre-filled with
  // invalid entries (the unused codes); a table is rebuilt for every block of an entry.
  uint32_t kraft = 0;  // sum of 2^(15 - length): 2^15 exactly when the set is complete
  for (uint32_t len = 1; len < 16; ++len) kraft += count[len] << (15 - len);
  const bool complete = kraft == (1u << 15);
  if (!complete) {
    for (uint32_t i = 0; i < primary; ++i) table[i] = bad;
  }
  uint32_t next[16] = {};
  for (uint32_t len = 1, code = 0; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  uint16_t reversed[320];
  uint8_t subBits[1u << kLitBits] = {};
  for (uint32_t symbol = 0; symbol < n; ++symbol) {
    const uint32_t len = lengths[symbol];
    if (len == 0) continue;
    const uint32_t code = next[len]++;
    const uint32_t rev = ReverseCode(code, len);
    reversed[symbol] = uint16_t(rev);
    if (len <= tableBits) {
      const uint32_t entry = SymbolEntry(alphabet, symbol, len);
      for (uint32_t i = rev; i < primary; i += 1u << len) table[i] = entry;
    } else {
      uint8_t& bits = subBits[rev & (primary - 1)];
      if (len - tableBits > bits) bits = uint8_t(len - tableBits);
    }
  }
  // Sub-tables, one per prefix that has longer codes, sized for the longest of them.
  uint32_t end = primary;
  for (uint32_t prefix = 0; prefix < primary; ++prefix) {
    if (subBits[prefix] == 0) continue;
    table[prefix] = MakeEntry(kKindSub, end, tableBits, subBits[prefix]);
    if (!complete) {
      for (uint32_t i = 0; i < (1u << subBits[prefix]); ++i) table[end + i] = bad;
    }
    end += 1u << subBits[prefix];
  }
  for (uint32_t symbol = 0; symbol < n; ++symbol) {
    const uint32_t len = lengths[symbol];
    if (len <= tableBits) continue;
    const uint32_t rev = reversed[symbol];
    const uint32_t link = table[rev & (primary - 1)];
    const uint32_t size = 1u << ExtraOf(link);
    const uint32_t entry = SymbolEntry(alphabet, symbol, len - tableBits);
    for (uint32_t i = rev >> tableBits; i < size; i += 1u << (len - tableBits)) {
      table[ValueOf(link) + i] = entry;
    }
  }
}

struct FixedTables {
  uint32_t lit[kLitTableSize];
  uint32_t dist[kDistTableSize];
  FixedTables() {
    uint8_t lengths[288];
    for (uint32_t i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    BuildTable(lengths, 288, Alphabet::LiteralLength, kLitBits, lit);
    uint8_t distLengths[30];
    std::memset(distLengths, 5, sizeof distLengths);
    BuildTable(distLengths, 30, Alphabet::Distance, kDistBits, dist);
  }
};

const FixedTables& Fixed() {
  static const FixedTables tables;
  return tables;
}

// Tables of the current dynamic block.
uint32_t dynamicLit[kLitTableSize];
uint32_t dynamicDist[kDistTableSize];

// Output: kHistory bytes of match history, then the chunk that is written out when full.
// Writing 256 KB at a time keeps system calls rare; the history is slid to the front after.
constexpr uint32_t kHistory = kWindowSize;
constexpr uint32_t kChunk = 262144;
constexpr uint32_t kFlushAt = kHistory + kChunk;
// A match may start just below kFlushAt and overrun its length by up to 15 bytes.
constexpr uint32_t kOutputSize = kFlushAt + 258 + 16;
uint8_t output[kOutputSize];
// The history must read as zeros at the start of every entry (distances before the start of
// the output); only a flush puts bytes there, so it is cleared only after one.
bool historyDirty = true;

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
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
  // Tops up to at least 56 bits from what the input buffer holds, never refilling it.
  void TopUp() {
    if (end_ - in_ >= 8) {
      bits_ |= Load64(in_) << count_;
      in_ += (63 - count_) >> 3;
      count_ |= 56;
    } else {
      while (count_ < 56 && in_ < end_) {
        bits_ |= uint64_t(*in_++) << count_;
        count_ += 8;
      }
    }
  }
  // Makes sure of n (<= 16) bits, refilling the input buffer from the archive if needed.
  void Ensure(uint32_t n) {
    while (count_ < n) {
      if (in_ == end_) Refill();
      bits_ |= uint64_t(*in_++) << count_;
      count_ += 8;
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
  int StopResult() const { return State().cancelRequested ? InflateCancelled : InflateInputExhausted; }

  // ---- output ----
  bool Flush() {
    if (!WriteOutput(output + flushed_, pos_ - flushed_)) return false;
    std::memmove(output, output + pos_ - kHistory, kHistory);
    historyDirty = true;
    pos_ = kHistory;
    flushed_ = kHistory;
    return true;
  }

  int Stored();
  int Dynamic();
  int Codes(const uint32_t* lit, const uint32_t* dist);

  const uint8_t* buffer_ = InputBuffer();
  const uint8_t* in_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t bits_ = 0;
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
      output[pos_++] = uint8_t(Take(8));
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
      std::memcpy(output + pos_, in_, n);
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
  if (CheckLengths(codeLengths, 19, empty) != kHuffmanComplete || empty) return InflateInvalidData;
  uint32_t codeTable[1u << kCodeLengthBits];
  BuildTable(codeLengths, 19, Alphabet::CodeLength, kCodeLengthBits, codeTable);

  uint8_t lengths[320] = {};
  const uint32_t total = nlit + ndist;
  uint32_t last = 0;
  for (uint32_t i = 0; i < total;) {
    Ensure(kCodeLengthBits);
    const uint32_t e = codeTable[bits_ & Mask(kCodeLengthBits)];
    if (KindOf(e) == kKindBad) return InflateInvalidData;
    Drop(BitsOf(e));
    const uint32_t symbol = ValueOf(e);
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

  if (CheckLengths(lengths, nlit, empty) != kHuffmanComplete || empty) return InflateInvalidData;
  if (CheckLengths(lengths + nlit, ndist, empty) == kHuffmanInvalid) return InflateInvalidData;
  BuildTable(lengths, nlit, Alphabet::LiteralLength, kLitBits, dynamicLit);
  BuildTable(lengths + nlit, ndist, Alphabet::Distance, kDistBits, dynamicDist);
  return Codes(dynamicLit, dynamicDist);
}

int Decoder::Codes(const uint32_t* lit, const uint32_t* dist) {
  for (;;) {
    if (stop_) return StopResult();
    if (count_ < 48) TopUp();
    const bool checked = count_ < 48;  // near the end of the input buffer

    if (checked) Ensure(kLitBits);
    uint32_t e = lit[bits_ & Mask(kLitBits)];
    if (KindOf(e) == kKindSub) {
      Drop(kLitBits);
      if (checked) Ensure(ExtraOf(e));
      e = lit[ValueOf(e) + (bits_ & Mask(ExtraOf(e)))];
    }
    Drop(BitsOf(e));
    const uint32_t kind = KindOf(e);
    if (kind == kKindLiteral) {
      output[pos_++] = uint8_t(ValueOf(e));
      if (!checked) {
        // The bits loaded hold two more one-level codes (at most kLitBits each) for sure;
        // literals among them are stored at once (the output has slack past kFlushAt).
        e = lit[bits_ & Mask(kLitBits)];
        if (KindOf(e) == kKindLiteral) {
          Drop(BitsOf(e));
          output[pos_++] = uint8_t(ValueOf(e));
          e = lit[bits_ & Mask(kLitBits)];
          if (KindOf(e) == kKindLiteral) {
            Drop(BitsOf(e));
            output[pos_++] = uint8_t(ValueOf(e));
          }
        }
      }
      if (pos_ >= kFlushAt && !Flush()) return InflateWriteFailed;
      continue;
    }
    if (kind == kKindEnd) return InflateOk;
    if (kind != kKindBase) return InflateInvalidData;

    uint32_t length = ValueOf(e);
    if (const uint32_t extra = ExtraOf(e); extra != 0) {
      if (checked) Ensure(extra);
      length += Take(extra);
    }

    if (checked) Ensure(kDistBits);
    e = dist[bits_ & Mask(kDistBits)];
    if (KindOf(e) == kKindSub) {
      Drop(kDistBits);
      if (checked) Ensure(ExtraOf(e));
      e = dist[ValueOf(e) + (bits_ & Mask(ExtraOf(e)))];
    }
    Drop(BitsOf(e));
    if (KindOf(e) != kKindBase) return InflateInvalidData;
    uint32_t distance = ValueOf(e);
    if (const uint32_t extra = ExtraOf(e); extra != 0) {
      if (checked) Ensure(extra);
      distance += Take(extra);
    }

    // pos_ >= kHistory >= distance, so the source never precedes the buffer; before the
    // start of the entry it reads the zeroed history.
    uint8_t* dst = output + pos_;
    const uint8_t* src = dst - distance;
    if (distance >= 16) {
      uint8_t* const stopAt = dst + length;
      do {
        std::memcpy(dst, src, 16);
        dst += 16;
        src += 16;
      } while (dst < stopAt);
    } else if (distance >= 8) {
      uint8_t* const stopAt = dst + length;
      do {
        std::memcpy(dst, src, 8);
        dst += 8;
        src += 8;
      } while (dst < stopAt);
    } else if (distance == 1) {
      std::memset(dst, *src, length);
    } else {
      for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
    }
    pos_ += length;
    if (pos_ >= kFlushAt && !Flush()) return InflateWriteFailed;
  }
}

int Decoder::Run() {
  UnzipState& s = State();
  s.inputPosition = 0;
  s.inputLast = -1;
  s.windowPosition = 0;
  s.bitCount = 0;
  s.bitBuffer = 0;
  in_ = end_ = buffer_;
  if (historyDirty) {
    std::memset(output, 0, kHistory);
    historyDirty = false;
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
        result = Codes(Fixed().lit, Fixed().dist);
        break;
      case 2:
        result = Dynamic();
        break;
      default:
        result = InflateInvalidData;
        break;
    }
  } while (result == InflateOk && !last);
  if (result == InflateOk && !WriteOutput(output + flushed_, pos_ - flushed_)) {
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
