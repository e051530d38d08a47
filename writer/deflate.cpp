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
      prev2_(new uint16_t[kWSize]()),
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
  // Positions that slid out of the window become 0, "none".
  auto rebase = [](uint16_t* table, uint32_t size) {
    for (uint32_t n = 0; n < size; ++n) {
      uint16_t v = table[n];
      table[n] = uint16_t(v >= kWSize ? v - kWSize : 0);
    }
  };
  rebase(head_.get(), kHashMask + 1);
  rebase(prev_.get(), kWSize);
  if (twoStep_) rebase(prev2_.get(), kWSize);
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

template <bool kTwoStep>
uint32_t Deflater::FindLongestMatch(uint32_t candidate) {
  const uint8_t* window = window_.get();
  const uint16_t* prev = prev_.get();
  const uint16_t* prev2 = prev2_.get();
  const uint8_t* scan = window + strstart_;
  uint32_t chain = config_.maxChain;
  uint32_t best = prevLength_;
  const uint32_t nice = config_.niceLength;
  const uint32_t limit = strstart_ > kMaxDist ? strstart_ - kMaxDist : 0;
  if (prevLength_ >= config_.goodLength) chain >>= 2;
  assert(strstart_ <= kWindowSize - kMinLookahead);  // "Insufficient lookahead"

  // A candidate can be longer than best only if it agrees with the current string at every
  // offset up to best, so any such offsets may serve as a quick filter: the first and the
  // last four bytes (masked to bytes 0-2 while best is 2). The filter changes nothing found.
  constexpr uint32_t kThreeBytes =
      std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;
  const uint32_t scanStart = Load32(scan);
  uint32_t endOffset = 0, endMask = kThreeBytes, startMask = kThreeBytes, scanEnd = 0;
  auto setFilter = [&] {
    if (best >= 3) {
      endOffset = best - 3;
      endMask = startMask = 0xFFFFFFFFu;
    }
    scanEnd = Load32(scan + endOffset) & endMask;
  };
  setFilter();
  // Examines one candidate; true when the search can stop (nice length reached).
  auto check = [&](uint32_t c) {
    assert(c < strstart_);  // "No Future"
    const uint8_t* match = window + c;
    if ((Load32(match + endOffset) & endMask) != scanEnd ||
        ((Load32(match) ^ scanStart) & startMask) != 0) {
      return false;
    }
    uint32_t len = 2;
    for (;;) {
      uint64_t x = Load64(scan + len) ^ Load64(match + len);
      if (x != 0) {
        len += FirstDifferentByte(x);
        break;
      }
      len += 8;
      if (len == kMaxMatch) break;  // bytes 2-257 compared in 32 words
    }
    if (len <= best) return false;
    matchStart_ = c;
    best = len;
    if (best >= nice) return true;
    setFilter();
    return false;
  };
  // The chain is walked as documented, one candidate at a time; with the two-step table only
  // the loads of the next two candidates are issued together.
  for (;;) {
    if (check(candidate)) break;
    uint32_t next = prev[candidate & kWMask];
    if (next <= limit || --chain == 0) break;
    if constexpr (kTwoStep) {
      uint32_t after = prev2[candidate & kWMask];
      if (check(next)) break;
      if (after <= limit || --chain == 0) break;
      candidate = after;
    } else {
      candidate = next;
    }
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
  // The position, lookahead and hash live in locals, so that the buffer stores of the
  // insertions and the tally do not force them back to memory; the members are brought up
  // to date around the calls that use them (search, flush, refill).
  uint32_t pos = strstart_;
  uint32_t lookahead = lookahead_;
  uint32_t hash = insH_;
  while (lookahead != 0) {
    uint32_t candidate = 0;
    if (lookahead > 2) InsertString<false>(hash, pos, candidate);
    if (candidate != 0 && pos - candidate <= kMaxDist) {
      strstart_ = pos;
      matchLength = std::min(FindLongestMatch<false>(candidate), lookahead);
    }
    bool flush;
    if (matchLength >= kMinMatch) {
      flush = encoder_.ct_tally(pos - matchStart_, matchLength - kMinMatch,
                                int32_t(pos) - blockStart_);
      lookahead -= matchLength;
      if (matchLength <= maxInsert) {
        // Enter the strings inside a short match too.
        --matchLength;
        do {
          ++pos;
          InsertString<false>(hash, pos, candidate);
        } while (--matchLength != 0);
        ++pos;
      } else {
        pos += matchLength;
        matchLength = 0;
        hash = ((uint32_t(window[pos]) << kHashShift) ^ window[pos + 1]) & kHashMask;
      }
    } else {
      flush = encoder_.ct_tally(0, window[pos], int32_t(pos) - blockStart_);
      --lookahead;
      ++pos;
    }
    if (flush || lookahead < kMinLookahead) {
      strstart_ = pos;
      lookahead_ = lookahead;
      if (flush) FlushBlock(false);
      if (lookahead < kMinLookahead) Refill();
      pos = strstart_;
      lookahead = lookahead_;
    }
  }
  strstart_ = pos;
  lookahead_ = lookahead;
  insH_ = hash;
  FlushBlock(true);
}

void Deflater::DeflateLazy() {
  const uint8_t* window = window_.get();
  const uint32_t maxLazy = config_.maxLazy;
  uint32_t matchLength = kMinMatch - 1;
  bool matchAvailable = false;
  while (lookahead_ != 0) {
    uint32_t candidate = 0;
    if (lookahead_ > 2) InsertString<true>(insH_, strstart_, candidate);
    prevLength_ = matchLength;
    uint32_t prevMatch = matchStart_;
    matchLength = kMinMatch - 1;
    if (candidate != 0 && prevLength_ < maxLazy && strstart_ - candidate <= kMaxDist) {
      matchLength = std::min(FindLongestMatch<true>(candidate), lookahead_);
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
        InsertString<true>(insH_, strstart_, candidate);
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
  twoStep_ = level > 3;
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
