// legacy_encoders.cpp — test encoders for shrink, reduce and implode, and a minimal zip writer.
//
// Each encoder mirrors the decoding rules: implode sends canonical codes complemented, least
// significant bit first; shrink keeps the same code table as the decoder (including its free
// list and partial clears) so that both sides assign the same codes; reduce escapes 144 and
// codes bytes with follower sets chosen from the pair counts.
#include "tests/reader/legacy_encoders.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <queue>
#include <random>

namespace kestrel::testing {
namespace {

uint32_t Reverse(uint32_t v, uint32_t bits) {
  uint32_t r = 0;
  for (uint32_t i = 0; i < bits; ++i, v >>= 1) r = (r << 1) | (v & 1);
  return r;
}

// Huffman code lengths for every symbol (each gets a code), at most maxBits long.
std::vector<uint8_t> CodeLengths(std::vector<uint64_t> freq, uint32_t maxBits) {
  const size_t n = freq.size();
  for (auto& f : freq) f += 1;
  for (;;) {
    struct Node {
      uint64_t weight;
      int left, right;
    };
    std::vector<Node> nodes;
    using Item = std::pair<uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    for (size_t i = 0; i < n; ++i) {
      nodes.push_back({freq[i], -1, -1});
      queue.push({freq[i], int(i)});
    }
    while (queue.size() > 1) {
      const auto a = queue.top();
      queue.pop();
      const auto b = queue.top();
      queue.pop();
      nodes.push_back({a.first + b.first, a.second, b.second});
      queue.push({a.first + b.first, int(nodes.size() - 1)});
    }
    std::vector<uint8_t> lengths(n, 0);
    std::vector<std::pair<int, uint32_t>> stack{{queue.top().second, 0}};
    uint32_t deepest = 0;
    while (!stack.empty()) {
      const auto [node, depth] = stack.back();
      stack.pop_back();
      if (nodes[size_t(node)].left < 0) {
        lengths[size_t(node)] = uint8_t(std::max(depth, 1u));
        deepest = std::max(deepest, depth);
      } else {
        stack.push_back({nodes[size_t(node)].left, depth + 1});
        stack.push_back({nodes[size_t(node)].right, depth + 1});
      }
    }
    if (deepest <= maxBits) return lengths;
    for (auto& f : freq) f = (f >> 1) + 1;  // flatten and retry
  }
}

// Canonical codes (shortest first, ties by symbol) for the lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
  uint32_t count[17] = {};
  for (auto l : lengths) ++count[l];
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= 16; ++bits) {
    code = (code + count[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s) codes[s] = next[lengths[s]]++;
  return codes;
}

struct ShannonFanoTree {
  std::vector<uint8_t> lengths;
  std::vector<uint32_t> codes;
  explicit ShannonFanoTree(const std::vector<uint64_t>& freq)
      : lengths(CodeLengths(freq, 16)), codes(CanonicalCodes(lengths)) {}
  // Run-length coded lengths: a count byte, then (count - 1) << 4 | (length - 1) per run.
  void WriteHeader(BitWriter& out) const {
    std::vector<uint8_t> runs;
    for (size_t i = 0; i < lengths.size();) {
      size_t j = i;
      while (j < lengths.size() && j - i < 16 && lengths[j] == lengths[i]) ++j;
      runs.push_back(uint8_t(((j - i - 1) << 4) | (lengths[i] - 1)));
      i = j;
    }
    out.PutByte(uint8_t(runs.size() - 1));
    for (auto r : runs) out.PutByte(r);
  }
  void Write(BitWriter& out, uint32_t symbol) const {
    const uint32_t bits = lengths[symbol];
    out.Put(Reverse(~codes[symbol] & ((1u << bits) - 1), bits), bits);
  }
};

// Longest-match search over a 2-byte hash chain, shared by the implode and reduce tokenizers.
class MatchFinder {
 public:
  MatchFinder(const std::vector<uint8_t>& data, uint32_t maxDistance, uint32_t maxLength)
      : data_(data), maxDistance_(maxDistance), maxLength_(maxLength),
        head_(65536, -1), prev_(data.size(), -1) {}
  void Insert(size_t i) {
    if (i + 1 >= data_.size()) return;
    const uint32_t h = data_[i] | (uint32_t(data_[i + 1]) << 8);
    prev_[i] = head_[h];
    head_[h] = int64_t(i);
  }
  // Best (length, distance) at i; accept() may reject a candidate.
  std::pair<uint32_t, uint32_t> Find(size_t i,
                                     const std::function<bool(uint32_t, uint32_t)>& accept) {
    uint32_t bestLength = 0, bestDistance = 0;
    if (i + 1 >= data_.size()) return {0, 0};
    const uint32_t h = data_[i] | (uint32_t(data_[i + 1]) << 8);
    const size_t limit = std::min<size_t>(maxLength_, data_.size() - i);
    int steps = 48;
    for (int64_t c = head_[h]; c >= 0 && steps-- > 0; c = prev_[size_t(c)]) {
      const uint32_t distance = uint32_t(i - size_t(c));
      if (distance > maxDistance_) break;
      uint32_t length = 0;
      while (length < limit && data_[size_t(c) + length] == data_[i + length]) ++length;
      if (length > bestLength && accept(length, distance)) {
        bestLength = length;
        bestDistance = distance;
        if (length == limit) break;
      }
    }
    return {bestLength, bestDistance};
  }

 private:
  const std::vector<uint8_t>& data_;
  uint32_t maxDistance_, maxLength_;
  std::vector<int64_t> head_, prev_;
};

}  // namespace

uint32_t Crc32(const std::vector<uint8_t>& data) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : data) crc = (crc >> 8) ^ table[(crc ^ b) & 255];
  return crc ^ 0xFFFFFFFFu;
}

