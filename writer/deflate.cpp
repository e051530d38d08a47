// deflate.cpp — the match finder of the Deflate compressor.
//
// The window holds two 32 KB halves of input. Every 3-byte string is entered into a hash
// chain (head_ gives the newest position per hash, prev_ links each position to the previous
// one with the same hash); positions are 16-bit and 0 doubles as "none". When the current
// position reaches the upper half and the lookahead runs short, the upper half slides down
// and every chain entry is rebased. The longest-match search compares eight bytes at a time.
//
// Bytes past the end of the input read as zero: the search may compare up to 258 bytes from
// the current position and callers clip the result to the lookahead, so those bytes must be
// defined for the stream to depend on the input alone.
#include "writer/deflate.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace kestrel::writer {
namespace {

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
// Index, in memory order, of the first byte that differs in two loaded words (x = a ^ b != 0).
inline uint32_t FirstDifferentByte(uint64_t x) {
  if constexpr (std::endian::native == std::endian::little) {
    return uint32_t(std::countr_zero(x)) >> 3;
  } else {
    return uint32_t(std::countl_zero(x)) >> 3;
  }
}

}  // namespace

Deflater::Deflater()
    : window_(new uint8_t[kWindowAlloc]()),
      prev_(new uint16_t[kWSize]()),
      head_(new uint16_t[kHashMask + 1]()) {}

uint32_t Deflater::Read(uint8_t* buffer, uint32_t size) {
  uint32_t n = source_->ReadInput(buffer, size);
  if (n == 0 || n > size) {
    eof_ = true;
    ZeroTail();
    return 0;
  }
  consumed_ += n;
  return n;
}

void Deflater::ZeroTail() {
  std::memset(window_.get() + strstart_ + lookahead_, 0, kTailZeros);
}

void Deflater::Slide() {
  uint8_t* w = window_.get();
  std::memcpy(w, w + kWSize, kWSize);
  matchStart_ = (matchStart_ - kWSize) & 0xFFFF;
  strstart_ -= kWSize;
  blockStart_ -= int32_t(kWSize);
  uint16_t* head = head_.get();
  for (uint32_t n = 0; n <= kHashMask; ++n) {
    uint16_t v = head[n];
    head[n] = uint16_t(v >= kWSize ? v - kWSize : 0);
  }
  uint16_t* prev = prev_.get();
  for (uint32_t n = 0; n < kWSize; ++n) {
    uint16_t v = prev[n];
    prev[n] = uint16_t(v >= kWSize ? v - kWSize : 0);
  }
  if (eof_) ZeroTail();
}

void Deflater::Refill() {
  do {
    uint32_t more = kWindowSize - lookahead_ - strstart_;
    if (more == 0xFFFF) {
      more = 0xFFFE;  // 0xFFFF is the legacy end-of-input value; never ask for it
    } else if (strstart_ >= kWSize + kMaxDist) {
      Slide();
      more += kWSize;
    }
    if (eof_) return;
    assert(more >= 2);  // "more < 2"
    lookahead_ += Read(window_.get() + strstart_ + lookahead_, more);
  } while (lookahead_ < kMinLookahead && !eof_);
}

uint32_t Deflater::FindLongestMatch(uint32_t candidate) {
  const uint8_t* window = window_.get();
  const uint16_t* prev = prev_.get();
  const uint8_t* scan = window + strstart_;
  uint32_t chain = config_.maxChain;
  uint32_t best = prevLength_;
  const uint32_t nice = config_.niceLength;
  const uint32_t limit = strstart_ > kMaxDist ? strstart_ - kMaxDist : 0;
  if (prevLength_ >= config_.goodLength) chain >>= 2;
  assert(strstart_ <= kWindowSize - kMinLookahead);  // "Insufficient lookahead"

  // A candidate can be longer than best only if it agrees with the current string at every
  // offset up to best, so any such offsets may serve as a quick filter: two 16-bit words while
  // best is 2, the first and the last four bytes once it is 3 or more.
  uint32_t candidateLen;
  auto commonLength = [&](const uint8_t* match) {
    uint32_t len = 2;
    for (;;) {
      uint64_t x = Load64(scan + len) ^ Load64(match + len);
      if (x != 0) return len + FirstDifferentByte(x);
      len += 8;
      if (len == kMaxMatch) return len;  // bytes 2-257 compared in 32 words
    }
  };
  if (best < 3) {
    const uint16_t scanStart = Load16(scan);
    const uint16_t scanEnd = Load16(scan + best - 1);
    for (;;) {
      assert(candidate < strstart_);  // "No Future"
      const uint8_t* match = window + candidate;
      if (Load16(match + best - 1) == scanEnd && Load16(match) == scanStart &&
          (candidateLen = commonLength(match)) > best) {
        matchStart_ = candidate;
        best = candidateLen;
        if (best >= nice) return best;
        candidate = prev[candidate & kWMask];
        if (candidate <= limit || --chain == 0) return best;
        break;  // go on with the wider filter
      }
      candidate = prev[candidate & kWMask];
      if (candidate <= limit || --chain == 0) return best;
    }
  }
  const uint32_t scanStart = Load32(scan);
  uint32_t scanEnd = Load32(scan + best - 3);
  for (;;) {
    assert(candidate < strstart_);  // "No Future"
    const uint8_t* match = window + candidate;
    if (Load32(match + best - 3) == scanEnd && Load32(match) == scanStart &&
        (candidateLen = commonLength(match)) > best) {
      matchStart_ = candidate;
      best = candidateLen;
      if (best >= nice) break;
      scanEnd = Load32(scan + best - 3);
    }
    candidate = prev[candidate & kWMask];
    if (candidate <= limit || --chain == 0) break;
  }
  return best;
}

