// explode.cpp — decoder for imploded entries (method 6).
//
// The data starts with two or three Shannon-Fano trees, each sent as run-length coded bit
// lengths; they are decoded with the same multi-level tables as Deflate's Huffman codes, looked
// up with the complemented input bits (implode sends its codes inverted). Then come tokens: a 1
// bit and a literal, or a 0 bit, the low distance bits, a distance code and a length code. The
// four variants differ only in constants, so the token loop is one template instantiated per
// variant and has no per-symbol variant tests.
#include "reader/explode.h"

#include <algorithm>
#include <cstring>

#include "reader/huffman_table.h"
#include "reader/legacy_bit_reader.h"
#include "reader/unzip_state.h"

namespace kestrel::reader {
namespace {

constexpr uint32_t kLiteralCodes = 256;
constexpr uint32_t kLengthCodes = 64;
constexpr uint32_t kDistanceCodes = 64;
constexpr uint16_t kLongCodeExtraBits = 8;  // code 63 of the length tree takes 8 more bits
// Above this compressed size the distance table looks up 8 bits at once instead of 7.
constexpr int32_t kLargeEntry = 200000;

uint32_t Mask(uint32_t bits) { return (1u << bits) - 1; }

// The decoding tables of one entry, freed on every path out.
struct Trees {
  HuffmanTable literal = nullptr;
  HuffmanTable length = nullptr;
  HuffmanTable distance = nullptr;
  int literalBits = 9;
  int lengthBits = 7;
  int distanceBits = 7;
  ~Trees() {
    FreeHuffmanTable(literal);
    FreeHuffmanTable(length);
    FreeHuffmanTable(distance);
  }
};

// Reads one tree header of n bit lengths: a count byte, then runs of (count, length) nibbles.
// False unless the runs give exactly n lengths.
bool ReadTreeLengths(uint16_t* lengths, uint32_t n) {
  const uint32_t runs = uint32_t(ReadByte()) + 1;
  uint32_t filled = 0;
  for (uint32_t r = 0; r < runs; ++r) {
    const uint8_t b = ReadByte();
    const uint16_t bitLength = uint16_t((b & 15) + 1);
    const uint32_t count = uint32_t(b >> 4) + 1;
    if (filled + count > n) return false;
    for (uint32_t i = 0; i < count; ++i) lengths[filled++] = bitLength;
  }
  return filled == n;
}

// Reads a tree and builds its table; only a complete code is accepted.
bool ReadTree(uint32_t n, uint32_t direct, const uint16_t* bases, const uint16_t* extras,
              HuffmanTable& table, int& bits) {
  uint16_t lengths[kLiteralCodes];
  if (!ReadTreeLengths(lengths, n)) return false;
  const int built = BuildHuffmanTable(lengths, n, direct, bases, extras, table, bits);
  if (built != kHuffmanComplete) {
    // An incomplete code leaves its table built; the other failures leave nothing to free.
    if (built == kHuffmanIncomplete) FreeHuffmanTable(table);
    table = nullptr;
    return false;
  }
  return true;
}

// Decodes one code of table t (first-level lookup bits m); nullptr for an invalid code.
inline const HuffmanEntry* DecodeSymbol(LegacyBitReader& bits, HuffmanTable t, uint32_t m) {
  bits.Ensure(m);
  const HuffmanEntry* e = t + ((~bits.Buffer()) & Mask(m));
  while (e->op > kOpLiteral) {
    if (e->op == kOpInvalid) return nullptr;
    bits.Consume(e->bits);
    const uint32_t sub = uint32_t(e->op) - kOpLiteral;
    bits.Ensure(sub);
    e = e->next + ((~bits.Buffer()) & Mask(sub));
  }
  bits.Consume(e->bits);
  return e;
}

// Bits read after the input ran out are not data: report the missing input instead.
int Invalid(const UnzipState& st) {
  return st.inputExhausted ? ExtractReadError : ExtractFormatError;
}

// Output side: the 32 KB window, flushed whenever it fills.
struct Output {
  uint8_t* window;
  uint32_t position = 0;
  bool firstPass = true;  // nothing flushed yet: bytes before the output start read as zeros

