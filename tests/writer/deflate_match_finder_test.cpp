// The match finder's documented behaviour: what it tallies for empty, tiny and repetitive
// input, the far-match rule, the distance limit across slides, the header flag bits, and
// that the stream depends on the input alone (not on an earlier file or on read sizes
// beyond the documented contract).
#include <gtest/gtest.h>

#include "writer/deflate_reference_inflate.h"
#include "writer/deflate_test_support.h"

namespace kestrel::testing {
namespace {

using Tokens = std::vector<std::pair<uint32_t, uint32_t>>;

// Compresses and decodes, returning the tokens (length 0 = literal, else (length, distance)).
Tokens TokensOf(const std::vector<uint8_t>& data, int level, Compressed* out = nullptr) {
  Compressed c = Compress(data, level);
  EXPECT_EQ(c.result.method, 8) << "expected a deflated stream";
  auto& stats = ReferenceInflater::LastStats();
  stats.keepTokens = true;
  auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
  stats.keepTokens = false;
  EXPECT_TRUE(decoded && *decoded == data);
  if (out) *out = c;
  return stats.tokens;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(DeflateMatchFinder, EmptyInputIsStoredWithNothingWritten) {
  for (int level = 1; level <= 9; ++level) {
    Compressed c = Compress({}, level);
    EXPECT_EQ(c.result.method, 0);
    EXPECT_EQ(c.result.compressedSize, 0u);
    EXPECT_TRUE(c.bytes.empty());
    EXPECT_EQ(c.result.uncompressedSize, 0u);
  }
}

TEST(DeflateMatchFinder, InputShorterThanThreeBytesGivesLiteralsOnly) {
  // Two bytes are stored whole; a stream is only needed when it is smaller, so check the
  // tokens on data that compresses but holds two-byte repeats only.
  std::string s;
  for (int i = 0; i < 200; ++i) s += char('a' + i % 26), s += char('A' + (i * 7) % 26);
  for (int level : {1, 6, 9}) {
    auto tokens = TokensOf(Bytes("ab" + std::string(300, 'x')), level);
    ASSERT_GE(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].first, 0u);
    EXPECT_EQ(tokens[1].first, 0u);
  }
  for (int level = 1; level <= 9; ++level) {
    for (const char* tiny : {"a", "ab"}) {
      Compressed c = Compress(Bytes(tiny), level);
      EXPECT_EQ(c.result.method, 0) << "a file of " << strlen(tiny) << " bytes is stored whole";
      EXPECT_EQ(c.bytes, Bytes(tiny));
    }
  }
}

TEST(DeflateMatchFinder, RunOfOneByteIsTwoLiteralsThenMatchesOf258) {
  // Position 0 never serves as a match source, so the first match starts at position 2. The
  // lazy levels enter every position and keep matching at distance 1; the greedy levels do
  // not enter the inside of a match longer than max lazy, so later matches reach back to the
  // start of the previous one, 258 bytes.
  std::vector<uint8_t> run(2 + 258 * 20, 'z');
  for (int level = 1; level <= 9; ++level) {
    auto tokens = TokensOf(run, level);
    ASSERT_EQ(tokens.size(), 22u) << "level " << level;
    EXPECT_EQ(tokens[0], std::make_pair(0u, uint32_t('z')));
    EXPECT_EQ(tokens[1], std::make_pair(0u, uint32_t('z')));
    EXPECT_EQ(tokens[2], std::make_pair(258u, 1u));
    uint32_t later = level <= 3 ? 258u : 1u;
    for (size_t i = 3; i < tokens.size(); ++i) {
      EXPECT_EQ(tokens[i], std::make_pair(258u, later)) << "token " << i << " level " << level;
    }
  }
}

TEST(DeflateMatchFinder, FarThreeByteMatchIsDroppedOnlyByLazyLevels) {
  // "Q#@" occurs twice, 5000 bytes apart, each time followed by different bytes; the filler
  // between holds no string of three bytes from it.
  std::vector<uint8_t> data = Bytes("_Q#@1");  // not at position 0, which is never a source
  auto filler = RandomBytes(4996, 77);
  for (auto& b : filler) b = uint8_t('a' + b % 20);  // letters only: no '#', '@', 'Q'
  data.insert(data.end(), filler.begin(), filler.end());
  auto tail = Bytes("Q#@2");
  data.insert(data.end(), tail.begin(), tail.end());
  data.insert(data.end(), filler.begin(), filler.begin() + 2000);  // make it compressible

  auto hasFar3 = [](const Tokens& tokens) {
    for (const auto& t : tokens)
      if (t.first == 3 && t.second == 5000) return true;
    return false;
  };
  for (int level = 1; level <= 3; ++level) EXPECT_TRUE(hasFar3(TokensOf(data, level))) << level;
  for (int level = 4; level <= 9; ++level) EXPECT_FALSE(hasFar3(TokensOf(data, level))) << level;
}

TEST(DeflateMatchFinder, MatchesNeverReachBackMoreThan32506Bytes) {
  // A period of exactly 32506 can be matched; a period of 32507 or 40000 cannot, even after
  // the window has slid several times.
  for (size_t period : {size_t(32506), size_t(32507), size_t(40000)}) {
    auto block = RandomBytes(period, period);
    std::vector<uint8_t> data;
    for (int i = 0; i < 4; ++i) data.insert(data.end(), block.begin(), block.end());
    for (int level : {1, 3, 4, 9}) {
      Compressed c = Compress(data, level);
      auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
      ASSERT_TRUE(decoded && *decoded == data);
      size_t maxDistance = ReferenceInflater::LastStats().maxDistance;
      EXPECT_LE(maxDistance, 32506u) << "period " << period << " level " << level;
      if (period == 32506) {
        EXPECT_EQ(maxDistance, 32506u) << "level " << level;
        EXPECT_LT(c.bytes.size(), data.size() / 3);
      }
    }
  }
}

TEST(DeflateMatchFinder, FlagBitsFollowTheLevel) {
  auto data = TextBytes(5000, 1);
  for (int level = 1; level <= 9; ++level) {
    uint16_t expected = level <= 2 ? 4 : level >= 8 ? 2 : 0;
    EXPECT_EQ(Compress(data, level).result.flagBits, expected) << level;
  }
}

TEST(DeflateMatchFinder, StreamDependsOnTheInputAloneNotOnAnEarlierFile) {
  // The tail of a file is compared past its end; an earlier, longer file leaves other bytes
  // there. A reused compressor must give the same stream as a fresh one.
  writer::Deflater reused;
  for (size_t size : {size_t(3), size_t(300), size_t(32769), size_t(65537), size_t(70001)}) {
    auto data = TextBytes(size, size);
    for (int level = 1; level <= 9; ++level) {
      Compress(reused, RandomBytes(100000, size + level), 9);
      Compress(reused, std::vector<uint8_t>(80000, 'e'), level);
      Compressed a = Compress(reused, data, level);
      writer::Deflater fresh;
      Compressed b = Compress(fresh, data, level);
      EXPECT_EQ(a.bytes, b.bytes) << "size " << size << " level " << level;
    }
  }
}

TEST(DeflateMatchFinder, BytesPastTheEndOfTheInputCompareAsZeros) {
  // The file ends with a string S that occurs twice before: at B followed by zero bytes and,
  // nearer, at A followed by 'e's. The last search runs past the end of the input; what lies
  // there decides between A and B, so it must be the same for every run: zeros, giving B.
  auto letters = [](size_t n, uint64_t seed) {
    auto v = RandomBytes(n, seed);
    for (auto& b : v) b = uint8_t('f' + b % 20);
    return v;
  };
  auto S = letters(100, 1);
  std::vector<uint8_t> data = letters(1000, 2);
  auto add = [&](const std::vector<uint8_t>& v) { data.insert(data.end(), v.begin(), v.end()); };
  add(S);
  add(std::vector<uint8_t>(300, 0));
  add(letters(1000, 3));
  add(S);
  add(std::vector<uint8_t>(300, 'e'));
  add(letters(500, 4));
  add(S);
  const uint32_t distanceToB = 100 + 300 + 1000 + 100 + 300 + 500;
  const uint32_t distanceToA = 100 + 300 + 500;
  for (int level = 1; level <= 9; ++level) {
    writer::Deflater reused;
    Compress(reused, std::vector<uint8_t>(80000, 'e'), level);  // leaves 'e's past the end
    Compressed c = Compress(reused, data, level);
    auto& stats = ReferenceInflater::LastStats();
    stats.keepTokens = true;
    auto decoded = ReferenceInflater::Inflate(c.bytes.data(), c.bytes.size());
    stats.keepTokens = false;
    ASSERT_TRUE(decoded && *decoded == data);
    ASSERT_FALSE(stats.tokens.empty());
    auto last = stats.tokens.back();
    if (level >= 6) {
      // Nice length 128 and above: the search goes past A, whose 100 bytes reach the end.
      EXPECT_NE(last.second, distanceToA) << "level " << level;
      EXPECT_EQ(last.second, distanceToB) << "level " << level;
    }
    writer::Deflater fresh;
    EXPECT_EQ(Compress(fresh, data, level).bytes, c.bytes) << "level " << level;
  }
}

TEST(DeflateMatchFinder, InputIsAskedFor32KBFirstThenForTheFreeWindow) {
  class Recorder : public writer::DeflateSource {
   public:
    explicit Recorder(size_t total) : left(total) {}
    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
      asked.push_back(size);
      uint32_t n = uint32_t(std::min<size_t>(size, left));
      std::memset(buffer, 'k', n);
      left -= n;
      return n;
    }
    size_t left;
    std::vector<uint32_t> asked;
  };
  writer::Deflater d;
  VectorSink sink;
  Recorder one(1);
  d.deflate(6, one, sink);
  // After one byte the free room is 65535, which would read as the legacy end value.
  EXPECT_EQ(one.asked, (std::vector<uint32_t>{32768, 0xFFFE}));
  Recorder big(200000);
  d.deflate(6, big, sink);
  ASSERT_GE(big.asked.size(), 3u);
  EXPECT_EQ(big.asked[0], 32768u);
  EXPECT_EQ(big.asked[1], 32768u);  // the upper half
  for (uint32_t a : big.asked) EXPECT_LE(a, 0xFFFEu);
}

TEST(DeflateMatchFinder, ReadResultAboveTheRequestEndsTheInput) {
  class LegacyEnd : public writer::DeflateSource {
   public:
    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
      if (done) return 0xFFFF;  // the legacy error value
      done = true;
      std::memset(buffer, 'q', 1000);
      (void)size;
      return 1000;
    }
    bool done = false;
  };
  writer::Deflater d;
  LegacyEnd src;
  VectorSink sink;
  auto result = d.deflate(5, src, sink);
  EXPECT_EQ(result.uncompressedSize, 1000u);
  auto decoded = ReferenceInflater::Inflate(sink.bytes.data(), sink.bytes.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, std::vector<uint8_t>(1000, 'q'));
}

TEST(DeflateMatchFinder, ExceptionFromTheSinkPassesAndTheObjectStaysUsable) {
  class Failing : public writer::DeflateSink {
   public:
    void WriteOutput(uint8_t*, uint32_t size) override {
      written += size;
      if (written > 20000) throw std::runtime_error("disk full");
    }
    size_t written = 0;
  };
  class FailingSource : public writer::DeflateSource {
   public:
    uint32_t ReadInput(uint8_t*, uint32_t) override { throw std::runtime_error("read error"); }
  };
  auto data = RandomBytes(300000, 5);
  auto text = TextBytes(120000, 6);
  writer::Deflater d;
  for (int level : {1, 6, 9}) {
    VectorSource src(data);
    Failing sink;
    EXPECT_THROW(d.deflate(level, src, sink), std::runtime_error);
    FailingSource bad;
    VectorSink unused;
    EXPECT_THROW(d.deflate(level, bad, unused), std::runtime_error);
    Compressed after = Compress(d, text, level);
    writer::Deflater fresh;
    EXPECT_EQ(after.bytes, Compress(fresh, text, level).bytes) << level;
  }
}

}  // namespace
}  // namespace kestrel::testing
