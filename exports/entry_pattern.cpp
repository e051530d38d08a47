// entry_pattern.cpp — wildcard matching of entry names: an iterative match that returns to
// the last "*" on a mismatch, so it runs in time proportional to the product of the lengths.
#include "exports/entry_pattern.h"

#include <cstdint>

#include "kestrel.h"

namespace kestrel::exports {

namespace {

// The UTF-8 character at text[i] as a code point; i moves past it. A stray byte is one
// character of its own.
uint32_t NextChar(std::string_view text, size_t& i) {
  const auto byte = [&](size_t k) { return uint8_t(text[k]); };
  const uint8_t lead = byte(i);
  const size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (length == 1 || i + length > text.size()) return byte(i++);
  uint32_t code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) code = code << 6 | (byte(i + k) & 0x3F);
  i += length;
  return code;
}

// Matches c against the set starting at pattern[p] (after "["); p moves past the "]".
// False with p unchanged when the set has no "]" (the "[" is then a plain character).
bool MatchSet(std::string_view pattern, size_t& p, uint32_t c, bool& inSet) {
  size_t i = p;
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  bool found = false, first = true;
  while (i < pattern.size() && (pattern[i] != ']' || first)) {
    first = false;
    const uint32_t low = NextChar(pattern, i);
    uint32_t high = low;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      ++i;
      high = NextChar(pattern, i);
    }
    if (low <= c && c <= high) found = true;
  }
  if (i >= pattern.size()) return false;
  p = i + 1;
  inSet = found != negated;
  return true;
}

}  // namespace

bool PatternMatches(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    size_t nextN = n;
    const uint32_t c = NextChar(name, nextN);
    bool matched = false;
    size_t nextP = p;
    if (p < pattern.size()) {
      if (pattern[p] == '?') {
        matched = true;
        ++nextP;
      } else if (pattern[p] == '[' && (++nextP, MatchSet(pattern, nextP, c, matched))) {
        // nextP is past the set
      } else {
        nextP = p;
        matched = NextChar(pattern, nextP) == c;
      }
    }
    if (matched) {
      p = nextP;
      n = nextN;
    } else if (starP != std::string_view::npos) {
      p = starP;
      NextChar(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace kestrel::exports

#if !defined(_WIN32)
extern "C" int kestrel_pattern_match(const char* pattern, const char* name) {
  if (pattern == nullptr || name == nullptr) return 0;
  return kestrel::exports::PatternMatches(pattern, name) ? 1 : 0;
}
#endif