// ---- Implode --------------------------------------------------------------------------------

std::vector<ImplodeToken> ImplodeTokenize(const std::vector<uint8_t>& data, ImplodeVariant v) {
  std::vector<ImplodeToken> tokens;
  MatchFinder finder(data, v.MaxDistance(), v.MaxMatch());
  for (size_t i = 0; i < data.size();) {
    const auto [length, distance] = finder.Find(i, [](uint32_t, uint32_t) { return true; });
    if (length >= v.MinMatch()) {
      tokens.push_back({length, distance, 0});
      for (uint32_t k = 0; k < length; ++k) finder.Insert(i + k);
      i += length;
    } else {
      tokens.push_back({0, 0, data[i]});
      finder.Insert(i);
      ++i;
    }
  }
  return tokens;
}

std::vector<uint8_t> ImplodeEncodeTokens(const std::vector<ImplodeToken>& tokens,
                                         ImplodeVariant v) {
  const uint32_t lowBits = v.largeDictionary ? 7 : 6;
  std::vector<uint64_t> literalFreq(256), lengthFreq(64), distanceFreq(64);
  for (const auto& t : tokens) {
    if (t.length == 0) {
      ++literalFreq[t.literal];
    } else {
      ++lengthFreq[std::min<uint32_t>(t.length - v.MinMatch(), 63)];
      ++distanceFreq[(t.distance - 1) >> lowBits];
    }
  }
  const ShannonFanoTree literals(literalFreq), lengths(lengthFreq), distances(distanceFreq);
  BitWriter out;
  if (v.literalTree) literals.WriteHeader(out);
  lengths.WriteHeader(out);
  distances.WriteHeader(out);
  for (const auto& t : tokens) {
    if (t.length == 0) {
      out.Put(1, 1);
      if (v.literalTree) {
        literals.Write(out, t.literal);
      } else {
        out.PutByte(t.literal);
      }
      continue;
    }
    out.Put(0, 1);
    out.Put((t.distance - 1) & ((1u << lowBits) - 1), lowBits);
    distances.Write(out, (t.distance - 1) >> lowBits);
    const uint32_t code = t.length - v.MinMatch();
    lengths.Write(out, std::min<uint32_t>(code, 63));
    if (code >= 63) out.PutByte(uint8_t(code - 63));
  }
  return out.Finish();
}

std::vector<uint8_t> ImplodeEncode(const std::vector<uint8_t>& data, ImplodeVariant v) {
  return ImplodeEncodeTokens(ImplodeTokenize(data, v), v);
}

std::vector<uint8_t> ExpandImplodeTokens(const std::vector<ImplodeToken>& tokens) {
  std::vector<uint8_t> out;
  for (const auto& t : tokens) {
    if (t.length == 0) {
      out.push_back(t.literal);
      continue;
    }
    for (uint32_t k = 0; k < t.length; ++k) {
      out.push_back(out.size() >= t.distance ? out[out.size() - t.distance] : 0);
    }
  }
  return out;
}

// ---- Shrink ---------------------------------------------------------------------------------

