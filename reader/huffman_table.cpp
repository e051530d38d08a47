// huffman_table.cpp — builds and frees the multi-level Huffman decoding tables.
//
// Codes are walked in canonical order (by length, then symbol) with a bit-reversed counter,
// because the bit reader delivers codes least significant bit first. A first-level block of
// m bits resolves short codes; a longer code's first m bits lead through a link entry to a
// sub-table sized for the codes that share that prefix. Unused slots of an incomplete code
// set hold the invalid op, so a decoder meets them as invalid data, never as garbage.
#include "reader/huffman_table.h"

#include <new>
#include <vector>

namespace kestrel::reader {

namespace {

constexpr uint32_t kMaxBits = 16;
constexpr int kMaxLevels = 17;

}  // namespace

void FreeHuffmanTable(HuffmanTable table) {
  HuffmanEntry* block = table;
  while (block != nullptr) {
    HuffmanEntry* header = block - 1;  // the leading entry of the allocation
    HuffmanEntry* next = header->next;
    delete[] header;
    block = next;
  }
}

int BuildHuffmanTable(const uint16_t* lengths, uint32_t n, uint32_t s, const uint16_t* bases,
                      const uint16_t* extras, HuffmanTable& table, int& m) {
  table = nullptr;
  uint32_t count[kMaxBits + 1] = {};
  const uint32_t endOfBlockLength = n > 256 ? lengths[256] : kMaxBits;
  for (uint32_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxBits) {
      m = 0;
      return kHuffmanInvalid;
    }
    ++count[lengths[i]];
  }
  if (count[0] == n) {
    m = 0;
    return kHuffmanComplete;
  }

  uint32_t shortest = 1;
  while (count[shortest] == 0) ++shortest;
  uint32_t longest = kMaxBits;
  while (count[longest] == 0) --longest;
  int lookup = m;
  if (lookup < int(shortest)) lookup = int(shortest);
  if (lookup > int(longest)) lookup = int(longest);
  m = lookup;

  // Kraft check: y counts the free codes at each length; the free codes left at the longest
  // length become extra codes that decode as invalid.
  int32_t y = 1 << shortest;
  for (uint32_t j = shortest; j < longest; ++j, y <<= 1) {
    if ((y -= int32_t(count[j])) < 0) return kHuffmanInvalid;
  }
  if ((y -= int32_t(count[longest])) < 0) return kHuffmanInvalid;
  count[longest] += uint32_t(y);

  // Symbols sorted by length, ties by symbol number.
  uint32_t offset[kMaxBits + 2] = {};
  for (uint32_t j = 1; j < longest; ++j) offset[j + 1] = offset[j] + count[j];
  std::vector<uint16_t> sorted(n);
  uint32_t realSymbols = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (lengths[i] != 0) {
      sorted[offset[lengths[i]]++] = uint16_t(i);
      ++realSymbols;
    }
  }

  HuffmanEntry* levelTable[kMaxLevels] = {};
  uint32_t levelBits[kMaxLevels + 1] = {};  // levelBits[h + 1] holds the bits of level h
  uint32_t levelPrefix[kMaxLevels] = {};    // code prefix (low w bits) that opened level h
  HuffmanEntry** chainTail = &table;
  auto bitsOf = [&](int h) { return levelBits[h + 1]; };

  uint32_t code = 0;  // current code, bit-reversed
  int h = -1;
  uint32_t w = 0;
  uint32_t p = 0;
  for (uint32_t k = shortest; k <= longest; ++k) {
    uint32_t remaining = count[k];
    while (remaining-- != 0) {
      // Open sub-tables until one reaches down to this code's length.
      while (k > w + bitsOf(h)) {
        w += bitsOf(h);
        ++h;
        const uint32_t limit = (longest - w) < uint32_t(lookup) ? longest - w : uint32_t(lookup);
        uint32_t j = k - w;
        uint32_t f = 1u << j;
        if (f > remaining + 1 && j < limit) {
          // Too few codes of length k to fill a j-bit table: grow it while longer codes
          // would fill the added slots.
          f -= remaining + 1;
          uint32_t t = k;
          while (++j < limit) {
            f <<= 1;
            if (f <= count[++t]) break;
            f -= count[t];
          }
        }
        if (w + j > endOfBlockLength && w < endOfBlockLength) j = endOfBlockLength - w;
        if (w == 0) j = uint32_t(lookup);
        const uint32_t size = 1u << j;
        HuffmanEntry* header = new (std::nothrow) HuffmanEntry[size + 1]();
        if (header == nullptr) {
          FreeHuffmanTable(table);
          table = nullptr;
          return kHuffmanNoMemory;
        }
        header->value = uint16_t(size);
        *chainTail = header + 1;
        chainTail = &header->next;
        levelTable[h] = header + 1;
        levelBits[h + 1] = j;
        if (h > 0) {
          levelPrefix[h] = code;
          HuffmanEntry link;
          link.op = uint8_t(16 + j);
          link.bits = uint8_t(bitsOf(h - 1));
          link.next = header + 1;
          const uint32_t index = (code & ((1u << w) - 1)) >> (w - bitsOf(h - 1));
          levelTable[h - 1][index] = link;
        }
      }

      HuffmanEntry entry;
      entry.bits = uint8_t(k - w);
      if (p >= realSymbols) {
        entry.op = kOpInvalid;
      } else if (sorted[p] < s) {
        entry.op = sorted[p] < 256 ? kOpLiteral : kOpEndOfBlock;
        entry.value = sorted[p];
      } else {
        if (bases == nullptr || extras == nullptr) {
          FreeHuffmanTable(table);
          table = nullptr;
          return kHuffmanInvalid;
        }
        entry.op = uint8_t(extras[sorted[p] - s]);
        entry.value = bases[sorted[p] - s];
      }
      ++p;

      const uint32_t step = 1u << (k - w);
      const uint32_t size = 1u << bitsOf(h);
      for (uint32_t index = code >> w; index < size; index += step) levelTable[h][index] = entry;

      // Next code of length k, counting in bit-reversed order.
      uint32_t bit = 1u << (k - 1);
      while (code & bit) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;

      // Close the tables whose prefix the next code leaves.
      while (h > 0 && (code & ((1u << w) - 1)) != levelPrefix[h]) {
        --h;
        w -= bitsOf(h);
      }
    }
  }
  return (y != 0 && longest != 1) ? kHuffmanIncomplete : kHuffmanComplete;
}

}  // namespace kestrel::reader
