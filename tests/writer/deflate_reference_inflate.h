// deflate_reference_inflate.h — a small, slow, strict raw-Deflate decoder for the compressor's
// tests and fuzz target, written straight from RFC 1951. It rejects anything a conforming
// stream may not contain (over-subscribed or incomplete codes where a complete one is needed,
// distances before the start, a stored length whose complement is wrong, trailing bytes), so a
// stream it accepts is well-formed.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kestrel::testing {

class ReferenceInflater {
 public:
  // Decodes the whole stream; nullopt when it is malformed or has bytes after the last block.
  static std::optional<std::vector<uint8_t>> Inflate(const uint8_t* data, size_t size) {
    ReferenceInflater r(data, size);
    if (!r.Run()) return std::nullopt;
    return std::move(r.out_);
  }

  // Block types seen by the last Inflate call on this thread (for tests on block choice).
  struct Stats {
    int stored = 0, fixed = 0, dynamic = 0;
    size_t literals = 0, matches = 0, maxDistance = 0;
    std::vector<std::pair<uint32_t, uint32_t>> tokens;  // (length, distance); length 0 = literal
    bool keepTokens = false;  // set before Inflate to record tokens
  };
  static Stats& LastStats() {
    thread_local Stats s;
    return s;
  }

 private:
  struct Huffman {
    uint16_t count[16] = {};
    std::vector<uint16_t> symbol;
  };

  ReferenceInflater(const uint8_t* d, size_t n) : data_(d), size_(n) {}

  bool Bit(uint32_t& b) {
    if (pos_ >= size_) return false;
    b = (data_[pos_] >> bit_) & 1;
    if (++bit_ == 8) bit_ = 0, ++pos_;
    return true;
  }
  bool Bits(int n, uint32_t& v) {
    v = 0;
    for (int i = 0; i < n; ++i) {
      uint32_t b;
      if (!Bit(b)) return false;
      v |= b << i;
    }
    return true;
  }
  // Builds canonical decoding data; the code must be complete unless allowIncomplete (the
  // fixed distance code has 30 of 32 five-bit codes).
  static bool Build(Huffman& h, const uint8_t* lengths, int n, bool allowIncomplete) {
    for (int i = 0; i < 16; ++i) h.count[i] = 0;
    for (int i = 0; i < n; ++i) h.count[lengths[i]]++;
    h.count[0] = 0;
    int left = 1, total = 0;
    for (int len = 1; len < 16; ++len) {
      left <<= 1;
      left -= h.count[len];
      if (left < 0) return false;  // over-subscribed
      total += h.count[len];
    }
    if (left > 0 && !allowIncomplete) return false;  // incomplete
    if (total == 0) return false;
    std::vector<uint16_t> offs(16, 0);
    for (int len = 1; len < 15; ++len) offs[len + 1] = uint16_t(offs[len] + h.count[len]);
    h.symbol.assign(size_t(n), 0);
    for (int i = 0; i < n; ++i)
      if (lengths[i]) h.symbol[offs[lengths[i]]++] = uint16_t(i);
    return true;
  }
  bool Decode(const Huffman& h, int& sym) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      uint32_t b;
      if (!Bit(b)) return false;
      code |= int(b);
      int count = h.count[len];
      if (code - count < first) {
        sym = h.symbol[size_t(index + (code - first))];
        return true;
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return false;
  }
  bool Codes(const Huffman& lit, const Huffman& dist) {
    static const uint16_t lbase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const uint16_t dbase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                       33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const uint8_t dext[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      int sym;
      if (!Decode(lit, sym)) return false;
      Stats& stats = LastStats();
      if (sym < 256) {
        out_.push_back(uint8_t(sym));
        ++stats.literals;
        if (stats.keepTokens) stats.tokens.push_back({0, uint32_t(sym)});
      } else if (sym == 256) {
        return true;
      } else {
        sym -= 257;
        if (sym >= 29) return false;
        uint32_t e;
        if (!Bits(lext[sym], e)) return false;
        size_t len = lbase[sym] + e;
        int ds;
        if (!Decode(dist, ds) || ds >= 30) return false;
        if (!Bits(dext[ds], e)) return false;
        size_t d = dbase[ds] + e;
        if (d > out_.size() || d > 32768) return false;
        ++stats.matches;
        if (d > stats.maxDistance) stats.maxDistance = d;
        if (stats.keepTokens) stats.tokens.push_back({uint32_t(len), uint32_t(d)});
        for (size_t i = 0; i < len; ++i) out_.push_back(out_[out_.size() - d]);
      }
    }
  }
  bool Run() {
    Stats& stats = LastStats();
    bool keep = stats.keepTokens;
    stats = Stats{};
    stats.keepTokens = keep;
    for (;;) {
      uint32_t last, type;
      if (!Bits(1, last) || !Bits(2, type)) return false;
      if (type == 0) {
        ++stats.stored;
        if (bit_ != 0) bit_ = 0, ++pos_;
        if (pos_ + 4 > size_) return false;
        uint32_t len = data_[pos_] | data_[pos_ + 1] << 8;
        uint32_t nlen = data_[pos_ + 2] | data_[pos_ + 3] << 8;
        pos_ += 4;
        if ((len ^ 0xFFFF) != nlen || pos_ + len > size_) return false;
        out_.insert(out_.end(), data_ + pos_, data_ + pos_ + len);
        pos_ += len;
      } else if (type == 1) {
        ++stats.fixed;
        uint8_t l[288], d[30];
        for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        for (int i = 0; i < 30; ++i) d[i] = 5;
        Huffman lit, dist;
        Build(lit, l, 288, false);
        Build(dist, d, 30, true);
        if (!Codes(lit, dist)) return false;
      } else if (type == 2) {
        ++stats.dynamic;
        uint32_t hlit, hdist, hclen;
        if (!Bits(5, hlit) || !Bits(5, hdist) || !Bits(4, hclen)) return false;
        hlit += 257, hdist += 1, hclen += 4;
        if (hlit > 286 || hdist > 30) return false;
        static const uint8_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        uint8_t cl[19] = {};
        for (uint32_t i = 0; i < hclen; ++i) {
          uint32_t v;
          if (!Bits(3, v)) return false;
          cl[order[i]] = uint8_t(v);
        }
        Huffman clh;
        if (!Build(clh, cl, 19, false)) return false;
        uint8_t lengths[316] = {};
        uint32_t n = 0;
        while (n < hlit + hdist) {
          int sym;
          if (!Decode(clh, sym)) return false;
          if (sym < 16) {
            lengths[n++] = uint8_t(sym);
            continue;
          }
          uint32_t rep, v;
          uint8_t value = 0;
          if (sym == 16) {
            if (n == 0) return false;
            value = lengths[n - 1];
            if (!Bits(2, v)) return false;
            rep = 3 + v;
          } else if (sym == 17) {
            if (!Bits(3, v)) return false;
            rep = 3 + v;
          } else {
            if (!Bits(7, v)) return false;
            rep = 11 + v;
          }
          if (n + rep > hlit + hdist) return false;
          while (rep--) lengths[n++] = value;
        }
        if (lengths[256] == 0) return false;
        Huffman lit, dist;
        if (!Build(lit, lengths, int(hlit), false)) return false;
        if (!Build(dist, lengths + hlit, int(hdist), false)) return false;
        if (!Codes(lit, dist)) return false;
      } else {
        return false;
      }
      if (last) break;
    }
    if (bit_ != 0) bit_ = 0, ++pos_;
    return pos_ == size_;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  int bit_ = 0;
  std::vector<uint8_t> out_;
};

}  // namespace kestrel::testing