namespace {

// The decoder's code table, kept in step with it so both sides assign the same codes.
class ShrinkTable {
 public:
  static constexpr int kFirst = 257, kLast = 8192;
  ShrinkTable() : prefix_(kLast + 1), suffix_(kLast + 1), child_(size_t(kLast + 1) * 256, -1) {
    for (int c = kFirst; c <= kLast; ++c) prefix_[size_t(c)] = -(c + 1);
  }
  int Child(int code, uint8_t byte) const { return child_[size_t(code) * 256 + byte]; }
  bool Full() const { return nextFree_ > kLast; }
  int NextFree() const { return nextFree_; }

  // Defines (previous, byte) in the next free code; returns it, or -1 when the table is full.
  int Define(int previous, uint8_t byte) {
    if (nextFree_ > kLast) return -1;
    const int code = nextFree_;
    nextFree_ = -prefix_[size_t(code)];
    prefix_[size_t(code)] = previous;
    suffix_[size_t(code)] = byte;
    // Code 8192 does not fit in 13 bits: the decoder defines it, but it is never sent.
    if (code < kLast) child_[size_t(previous) * 256 + byte] = code;
    return code;
  }
  // Would a partial clear now free `code`?
  bool WouldFree(int code) const {
    if (code < kFirst || code >= nextFree_) return false;
    for (int c = kFirst; c < nextFree_; ++c) {
      if (prefix_[size_t(c)] == code) return false;
    }
    return true;
  }
  // The decoder's partial clear: frees the codes below the free list's head that are no such
  // code's prefix, and puts them, ascending, before the old list.
  void PartialClear() {
    const int limit = nextFree_;
    std::vector<bool> keep(size_t(limit > kFirst ? limit : kFirst), false);
    for (int c = kFirst; c < limit; ++c) {
      const int p = prefix_[size_t(c)];
      if (p >= kFirst && p < limit) keep[size_t(p)] = true;
    }
    int head = 0, last = 0;
    for (int c = kFirst; c < limit; ++c) {
      if (keep[size_t(c)]) continue;
      const int p = prefix_[size_t(c)];
      if (child_[size_t(p) * 256 + suffix_[size_t(c)]] == c) {
        child_[size_t(p) * 256 + suffix_[size_t(c)]] = -1;
      }
      if (last == 0) {
        head = c;
      } else {
        prefix_[size_t(last)] = -c;
      }
      last = c;
    }
    if (last != 0) {
      prefix_[size_t(last)] = -limit;
      nextFree_ = head;
    }
  }

 private:
  std::vector<int> prefix_;
  std::vector<uint8_t> suffix_;
  std::vector<int> child_;
  int nextFree_ = kFirst;
};

}  // namespace

std::vector<uint8_t> ShrinkEncode(const std::vector<uint8_t>& data, ShrinkOptions options) {
  BitWriter out;
  ShrinkTable table;
  uint32_t codeSize = 9;
  uint32_t sinceClear = 0;
  int previous = -1;
  // A table counts as full once codes up to 8191 are used: 8192 cannot be sent in 13 bits,
  // and other decoders refuse to define it, so the clear comes first.
  const auto clearDue = [&](int nextFree, uint32_t codes) {
    return (options.clearWhenFull && nextFree >= ShrinkTable::kLast) ||
           (options.clearEvery > 0 && codes >= options.clearEvery);
  };
  for (size_t pos = 0; pos < data.size();) {
    const uint8_t first = data[pos];
    int defined = -1;
    if (previous >= 0) {
      // The previous code is a single byte whenever a clear is due (see below), so the clear
      // never frees the code that the next definition extends.
      if (clearDue(table.NextFree(), sinceClear) && !table.WouldFree(previous)) {
        out.Put(256, codeSize);
        out.Put(2, codeSize);
        table.PartialClear();
        sinceClear = 0;
      }
      defined = table.Define(previous, first);
    }
    int code = first;
    ++pos;
    // Before a clear, send a single byte; otherwise the longest known string. The code just
    // defined is known to the decoder only after this one: stop at it.
    const bool clearNext = clearDue(table.NextFree(), sinceClear + 1);
    while (!clearNext && pos < data.size() && code != defined) {
      const int next = table.Child(code, data[pos]);
      if (next < 0) break;
      code = next;
      ++pos;
    }
    while (uint32_t(code) >= (1u << codeSize)) {
      out.Put(256, codeSize);
      out.Put(1, codeSize);
      ++codeSize;
    }
    out.Put(uint32_t(code), codeSize);
    ++sinceClear;
    previous = code;
  }
  return out.Finish();
}

// ---- Reduce ---------------------------------------------------------------------------------

