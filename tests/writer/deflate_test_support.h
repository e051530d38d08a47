// deflate_test_support.h — sources, sinks and data generators shared by the compressor tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "writer/deflate.h"
#include "writer/deflate_io.h"

namespace kestrel::testing {

// Delivers a byte vector; maxChunk limits each read (0 = as much as asked).
class VectorSource : public writer::DeflateSource {
 public:
  explicit VectorSource(const std::vector<uint8_t>& data, uint32_t maxChunk = 0)
      : data_(data), maxChunk_(maxChunk) {}
  uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
    ++calls;
    size_t n = std::min<size_t>(size, data_.size() - pos_);
    if (maxChunk_ != 0) n = std::min<size_t>(n, maxChunk_);
    if (n) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return uint32_t(n);
  }
  size_t calls = 0;

 private:
  const std::vector<uint8_t>& data_;
  uint32_t maxChunk_;
  size_t pos_ = 0;
};

// Collects the stream; scrambles the buffer after copying it, as an in-place encrypting sink
// would, so that a compressor relying on the bytes afterwards is caught.
class VectorSink : public writer::DeflateSink {
 public:
  void WriteOutput(uint8_t* buffer, uint32_t size) override {
    ++calls;
    bytes.insert(bytes.end(), buffer, buffer + size);
    for (uint32_t i = 0; i < size; ++i) buffer[i] ^= 0xA5;
  }
  std::vector<uint8_t> bytes;
  size_t calls = 0;
};

struct Compressed {
  std::vector<uint8_t> bytes;
  writer::DeflateResult result;
};

inline Compressed Compress(writer::Deflater& d, const std::vector<uint8_t>& data, int level,
                           uint32_t maxChunk = 0) {
  VectorSource source(data, maxChunk);
  VectorSink sink;
  Compressed c;
  c.result = d.deflate(level, source, sink);
  c.bytes = std::move(sink.bytes);
  return c;
}

inline Compressed Compress(const std::vector<uint8_t>& data, int level) {
  writer::Deflater d;
  return Compress(d, data, level);
}

// Deterministic generators.
struct Lcg {
  uint64_t state;
  explicit Lcg(uint64_t seed) : state(seed * 6364136223846793005ull + 1442695040888963407ull) {}
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return uint32_t(state >> 33);
  }
};

inline std::vector<uint8_t> RandomBytes(size_t n, uint64_t seed) {
  Lcg g(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(g.Next());
  return v;
}

// English-like text: words from a small vocabulary, spaces, newlines.
inline std::vector<uint8_t> TextBytes(size_t n, uint64_t seed) {
  static const char* words[] = {"the",    "window", "slides", "over",  "input", "and",
                                "matches", "of",    "length", "three", "or",    "more",
                                "are",    "found",  "in",     "hash",  "chains", "Kestrel",
                                "block",  "tree",   "code",   "bits",  "lazy",  "greedy"};
  Lcg g(seed);
  std::vector<uint8_t> v;
  v.reserve(n + 16);
  while (v.size() < n) {
    const char* w = words[g.Next() % (sizeof words / sizeof *words)];
    v.insert(v.end(), w, w + std::strlen(w));
    v.push_back(g.Next() % 11 == 0 ? '\n' : ' ');
  }
  v.resize(n);
  return v;
}

// Runs of one byte with occasional changes.
inline std::vector<uint8_t> RunBytes(size_t n, uint64_t seed) {
  Lcg g(seed);
  std::vector<uint8_t> v(n);
  uint8_t b = 'a';
  for (size_t i = 0; i < n; ++i) {
    if (g.Next() % 5000 == 0) b = uint8_t(g.Next());
    v[i] = b;
  }
  return v;
}

// Binary-looking data: structured records with small integers and repeated fields.
inline std::vector<uint8_t> BinaryBytes(size_t n, uint64_t seed) {
  Lcg g(seed);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    size_t field = i % 16;
    v[i] = field < 4 ? uint8_t(i >> (8 * field)) : field < 8 ? uint8_t(g.Next() % 4) : field < 12 ? 0 : uint8_t(g.Next());
  }
  return v;
}

}  // namespace kestrel::testing
