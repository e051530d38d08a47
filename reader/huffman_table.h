// huffman_table.h — multi-level Huffman decoding tables, shared by inflate and explode.
//
// A table is a first-level block of 2^m entries; codes longer than m bits continue in
// sub-table blocks reached through link entries. Every block is allocated with one leading
// entry that holds the block's entry count and links to the next allocated block, so the
// whole table is one chain that FreeHuffmanTable walks.
#pragma once

#include <cstdint>

namespace kestrel::reader {

// Entry ops: 0-14 extra bits of a length/distance base in value; 15 end of block; 16 literal
// in value; 17-32 link to a sub-table indexed by (op - 16) more bits; 99 invalid code.
enum HuffmanOp : uint8_t {
  kOpEndOfBlock = 15,
  kOpLiteral = 16,
  kOpInvalid = 99,
};

struct HuffmanEntry {
  uint8_t op = 0;
  uint8_t bits = 0;     // bits this entry consumes at its level
  uint16_t value = 0;   // literal, symbol, or base length/distance
  HuffmanEntry* next = nullptr;  // sub-table of a link entry
};
using HuffmanTable = HuffmanEntry*;  // first-level block; nullptr for an empty table

enum HuffmanBuildResult : int {
  kHuffmanComplete = 0,
  kHuffmanIncomplete = 1,
  kHuffmanInvalid = 2,
  kHuffmanNoMemory = 3,
};

// Builds the table for n code lengths (0 = unused symbol). Symbols below s are entered
// directly (below 256: literal; 256: end of block); symbol v >= s takes op extras[v - s] and
// value bases[v - s]. m gives the wanted lookup bits and receives the bits used.
int BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* bases,
                      const uint16_t* extras, HuffmanTable& table, int& m);
// Releases every block of the table's chain; nullptr is allowed.
void FreeHuffmanTable(HuffmanTable table);

}  // namespace kestrel::reader
