// inflate_table.h — the packed decoding tables of the Deflate decoder.
//
// One 32-bit entry resolves a code: a first-level block of 2^tableBits entries indexed by the
// next bits of the stream, and for longer codes a link to a sub-table behind it. The entry
// carries everything the decoder's hot loop needs without further lookups: the bits to drop
// (code and extra bits together), where the extra bits start, the kind and the value.
#pragma once

#include <cstdint>

namespace kestrel::reader {

// Entry layout:
//   bits 0-5   bits the entry consumes at its level: its code bits plus, for a length or
//              distance base, the extra bits; for a link, the first level's bits
//   bit 6      special: a link, the end of block or an invalid code
//   bit 7      literal (for the code length alphabet: any symbol)
//   bits 8-11  code bits at this level (extra bits start above them); of a link: the
//              sub-table's index bits
//   bit 12     link (with bit 6)
//   bit 13     end of block (with bit 6); bit 6 alone: invalid code
//   bits 16-31 literal, symbol, length or distance base, or a link's sub-table offset
inline constexpr uint32_t kEntrySpecial = 0x40;
inline constexpr uint32_t kEntryLiteral = 0x80;
inline constexpr uint32_t kEntryLink = 0x1000;
inline constexpr uint32_t kEntryEnd = 0x2000;

inline uint32_t EntryConsumes(uint32_t e) { return e & 63; }
inline uint32_t EntryCodeBits(uint32_t e) { return (e >> 8) & 15; }
inline uint32_t EntryValue(uint32_t e) { return e >> 16; }

// Lookup bits: 10 resolves nearly every literal/length code of real data in one step, 8 most
// distances; the tables stay small enough to rebuild per block and to sit in the L1 cache.
inline constexpr uint32_t kLitBits = 10;
inline constexpr uint32_t kDistBits = 8;
inline constexpr uint32_t kCodeLengthBits = 7;  // code length codes are at most 7 bits long
// Worst cases: every long code alone in a sub-table of the largest size.
inline constexpr uint32_t kLitTableSize = (1u << kLitBits) + 288 * (1u << (15 - kLitBits));
inline constexpr uint32_t kDistTableSize = (1u << kDistBits) + 32 * (1u << (15 - kDistBits));

enum class Alphabet { LiteralLength, Distance, CodeLength };

// The verdict BuildHuffmanTable gives a set of code lengths (all at most 15): 0 complete (also
// a single code of length 1), 1 incomplete, 2 over-subscribed; empty is set when all are 0.
int CheckCodeLengths(const uint8_t* lengths, uint32_t n, bool& empty);

// Fills table (first level of 2^tableBits entries, sub-tables behind it) for code lengths
// that CheckCodeLengths did not refuse as over-subscribed. Unused codes of an incomplete set,
// literal/length symbols 286-287 and distance symbols 30-31 become invalid entries.
void BuildDecodeTable(const uint8_t* lengths, uint32_t n, Alphabet alphabet, uint32_t tableBits,
                      uint32_t* table);

// The tables of the fixed Huffman codes, built once.
const uint32_t* FixedLitTable();
const uint32_t* FixedDistTable();

}  // namespace kestrel::reader