  bool Advance(uint32_t n) {
    position += n;
    if (position < kWindowSize) return true;
    position = 0;
    firstPass = false;
    return FlushWindow(kWindowSize);
  }
  // Copies length bytes from distance back, in pieces that do not cross the window's end.
  bool Copy(uint32_t distance, uint32_t length) {
    uint32_t source = position - distance;
    while (length > 0) {
      source &= kWindowSize - 1;
      const uint32_t chunk = std::min(length, kWindowSize - std::max(source, position));
      uint8_t* to = window + position;
      if (firstPass && source >= position) {
        std::memset(to, 0, chunk);
      } else if (source < position && position - source < chunk) {
        // Overlapping forward copy: byte by byte, so recent bytes repeat.
        const uint8_t* from = window + source;
        for (uint32_t i = 0; i < chunk; ++i) to[i] = from[i];
      } else {
        std::memmove(to, window + source, chunk);
      }
      source += chunk;
      length -= chunk;
      if (!Advance(chunk)) return false;
    }
    return true;
  }
};

// The token loop of one variant. kLiteralTree: literals are coded with the literal tree (else
// raw bytes); kLowBits: distance bits sent raw before the distance code (7 for 8 KB, 6 for 4 KB).
template <bool kLiteralTree, uint32_t kLowBits>
int ExplodeTokens(UnzipState& st, const Trees& trees) {
  Output out{st.window};
  LegacyBitReader bits(st);
  int64_t remaining = st.uncompressedSize;
  const uint32_t literalBits = uint32_t(trees.literalBits);
  const uint32_t lengthBits = uint32_t(trees.lengthBits);
  const uint32_t distanceBits = uint32_t(trees.distanceBits);
  while (remaining > 0 && !st.cancelRequested && !st.inputExhausted) {
    if (bits.Read(1)) {
      uint8_t literal;
      if constexpr (kLiteralTree) {
        const HuffmanEntry* e = DecodeSymbol(bits, trees.literal, literalBits);
        if (e == nullptr) return Invalid(st);
        literal = uint8_t(e->value);
      } else {
        literal = uint8_t(bits.Read(8));
      }
      out.window[out.position] = literal;
      --remaining;
      if (!out.Advance(1)) return ExtractWriteError;
      continue;
    }
    const uint32_t low = bits.Read(kLowBits);
    const HuffmanEntry* d = DecodeSymbol(bits, trees.distance, distanceBits);
    if (d == nullptr) return Invalid(st);
    const HuffmanEntry* l = DecodeSymbol(bits, trees.length, lengthBits);
    if (l == nullptr) return Invalid(st);
    uint32_t length = l->value;
    if (l->op != 0) length += bits.Read(kLongCodeExtraBits);
    // Never write more than the entry holds, whatever the last match says.
    length = uint32_t(std::min<int64_t>(length, remaining));
    if (!out.Copy(low + d->value, length)) return ExtractWriteError;
    remaining -= length;
  }
  if (st.cancelRequested) return ExtractCancelled;
  if (!FlushWindow(out.position)) return ExtractWriteError;
  if (st.inputExhausted) return ExtractReadError;
  return ExtractOk;
}

// Base and extra-bit tables of the length and distance trees.
struct TreeTables {
  uint16_t lengthBases[kLengthCodes];
  uint16_t distanceBases[kDistanceCodes];
  uint16_t extras[kLengthCodes];
  TreeTables(uint16_t shortestMatch, uint16_t distanceStep) {
    for (uint16_t code = 0; code < kLengthCodes; ++code) {
      lengthBases[code] = uint16_t(shortestMatch + code);
      distanceBases[code] = uint16_t(1 + distanceStep * code);
      extras[code] = 0;
    }
    extras[kLengthCodes - 1] = kLongCodeExtraBits;
  }
};

}  // namespace

int Explode() {
  UnzipState& st = State();
  const bool literalTree = (st.flags & 4) != 0;
  const bool largeDictionary = (st.flags & 2) != 0;
  ResetInput();
  // An entry without compressed bytes has no trees to read: it can only be an empty file.
  if (st.compressedSize == 0) {
    return st.uncompressedSize == 0 ? ExtractOk : ExtractReadError;
  }

  Trees trees;
  trees.distanceBits = st.compressedSize > kLargeEntry ? 8 : 7;
  const TreeTables tables(literalTree ? 3 : 2, largeDictionary ? 128 : 64);
  if (literalTree &&
      !ReadTree(kLiteralCodes, kLiteralCodes, nullptr, nullptr, trees.literal, trees.literalBits)) {
    return Invalid(st);
  }
  if (!ReadTree(kLengthCodes, 0, tables.lengthBases, tables.extras, trees.length,
                trees.lengthBits) ||
      !ReadTree(kDistanceCodes, 0, tables.distanceBases, tables.extras, trees.distance,
                trees.distanceBits)) {
    return Invalid(st);
  }
  // The bit reader starts at the byte after the trees.
  st.bitBuffer = 0;
  st.bitCount = 0;

  if (literalTree) {
    return largeDictionary ? ExplodeTokens<true, 7>(st, trees) : ExplodeTokens<true, 6>(st, trees);
  }
  return largeDictionary ? ExplodeTokens<false, 7>(st, trees) : ExplodeTokens<false, 6>(st, trees);
}

}  // namespace kestrel::reader