std::vector<uint8_t> ReduceIntermediate(const std::vector<uint8_t>& data, int factor) {
  const uint32_t f = uint32_t(factor);
  const uint32_t lengthMask = (1u << (8 - f)) - 1;
  const uint32_t maxDistance = 256u << f;
  const uint32_t maxLength = lengthMask + 255 + 3;
  std::vector<uint8_t> out;
  MatchFinder finder(data, maxDistance, maxLength);
  // Length 3 within 256 bytes would make the byte after 144 zero, which means a literal 144.
  const auto accept = [](uint32_t length, uint32_t distance) {
    return length >= 4 || (length == 3 && distance > 256);
  };
  for (size_t i = 0; i < data.size();) {
    const auto [length, distance] = finder.Find(i, accept);
    if (length >= 3) {
      const uint32_t extra = length - 3;
      const uint32_t high = ((distance - 1) >> 8) << (8 - f);
      out.push_back(144);
      if (extra < lengthMask) {
        out.push_back(uint8_t(high | extra));
      } else {
        out.push_back(uint8_t(high | lengthMask));
        out.push_back(uint8_t(extra - lengthMask));
      }
      out.push_back(uint8_t((distance - 1) & 255));
      for (uint32_t k = 0; k < length; ++k) finder.Insert(i + k);
      i += length;
    } else {
      out.push_back(data[i]);
      if (data[i] == 144) out.push_back(0);
      finder.Insert(i);
      ++i;
    }
  }
  return out;
}

std::vector<uint8_t> ReduceEncodeIntermediate(const std::vector<uint8_t>& intermediate) {
  std::vector<std::array<uint64_t, 256>> pairs(256);
  for (auto& p : pairs) p.fill(0);
  uint8_t last = 0;
  for (uint8_t b : intermediate) {
    ++pairs[last][b];
    last = b;
  }
  const auto indexBits = [](uint32_t n) {
    uint32_t bits = 1;
    while ((1u << bits) < n) ++bits;
    return bits;
  };
  std::vector<std::vector<uint8_t>> sets(256);
  for (int s = 0; s < 256; ++s) {
    std::vector<uint8_t> order(256);
    for (int i = 0; i < 256; ++i) order[size_t(i)] = uint8_t(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint8_t a, uint8_t b) { return pairs[size_t(s)][a] > pairs[size_t(s)][b]; });
    uint64_t total = 0;
    for (auto c : pairs[size_t(s)]) total += c;
    uint64_t bestCost = total * 8;
    size_t best = 0;
    uint64_t inSet = 0;
    for (size_t n = 1; n <= 63; ++n) {
      if (pairs[size_t(s)][order[n - 1]] == 0) break;
      inSet += pairs[size_t(s)][order[n - 1]];
      const uint64_t cost = n * 8 + inSet * (1 + indexBits(uint32_t(n))) + (total - inSet) * 9;
      if (cost < bestCost) {
        bestCost = cost;
        best = n;
      }
    }
    sets[size_t(s)].assign(order.begin(), order.begin() + std::ptrdiff_t(best));
  }
  BitWriter out;
  for (int s = 255; s >= 0; --s) {
    out.Put(uint32_t(sets[size_t(s)].size()), 6);
    for (auto b : sets[size_t(s)]) out.PutByte(b);
  }
  last = 0;
  for (uint8_t b : intermediate) {
    const auto& set = sets[last];
    if (set.empty()) {
      out.PutByte(b);
    } else {
      const auto it = std::find(set.begin(), set.end(), b);
      if (it == set.end()) {
        out.Put(1, 1);
        out.PutByte(b);
      } else {
        out.Put(0, 1);
        out.Put(uint32_t(it - set.begin()), indexBits(uint32_t(set.size())));
      }
    }
    last = b;
  }
  return out.Finish();
}

std::vector<uint8_t> ReduceEncode(const std::vector<uint8_t>& data, int factor) {
  return ReduceEncodeIntermediate(ReduceIntermediate(data, factor));
}

// ---- Zip archives ---------------------------------------------------------------------------

ZipItem MakeItem(const std::string& name, uint16_t method, uint16_t flags,
                 const std::vector<uint8_t>& data, const std::vector<uint8_t>& compressed) {
  return ZipItem{name, method, flags, compressed, Crc32(data), uint32_t(data.size())};
}

