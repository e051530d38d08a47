// legacy_encoders.h — small encoders for the old zip methods (shrink, reduce, implode), written
// for the tests and benchmarks from the format description: greedy matching, nothing clever.
// Also a minimal zip archive writer, so encoded data can be checked by peers and the driver.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::testing {

uint32_t Crc32(const std::vector<uint8_t>& data);

// Packs bit fields least significant bit first, as all three methods read them.
class BitWriter {
 public:
  void Put(uint32_t value, uint32_t bits) {
    acc_ |= uint64_t(value & ((1u << bits) - 1)) << count_;
    count_ += bits;
    while (count_ >= 8) {
      out_.push_back(uint8_t(acc_));
      acc_ >>= 8;
      count_ -= 8;
    }
  }
  void PutByte(uint8_t b) { Put(b, 8); }
  std::vector<uint8_t> Finish() {
    if (count_ > 0) out_.push_back(uint8_t(acc_));
    acc_ = 0;
    count_ = 0;
    return std::move(out_);
  }

 private:
  std::vector<uint8_t> out_;
  uint64_t acc_ = 0;
  uint32_t count_ = 0;
};


// ---- Implode (method 6) ---------------------------------------------------------------------
struct ImplodeVariant {
  bool literalTree = true;      // flag bit 2: literal tree, 3-byte minimum match
  bool largeDictionary = true;  // flag bit 1: 8 KB dictionary
  uint16_t Flags() const { return uint16_t((literalTree ? 4 : 0) | (largeDictionary ? 2 : 0)); }
  uint32_t MinMatch() const { return literalTree ? 3 : 2; }
  uint32_t MaxMatch() const { return MinMatch() + 63 + 255; }
  uint32_t MaxDistance() const { return largeDictionary ? 8192 : 4096; }
};
// A literal (length 0) or a match of length bytes from distance back.
struct ImplodeToken {
  uint32_t length = 0;
  uint32_t distance = 0;
  uint8_t literal = 0;
};
std::vector<ImplodeToken> ImplodeTokenize(const std::vector<uint8_t>& data, ImplodeVariant v);
std::vector<uint8_t> ImplodeEncodeTokens(const std::vector<ImplodeToken>& tokens,
                                         ImplodeVariant v);
std::vector<uint8_t> ImplodeEncode(const std::vector<uint8_t>& data, ImplodeVariant v);
// What the tokens mean: bytes before the start of the output read as zeros.
std::vector<uint8_t> ExpandImplodeTokens(const std::vector<ImplodeToken>& tokens);

// ---- Shrink (method 1) ----------------------------------------------------------------------
struct ShrinkOptions {
  // Ask for a partial clear after every this many codes (0: only when the table is full).
  uint32_t clearEvery = 0;
  // Ask for one as soon as the table is full.
  bool clearWhenFull = true;
};
std::vector<uint8_t> ShrinkEncode(const std::vector<uint8_t>& data, ShrinkOptions options = {});

// ---- Reduce (methods 2-5, factor 1-4) -------------------------------------------------------
// The intermediate byte stream (144-escaped literals and matches) of data, greedy matching.
std::vector<uint8_t> ReduceIntermediate(const std::vector<uint8_t>& data, int factor);
// Follower-set coding of an intermediate stream.
std::vector<uint8_t> ReduceEncodeIntermediate(const std::vector<uint8_t>& intermediate);
std::vector<uint8_t> ReduceEncode(const std::vector<uint8_t>& data, int factor);

// ---- Zip archives ---------------------------------------------------------------------------
struct ZipItem {
  std::string name;
  uint16_t method = 0;
  uint16_t flags = 0;
  std::vector<uint8_t> compressed;
  uint32_t crc = 0;
  uint32_t size = 0;
};
ZipItem MakeItem(const std::string& name, uint16_t method, uint16_t flags,
                 const std::vector<uint8_t>& data, const std::vector<uint8_t>& compressed);
void WriteZip(const std::filesystem::path& path, const std::vector<ZipItem>& items);
// The entries of an archive, read through its central directory (no data descriptors).
std::vector<ZipItem> ReadZip(const std::filesystem::path& path);

// Sample inputs: text-like, binary-like and repetitive, deterministic for a seed.
std::vector<uint8_t> SampleText(size_t size, uint32_t seed);
std::vector<uint8_t> SampleBinary(size_t size, uint32_t seed);

}  // namespace kestrel::testing
