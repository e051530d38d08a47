// inflate_table.cpp — builds the decoder's packed tables from code lengths.
//
// Codes are taken in canonical order (by length, then symbol). The first level is built by
// doubling: with all codes of up to L bits entered in a 2^L-entry table, copying it once gives
// the 2^(L+1)-entry table in which the codes of L + 1 bits are then entered, so every slot is
// written about once and mostly by block copies. Codes longer than the first level continue
// in sub-tables, one per shared first-level prefix, sized for the longest code behind it.
#include "reader/inflate_table.h"

#include <cstring>

namespace kestrel::reader {

namespace {

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr uint32_t Literal(uint32_t value, uint32_t bits) {
  return value << 16 | bits << 8 | kEntryLiteral | bits;
}
constexpr uint32_t Base(uint32_t value, uint32_t bits, uint32_t extra) {
  return value << 16 | bits << 8 | (bits + extra);
}
constexpr uint32_t Invalid(uint32_t bits) { return bits << 8 | kEntrySpecial | bits; }

uint32_t SymbolEntry(Alphabet alphabet, uint32_t symbol, uint32_t bits) {
  switch (alphabet) {
    case Alphabet::LiteralLength:
      if (symbol < 256) return Literal(symbol, bits);
      if (symbol == 256) return bits << 8 | kEntrySpecial | kEntryEnd | bits;
      if (symbol < 286) return Base(kLengthBase[symbol - 257], bits, kLengthExtra[symbol - 257]);
      break;
    case Alphabet::Distance:
      if (symbol < 30) return Base(kDistBase[symbol], bits, kDistExtra[symbol]);
      break;
    case Alphabet::CodeLength:
      return Literal(symbol, bits);
  }
  return Invalid(bits);
}

// Bytes with their bits in reverse order: Deflate sends Huffman codes most significant bit
// first into a stream read least significant bit first.
constexpr struct ReversedBytes {
  uint8_t byte[256] = {};
  constexpr ReversedBytes() {
    for (uint32_t i = 0; i < 256; ++i) {
      for (uint32_t b = 0; b < 8; ++b) byte[i] |= uint8_t(((i >> b) & 1) << (7 - b));
    }
  }
} kReversed;

// The len (1-15) low bits of code in reverse order.
inline uint32_t ReverseCode(uint32_t code, uint32_t len) {
  return (uint32_t(kReversed.byte[code & 0xFF]) << 8 | kReversed.byte[(code >> 8) & 0xFF]) >> (16 - len);
}

}  // namespace

int CheckCodeLengths(const uint8_t* lengths, uint32_t n, bool& empty) {
  uint32_t count[16] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  empty = count[0] == n;
  if (empty) return 0;
  int32_t left = 1;
  uint32_t longest = 0;
  for (uint32_t len = 1; len < 16; ++len) {
    left = left * 2 - int32_t(count[len]);
    if (left < 0) return 2;
    if (count[len] != 0) longest = len;
  }
  return (left != 0 && longest != 1) ? 1 : 0;
}

void BuildDecodeTable(const uint8_t* lengths, uint32_t n, Alphabet alphabet, uint32_t tableBits,
                      uint32_t* table) {
  uint32_t count[16] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  uint32_t start[16];  // index in sorted of the first code of each length
  start[0] = start[1] = 0;
  for (uint32_t len = 1; len < 15; ++len) start[len + 1] = start[len] + count[len];
  uint16_t sorted[320];
  uint32_t fill[16];
  std::memcpy(fill, start, sizeof fill);
  for (uint32_t symbol = 0; symbol < n; ++symbol) {
    if (lengths[symbol] != 0) sorted[fill[lengths[symbol]]++] = uint16_t(symbol);
  }

  // First level, doubled up from two slots that hold invalid entries until a code claims them.
  table[0] = table[1] = Invalid(0);
  uint32_t code = 0;  // canonical code of the next symbol
  uint32_t next = 0;  // its index in sorted
  for (uint32_t len = 1; len <= tableBits; ++len) {
    if (len > 1) std::memcpy(table + (1u << (len - 1)), table, sizeof(uint32_t) << (len - 1));
    for (uint32_t c = count[len]; c != 0; --c, ++code) {
      table[ReverseCode(code, len)] = SymbolEntry(alphabet, sorted[next++], len);
    }
    code <<= 1;
  }

  // Longer codes: the codes behind one prefix are consecutive in canonical order.
  uint32_t kraft = 0;  // sum of 2^(15 - length): 2^15 exactly when the set is complete
  for (uint32_t len = 1; len < 16; ++len) kraft += count[len] << (15 - len);
  const bool complete = kraft == (1u << 15);
  const uint32_t primaryMask = (1u << tableBits) - 1;
  uint32_t end = 1u << tableBits;  // where the next sub-table goes
  uint32_t prefix = ~0u;
  uint32_t* sub = nullptr;
  uint32_t subSize = 0;
  for (uint32_t len = tableBits + 1; len < 16; ++len) {
    for (uint32_t c = count[len]; c != 0; --c, ++code) {
      const uint32_t rev = ReverseCode(code, len);
      if ((rev & primaryMask) != prefix) {
        // A new prefix: its sub-table needs the bits of the longest code that shares it, found
        // by filling the prefix's code space with the remaining codes, shortest first.
        prefix = rev & primaryMask;
        uint32_t bits = len - tableBits;
        int32_t left = int32_t(1u << bits) - int32_t(c);
        while (left > 0 && bits + tableBits < 15) {
          ++bits;
          left = left * 2 - int32_t(count[bits + tableBits]);
        }
        subSize = 1u << bits;
        sub = table + end;
        if (!complete) {
          for (uint32_t i = 0; i < subSize; ++i) sub[i] = Invalid(0);
        }
        table[prefix] = end << 16 | bits << 8 | kEntrySpecial | kEntryLink | tableBits;
        end += subSize;
      }
      const uint32_t entry = SymbolEntry(alphabet, sorted[next++], len - tableBits);
      for (uint32_t i = rev >> tableBits; i < subSize; i += 1u << (len - tableBits)) sub[i] = entry;
    }
    code <<= 1;
  }
}

namespace {

struct FixedTables {
  uint32_t lit[kLitTableSize];
  uint32_t dist[kDistTableSize];
  FixedTables() {
    uint8_t lengths[288];
    for (uint32_t i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    BuildDecodeTable(lengths, 288, Alphabet::LiteralLength, kLitBits, lit);
    uint8_t distLengths[30];
    std::memset(distLengths, 5, sizeof distLengths);
    BuildDecodeTable(distLengths, 30, Alphabet::Distance, kDistBits, dist);
  }
};

const FixedTables& Fixed() {
  static const FixedTables tables;
  return tables;
}

}  // namespace

const uint32_t* FixedLitTable() { return Fixed().lit; }
const uint32_t* FixedDistTable() { return Fixed().dist; }

}  // namespace kestrel::reader