void WriteZip(const std::filesystem::path& path, const std::vector<ZipItem>& items) {
  std::vector<uint8_t> out, central;
  const auto u16 = [](std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
  };
  const auto u32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    u16(v, x & 0xFFFF);
    u16(v, x >> 16);
  };
  const uint32_t dosTime = (12u << 11), dosDate = (44u << 9) | (6u << 5) | 15u;  // 2024-06-15
  for (const auto& item : items) {
    const uint32_t offset = uint32_t(out.size());
    u32(out, 0x04034b50);
    u16(out, 10);
    u16(out, item.flags);
    u16(out, item.method);
    u16(out, dosTime);
    u16(out, dosDate);
    u32(out, item.crc);
    u32(out, uint32_t(item.compressed.size()));
    u32(out, item.size);
    u16(out, uint32_t(item.name.size()));
    u16(out, 0);
    out.insert(out.end(), item.name.begin(), item.name.end());
    out.insert(out.end(), item.compressed.begin(), item.compressed.end());

    u32(central, 0x02014b50);
    u16(central, 20);
    u16(central, 10);
    u16(central, item.flags);
    u16(central, item.method);
    u16(central, dosTime);
    u16(central, dosDate);
    u32(central, item.crc);
    u32(central, uint32_t(item.compressed.size()));
    u32(central, item.size);
    u16(central, uint32_t(item.name.size()));
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u16(central, 0);
    u32(central, 0x20);
    u32(central, offset);
    central.insert(central.end(), item.name.begin(), item.name.end());
  }
  const uint32_t centralOffset = uint32_t(out.size());
  out.insert(out.end(), central.begin(), central.end());
  u32(out, 0x06054b50);
  u16(out, 0);
  u16(out, 0);
  u16(out, uint32_t(items.size()));
  u16(out, uint32_t(items.size()));
  u32(out, uint32_t(central.size()));
  u32(out, centralOffset);
  u16(out, 0);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
}

std::vector<ZipItem> ReadZip(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> z((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto u16 = [&](size_t at) { return at + 2 <= z.size() ? uint32_t(z[at] | (z[at + 1] << 8)) : 0u; };
  const auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  std::vector<ZipItem> items;
  size_t end = z.size() >= 22 ? z.size() - 22 : 0;
  while (end > 0 && u32(end) != 0x06054b50) --end;
  if (u32(end) != 0x06054b50) return items;
  size_t at = u32(end + 16);
  for (uint32_t i = 0, n = u16(end + 10); i < n && u32(at) == 0x02014b50; ++i) {
    ZipItem item;
    item.flags = uint16_t(u16(at + 8));
    item.method = uint16_t(u16(at + 10));
    item.crc = u32(at + 16);
    const uint32_t csize = u32(at + 20);
    item.size = u32(at + 24);
    const uint32_t nameLength = u16(at + 28);
    const size_t next = at + 46 + nameLength + u16(at + 30) + u16(at + 32);
    item.name.assign(z.begin() + std::ptrdiff_t(at + 46), z.begin() + std::ptrdiff_t(at + 46 + nameLength));
    const size_t local = u32(at + 42);
    const size_t data = local + 30 + u16(local + 26) + u16(local + 28);
    if (data + csize <= z.size()) {
      item.compressed.assign(z.begin() + std::ptrdiff_t(data), z.begin() + std::ptrdiff_t(data + csize));
    }
    items.push_back(std::move(item));
    at = next;
  }
  return items;
}

// ---- Samples --------------------------------------------------------------------------------

std::vector<uint8_t> SampleText(size_t size, uint32_t seed) {
  static const char* const words[] = {
      "the ", "kestrel ", "hovers ", "over ", "a ", "field ", "and ", "waits, ", "then ",
      "drops ", "onto ", "its ", "prey. ", "Wind ", "from ", "west ", "carries ", "seeds ",
      "across ", "valley\n", "archive ", "entry ", "header ", "0123 ", "4567\n", "\t", "\x90 "};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const char* w = words[rng() % (sizeof(words) / sizeof(words[0]))];
    for (; *w && out.size() < size; ++w) out.push_back(uint8_t(*w));
  }
  return out;
}

std::vector<uint8_t> SampleBinary(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const uint32_t kind = rng() % 4;
    const size_t run = 1 + rng() % 40;
    if (kind == 0 || out.size() < 64) {
      for (size_t i = 0; i < run; ++i) out.push_back(uint8_t(rng()));
    } else if (kind == 1) {
      const uint8_t b = uint8_t(rng());
      for (size_t i = 0; i < run; ++i) out.push_back(b);
    } else {
      const size_t back = 1 + rng() % std::min<size_t>(out.size(), 5000);
      for (size_t i = 0; i < run; ++i) out.push_back(out[out.size() - back]);
    }
  }
  out.resize(size);
  return out;
}

}  // namespace kestrel::testing
