// deflate_tables.h — the constant tables of the Deflate compressor: extra bits, base values
// and code lookups for lengths and distances, the bit-length code order, the fixed trees and
// the per-level configuration. They are computed at compile time from RFC 1951's values, so
// no generated file has to be kept in step with a script.
#pragma once

#include <array>
#include <cstdint>

namespace kestrel::writer {

inline constexpr int kMaxBits = 15;        // longest literal/length or distance code
inline constexpr int kMaxBlBits = 7;       // longest bit-length code
inline constexpr int kLengthCodes = 29;
inline constexpr int kLiterals = 256;
inline constexpr int kEndBlock = 256;
inline constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286
inline constexpr int kDCodes = 30;
inline constexpr int kBlCodes = 19;
inline constexpr int kHeapSize = 2 * kLCodes + 1;             // 573
inline constexpr int kRep3To6 = 16;      // repeat previous length 3-6 times (2 extra bits)
inline constexpr int kRepZ3To10 = 17;    // repeat a zero length 3-10 times (3 extra bits)
inline constexpr int kRepZ11To138 = 18;  // repeat a zero length 11-138 times (7 extra bits)

inline constexpr std::array<uint8_t, kLengthCodes> kExtraLBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<uint8_t, kDCodes> kExtraDBits = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::array<uint8_t, kBlCodes> kExtraBlBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
inline constexpr std::array<uint8_t, kBlCodes> kBlOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct LengthTables {
  std::array<uint8_t, 256> lengthCode{};         // match length - 3 -> length code 0-28
  std::array<uint16_t, kLengthCodes> baseLength{};  // first length - 3 of each code
};
struct DistanceTables {
  std::array<uint8_t, 512> distCode{};          // see d_code
  std::array<uint16_t, kDCodes> baseDist{};     // first distance - 1 of each code
};

constexpr LengthTables MakeLengthTables() {
  LengthTables t;
  int length = 0;
  for (int code = 0; code < kLengthCodes - 1; ++code) {
    t.baseLength[code] = static_cast<uint16_t>(length);
    for (int n = 0; n < (1 << kExtraLBits[code]); ++n) t.lengthCode[length++] = uint8_t(code);
  }
  // length == 256 here. A match of 258 (lc 255) is sent as code 285 without extra bits
  // rather than as code 284 with five.
  t.lengthCode[255] = kLengthCodes - 1;
  t.baseLength[kLengthCodes - 1] = 255;
  return t;
}

constexpr DistanceTables MakeDistanceTables() {
  DistanceTables t;
  int dist = 0;
  int code = 0;
  for (; code < 16; ++code) {
    t.baseDist[code] = static_cast<uint16_t>(dist);
    for (int n = 0; n < (1 << kExtraDBits[code]); ++n) t.distCode[dist++] = uint8_t(code);
  }
  // dist == 256: from here on one entry stands for 128 distances.
  dist >>= 7;
  for (; code < kDCodes; ++code) {
    t.baseDist[code] = static_cast<uint16_t>(dist << 7);
    for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n) t.distCode[256 + dist++] = uint8_t(code);
  }
  return t;
}

inline constexpr LengthTables kLengthTables = MakeLengthTables();
inline constexpr DistanceTables kDistanceTables = MakeDistanceTables();

// The tables cover exactly 256 lengths and 256 + 256 distance entries.
static_assert(kLengthTables.lengthCode[254] == 27 && kLengthTables.lengthCode[255] == 28);
static_assert(kDistanceTables.distCode[255] == 15 && kDistanceTables.distCode[256] == 0);
static_assert(kDistanceTables.distCode[511] == 29 && kDistanceTables.baseDist[29] == 24576);

// Distance code of dist (= match distance - 1, 0 to 32767).
// The index is chosen by a mask, not a branch: near and far distances alternate unpredictably.
constexpr uint32_t d_code(uint32_t dist) {
  const uint32_t far = 0u - uint32_t(dist >= 256);  // all ones for a far distance
  return kDistanceTables.distCode[dist ^ ((dist ^ (256 + (dist >> 7))) & far)];
}
static_assert(d_code(0) == 0 && d_code(255) == 15 && d_code(256) == 16 && d_code(32767) == 29);

// Reverses the low `length` bits (1 to 16) of code: all 16 bits by swapping halves, bytes,
// nibbles, pairs and single bits, then the unused low ones shifted out.
constexpr uint32_t ReverseBits(uint32_t code, int length) {
  uint32_t v = code & 0xFFFF;
  v = ((v >> 8) | (v << 8)) & 0xFFFF;
  v = ((v >> 4) & 0x0F0F) | ((v & 0x0F0F) << 4);
  v = ((v >> 2) & 0x3333) | ((v & 0x3333) << 2);
  v = ((v >> 1) & 0x5555) | ((v & 0x5555) << 1);
  return v >> (16 - length);
}
static_assert(ReverseBits(1, 1) == 1 && ReverseBits(0b0011, 4) == 0b1100 &&
              ReverseBits(0x1234 >> 1, 15) == 0x2C48);

// A finished code: the bit-reversed Huffman code (ready for send_bits) and its length.
struct CodeEntry {
  uint16_t code = 0;
  uint16_t len = 0;
};

struct FixedTrees {
  std::array<CodeEntry, kLCodes + 2> literal{};  // 288 codes
  std::array<CodeEntry, kDCodes> distance{};
};

constexpr FixedTrees MakeFixedTrees() {
  FixedTrees t;
  std::array<int, kMaxBits + 1> count{};
  for (int n = 0; n < 288; ++n) {
    int len = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    t.literal[n].len = uint16_t(len);
    ++count[len];
  }
  // Canonical codes, as gencodes assigns them.
  std::array<uint32_t, kMaxBits + 1> next{};
  uint32_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + uint32_t(count[bits - 1])) << 1;
    next[bits] = code;
  }
  for (int n = 0; n < 288; ++n) {
    int len = t.literal[n].len;
    t.literal[n].code = uint16_t(ReverseBits(next[len]++, len));
  }
  for (int n = 0; n < kDCodes; ++n) t.distance[n] = {uint16_t(ReverseBits(uint32_t(n), 5)), 5};
  return t;
}

inline constexpr FixedTrees kFixedTrees = MakeFixedTrees();

// Per-level limits of the match finder.
struct LevelConfig {
  uint16_t goodLength;  // quarter the chain once the previous match is this long
  uint16_t maxLazy;     // lazy: no search beyond this; greedy: longest match whose inner
                        // positions still go into the hash chains
  uint16_t niceLength;  // stop searching once a match this long is found
  uint16_t maxChain;    // candidates examined per search
};

inline constexpr std::array<LevelConfig, 10> kLevelConfig = {{
    {0, 0, 0, 0},
    {4, 4, 8, 4},
    {4, 5, 16, 8},
    {4, 6, 32, 32},
    {4, 4, 16, 16},
    {8, 16, 32, 32},
    {8, 16, 128, 128},
    {8, 32, 128, 256},
    {32, 128, 258, 1024},
    {32, 258, 258, 4096},
}};

}  // namespace kestrel::writer