void Deflater::FlushBlock(bool eof) {
  const uint8_t* buf = blockStart_ >= 0 ? window_.get() + blockStart_ : nullptr;
  encoder_.EmitBlock(buf, uint32_t(int32_t(strstart_) - blockStart_), eof);
  blockStart_ = int32_t(strstart_);
}

void Deflater::DeflateGreedy() {
  const uint8_t* window = window_.get();
  const uint32_t maxInsert = config_.maxLazy;
  uint32_t matchLength = 0;
  prevLength_ = kMinMatch - 1;
  while (lookahead_ != 0) {
    uint32_t candidate = 0;
    if (lookahead_ > 2) InsertString(strstart_, candidate);
    if (candidate != 0 && strstart_ - candidate <= kMaxDist) {
      matchLength = std::min(FindLongestMatch(candidate), lookahead_);
    }
    bool flush;
    if (matchLength >= kMinMatch) {
      flush = encoder_.ct_tally(strstart_ - matchStart_, matchLength - kMinMatch,
                                int32_t(strstart_) - blockStart_);
      lookahead_ -= matchLength;
      if (matchLength <= maxInsert) {
        // Enter the strings inside a short match too.
        --matchLength;
        do {
          ++strstart_;
          InsertString(strstart_, candidate);
        } while (--matchLength != 0);
        ++strstart_;
      } else {
        strstart_ += matchLength;
        matchLength = 0;
        insH_ = ((uint32_t(window[strstart_]) << kHashShift) ^ window[strstart_ + 1]) & kHashMask;
      }
    } else {
      flush = encoder_.ct_tally(0, window[strstart_], int32_t(strstart_) - blockStart_);
      --lookahead_;
      ++strstart_;
    }
    if (flush) FlushBlock(false);
    if (lookahead_ < kMinLookahead) Refill();
  }
  FlushBlock(true);
}

void Deflater::DeflateLazy() {
  const uint8_t* window = window_.get();
  const uint32_t maxLazy = config_.maxLazy;
  uint32_t matchLength = kMinMatch - 1;
  bool matchAvailable = false;
  while (lookahead_ != 0) {
    uint32_t candidate = 0;
    if (lookahead_ > 2) InsertString(strstart_, candidate);
    prevLength_ = matchLength;
    uint32_t prevMatch = matchStart_;
    matchLength = kMinMatch - 1;
    if (candidate != 0 && prevLength_ < maxLazy && strstart_ - candidate <= kMaxDist) {
      matchLength = std::min(FindLongestMatch(candidate), lookahead_);
      // A 3-byte match far back costs about as much as three literals.
      if (matchLength == kMinMatch && strstart_ - matchStart_ > kTooFar) matchLength = kMinMatch - 1;
    }
    if (prevLength_ >= kMinMatch && matchLength <= prevLength_) {
      // The match found one position earlier is at least as good: take it.
      bool flush = encoder_.ct_tally(strstart_ - 1 - prevMatch, prevLength_ - kMinMatch,
                                     int32_t(strstart_) - blockStart_);
      lookahead_ -= prevLength_ - 1;
      uint32_t inserts = prevLength_ - 2;
      do {
        ++strstart_;
        InsertString(strstart_, candidate);
      } while (--inserts != 0);
      matchAvailable = false;
      matchLength = kMinMatch - 1;
      ++strstart_;
      if (flush) FlushBlock(false);
    } else if (matchAvailable) {
      // No better match here: the previous byte goes out as a literal.
      if (encoder_.ct_tally(0, window[strstart_ - 1], int32_t(strstart_) - blockStart_)) {
        FlushBlock(false);
      }
      ++strstart_;
      --lookahead_;
    } else {
      matchAvailable = true;
      ++strstart_;
      --lookahead_;
    }
    if (lookahead_ < kMinLookahead) Refill();
  }
  if (matchAvailable) {
    encoder_.ct_tally(0, window[strstart_ - 1], int32_t(strstart_) - blockStart_);
  }
  FlushBlock(true);
}

DeflateResult Deflater::deflate(int level, DeflateSource& source, DeflateSink& sink) {
  level = std::clamp(level, 1, 9);
  DeflateResult result;
  result.flagBits = level <= 2 ? kFlagFastCompression : level >= 8 ? kFlagMaximumCompression : 0;

  source_ = &source;
  consumed_ = 0;
  encoder_.ct_init(level, &sink);
  std::fill(head_.get(), head_.get() + kHashMask + 1, uint16_t(0));
  config_ = kLevelConfig[size_t(level)];
  strstart_ = 0;
  blockStart_ = 0;
  matchStart_ = 0;
  lookahead_ = 0;
  eof_ = false;
  lookahead_ = Read(window_.get(), kWSize);
  if (!eof_ && lookahead_ < kMinLookahead) Refill();
  insH_ = 0;
  insH_ = ((insH_ << kHashShift) ^ window_[0]) & kHashMask;
  insH_ = ((insH_ << kHashShift) ^ window_[1]) & kHashMask;

  if (level <= 3) {
    DeflateGreedy();
  } else {
    DeflateLazy();
  }
  source_ = nullptr;
  assert(encoder_.CompressedLength() == encoder_.BytesWritten());
  result.compressedSize = encoder_.BytesWritten();
  result.uncompressedSize = consumed_;
  result.method = encoder_.Method();
  result.internalAttributes = encoder_.InternalAttributes();
  return result;
}

}  // namespace kestrel::writer
