// deflate.h — the Deflate compressor's entry point and match finder.
//
// A Deflater holds the work buffers (64 KB window, hash chains and heads, the encoder's tally
// buffers) and is reused for every file of a zip run. deflate() reads one file through a
// DeflateSource, finds repeated strings with hash chains over the sliding window (greedy at
// levels 1-3, lazy at 4-9), hands literals and matches to the tree encoder and writes the
// stream through a DeflateSink. See writer/deflate_io.h for the contract of both.
#pragma once

#include <cstdint>
#include <memory>

#include "writer/deflate_io.h"
#include "writer/trees.h"

namespace kestrel::writer {

class Deflater {
 public:
  // Allocates the work buffers (throws std::bad_alloc).
  Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Compresses one file at pack level 1 to 9 (values outside are clamped into that range).
  // Exceptions from the source or the sink pass through; the Deflater stays usable.
  DeflateResult deflate(int level, DeflateSource& source, DeflateSink& sink);

 private:
  // kTwoStep: also keep prev2_ (the lazy levels, whose long searches gain from it; for the
  // short greedy chains the extra random load costs more than it saves).
  // hash is the running hash (insH_, or a copy of it held in a register).
  template <bool kTwoStep>
  void InsertString(uint32_t& hash, uint32_t s, uint32_t& candidate) {
    hash = ((hash << kHashShift) ^ window_[s + 2]) & kHashMask;
    candidate = head_[hash];
    prev_[s & kWMask] = uint16_t(candidate);
    if constexpr (kTwoStep) prev2_[s & kWMask] = prev_[candidate & kWMask];
    head_[hash] = uint16_t(s);
  }
  template <bool kTwoStep>
  uint32_t FindLongestMatch(uint32_t candidate);
  void Refill();
  void Slide();
  void ZeroTail();
  void FlushBlock(bool eof);
  void DeflateGreedy();
  void DeflateLazy();
  uint32_t Read(uint8_t* buffer, uint32_t size);

  static constexpr uint32_t kWSize = 32768;
  static constexpr uint32_t kWMask = kWSize - 1;
  static constexpr uint32_t kWindowSize = 2 * kWSize;
  static constexpr uint32_t kHashShift = 5;
  static constexpr uint32_t kHashMask = 32767;
  static constexpr uint32_t kMinMatch = 3;
  static constexpr uint32_t kMaxMatch = 258;
  static constexpr uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;  // 262
  static constexpr uint32_t kMaxDist = kWSize - kMinLookahead;          // 32506
  static constexpr uint32_t kTooFar = 4096;
  // Zeroed bytes kept after the end of the input, so that match comparisons and hash updates
  // that run past it read defined values.
  static constexpr uint32_t kTailZeros = kMaxMatch + 8;
  static constexpr uint32_t kWindowAlloc = kWindowSize + kTailZeros;

  std::unique_ptr<uint8_t[]> window_;
  std::unique_ptr<uint16_t[]> prev_;
  // prev2_[p] = prev_[prev_[p]] as it was when p was entered: the chain two steps on, so a
  // search can fetch the next two candidates at once instead of one load after another.
  // Kept only while twoStep_ is set (the lazy levels); otherwise stale and never read.
  std::unique_ptr<uint16_t[]> prev2_;
  bool twoStep_ = false;
  std::unique_ptr<uint16_t[]> head_;
  TreeEncoder encoder_;
  DeflateSource* source_ = nullptr;

  uint32_t strstart_ = 0;
  int32_t blockStart_ = 0;
  uint32_t lookahead_ = 0;
  uint32_t matchStart_ = 0;
  uint32_t prevLength_ = 0;
  uint32_t insH_ = 0;
  bool eof_ = false;
  uint64_t consumed_ = 0;
  LevelConfig config_{};
};

}  // namespace kestrel::writer
