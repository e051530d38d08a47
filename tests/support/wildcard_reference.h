// wildcard_reference.h — the mask matching rules transcribed literally: 1-based positions,
// the shared star set, cut copies at every attempt. Exponential on hostile masks; the tests and
// the fuzz target compare the library's matcher with it on short inputs.
#pragma once

#include <bitset>
#include <string>

namespace kestrel::testing {

namespace reference {

inline std::bitset<256> starSet;
inline bool starNegated = false;

inline unsigned char U(char c) { return static_cast<unsigned char>(c); }

inline std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

inline int MatchPattern(std::string mask, std::string name);

inline int MatchAfterStar(std::string p, std::string t) {
  int result = 0;
  size_t i = 1;
  size_t j = 1;
  if (!p.empty())
    while (j <= t.size() && i <= p.size() && (p[i - 1] == '*' || p[i - 1] == '?')) {
      if (p[i - 1] == '?') ++j;
      ++i;
    }
  if (j > t.size()) return 3;
  if (!p.empty() && i > p.size()) return 1;
  for (;;) {
    if (!p.empty() && (p[i - 1] == t[j - 1] || p[i - 1] == '<')) {
      p = p.substr(i - 1);
      t = t.substr(j - 1);
      i = 1;
      j = 1;
      result = MatchPattern(p, t);
    }
    if (j > t.size()) return 3;
    if (result != 1 && starSet.any()) {
      const bool in = starSet.test(U(t[j - 1]));
      if (starNegated == in) return 3;
    }
    ++j;
    if (result == 1 || j > t.size()) {
      if (i > p.size() && j > t.size()) result = 1;
      return result;
    }
  }
}

inline int MatchPattern(std::string mask, std::string name) {
  starSet.reset();
  starNegated = false;
  mask = Lower(mask);
  name = Lower(name);
  if (mask == "*") return 1;
  const size_t M = mask.size();
  const size_t N = name.size();
  size_t m = 1;
  size_t n = 1;
  int result = 0;
  while (result == 0 && m <= M) {
    if (n > N) {
      result = (mask[m - 1] == '*' && m == M) ? 1 : 3;
      break;
    }
    const char c = mask[m - 1];
    if (c == '*') {
      if (m + 1 <= M && mask[m] == '<') {
        starSet.reset();
        m += 2;
        if (m <= M) {
          starNegated = false;
          if (mask[m - 1] == '^' || mask[m - 1] == '!') {
            starNegated = true;
            ++m;
          }
          bool closed = true;
          for (;;) {
            if (m > M) {
              starSet.reset();
              closed = false;
              break;
            }
            if (mask[m - 1] == '>') break;
            if (m + 1 <= M && mask[m] == '-') {
              const unsigned lo = U(mask[m - 1]);
              const unsigned hi = m + 2 <= M ? U(mask[m + 1]) : 0;
              for (unsigned k = lo; k <= hi; ++k) starSet.set(k);
              m += 2;
            } else {
              starSet.set(U(mask[m - 1]));
            }
            ++m;
          }
          if (closed) ++m;
        }
        if (starSet.none()) {
          result = 3;
          break;
        }
      } else {
        starSet.reset();
        starNegated = false;
      }
      result = MatchAfterStar(mask.substr(m - 1), name.substr(n - 1));
      ++m;
      ++n;
    } else if (c == '<') {
      if (++m > M) { result = 6; break; }
      bool negated = false;
      if (mask[m - 1] == '!' || mask[m - 1] == '^') {
        negated = true;
        if (++m > M) { result = 6; break; }
      }
      if (mask[m - 1] == '>') { result = 6; break; }
      bool member = false;
      bool malformed = false;
      while (!member && mask[m - 1] != '>') {
        if (m + 1 <= M && mask[m] == '-') {
          if (m + 2 > M || mask[m + 1] == '>') { malformed = true; break; }
          const unsigned char lo = U(mask[m - 1]);
          const unsigned char hi = U(mask[m + 1]);
          m += 3;
          if (m > M) { malformed = true; break; }
          member = lo <= U(name[n - 1]) && U(name[n - 1]) <= hi;
        } else {
          const char single = mask[m - 1];
          ++m;
          if (m > M) { malformed = true; break; }
          member = name[n - 1] == single;
        }
      }
      if (malformed) { result = 6; break; }
      if (negated == member) { result = 4; break; }
      if (member) {
        const size_t close = mask.find('>', m - 1);
        if (close == std::string::npos) { result = 6; break; }
        m = close + 1;
      }
      ++m;
      ++n;
    } else if (c == '?') {
      ++m;
      ++n;
    } else {
      if (c != name[n - 1]) result = 5;
      ++m;
      ++n;
    }
  }
  if (result == 0) result = n > N ? 1 : 2;
  return result;
}

}  // namespace reference

}  // namespace kestrel::testing
