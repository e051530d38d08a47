// wildcard.cpp — the mask matcher.
//
// The matching rules are those of a recursive matcher with a shared "star set": a star either
// absorbs any character or, written "*<set>", only characters of its set; at each candidate
// position after a star the rest of the mask is matched again from scratch, and the set left
// behind by that attempt restricts the characters the star goes on to absorb. Run naively that
// recursion is exponential ("*a*a*a*a*b" against "aaaa…"). Here every sub-match is a pure
// function of where it starts in the mask and the name (and of the star set in force, which
// is always "none" or the set written at one mask position), so each is computed once and
// remembered: the time is polynomial in the lengths while every result code stays the same.
#include "support/wildcard.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "classlib/ansi_string.h"

namespace kestrel::support {

namespace {

constexpr int kNoSet = -1;

struct StarSet {
  std::bitset<256> members;
  bool negated = false;
  size_t after = 0;  // mask position after the closing ">" (or past the end when unclosed)
  bool Empty() const { return members.none(); }
  // Whether the star may absorb c.
  bool Admits(unsigned char c) const { return members.test(c) != negated; }
};

struct Outcome {
  int result;
  int state;  // the star set left in force: a mask position of "*<", or kNoSet
};

class Matcher {
 public:
  Matcher(const std::string& mask, const std::string& name)
      : m_(classlib::AsciiLowerCase(mask)), t_(classlib::AsciiLowerCase(name)),
        sets_(m_.size()) {}

  int Run() { return Pattern(0, 0).result; }

 private:
  unsigned char M(size_t i) const { return static_cast<unsigned char>(m_[i]); }
  unsigned char T(size_t j) const { return static_cast<unsigned char>(t_[j]); }

  // The star set written at mask position site (a "*" followed by "<").
  const StarSet& SetAt(size_t site) {
    if (sets_[site] == nullptr) sets_[site] = std::make_unique<StarSet>(BuildSet(site));
    return *sets_[site];
  }

  StarSet BuildSet(size_t site) const {
    StarSet set;
    const size_t size = m_.size();
    size_t m = site + 2;
    if (m >= size) {
      set.after = m;
      return set;
    }
    if (M(m) == '^' || M(m) == '!') {
      set.negated = true;
      ++m;
    }
    for (;;) {
      if (m >= size) {  // unclosed: an empty set
        set.members.reset();
        set.after = m;
        return set;
      }
      if (M(m) == '>') break;
      if (m + 1 < size && M(m + 1) == '-') {
        const unsigned lo = M(m);
        const unsigned hi = m + 2 < size ? M(m + 2) : 0;
        for (unsigned c = lo; c <= hi; ++c) set.members.set(c);
        m += 2;
      } else {
        set.members.set(M(m));
      }
      ++m;
    }
    set.after = m + 1;
    return set;
  }

  // MatchPattern on the mask from mi and the name from ni.
  Outcome Pattern(size_t mi, size_t ni) {
    const uint64_t key = static_cast<uint64_t>(mi) * (t_.size() + 1) + ni;
    if (auto it = patternMemo_.find(key); it != patternMemo_.end()) return it->second;
    const Outcome outcome = ComputePattern(mi, ni);
    patternMemo_.emplace(key, outcome);
    return outcome;
  }

  Outcome ComputePattern(size_t mi, size_t ni) {
    const size_t size = m_.size();
    const size_t names = t_.size();
    if (size - mi == 1 && M(mi) == '*') return {kMatchValid, kNoSet};
    int state = kNoSet;
    size_t m = mi;
    size_t n = ni;
    int result = kMatchNone;
    while (result == kMatchNone && m < size) {
      if (n >= names) {
        result = (M(m) == '*' && m == size - 1) ? kMatchValid : kMatchAbort;
        break;
      }
      const unsigned char c = M(m);
      if (c == '*') {
        state = kNoSet;
        if (m + 1 < size && M(m + 1) == '<') {
          const size_t site = m;
          const StarSet& set = SetAt(site);
          m = set.after;
          if (set.Empty()) {
            result = kMatchAbort;
            break;
          }
          state = static_cast<int>(site);
        }
        const Outcome after = AfterStar(m, n, state);
        result = after.result;
        state = after.state;
        ++m;
        ++n;
      } else if (c == '<') {
        result = MatchSet(m, n);
        ++m;
        ++n;
      } else if (c == '?') {
        ++m;
        ++n;
      } else {
        if (c != T(n)) result = kMatchLiteral;
        ++m;
        ++n;
      }
    }
    if (result == kMatchNone) result = n >= names ? kMatchValid : kMatchEnd;
    return {result, state};
  }

  // A "<…>" set matching the name character at n; m is at "<" and is left on the closing ">"
  // (the caller steps past it). Returns kMatchNone when the character is accepted.
  int MatchSet(size_t& m, size_t n) const {
    const size_t size = m_.size();
    if (++m >= size) return kMatchPattern;
    bool negated = false;
    if (M(m) == '!' || M(m) == '^') {
      negated = true;
      if (++m >= size) return kMatchPattern;
    }
    if (M(m) == '>') return kMatchPattern;
    bool member = false;
    while (!member && M(m) != '>') {
      if (m + 1 < size && M(m + 1) == '-') {
        if (m + 2 >= size || M(m + 2) == '>') return kMatchPattern;
        const unsigned char lo = M(m);
        const unsigned char hi = M(m + 2);
        m += 3;
        if (m >= size) return kMatchPattern;
        member = lo <= T(n) && T(n) <= hi;
      } else {
        const unsigned char single = M(m);
        m += 1;
        if (m >= size) return kMatchPattern;
        member = T(n) == single;
      }
    }
    if (negated == member) return kMatchRange;
    if (member) {
      const size_t close = m_.find('>', m);
      if (close == std::string::npos) return kMatchPattern;
      m = close;
    }
    return kMatchNone;
  }

  // MatchAfterStar on the mask from ps and the name from ts, with the star set state in force.
  Outcome AfterStar(size_t ps, size_t ts, int state) {
    const size_t size = m_.size();
    const size_t names = t_.size();
    size_t i = ps;
    size_t j = ts;
    if (ps < size) {
      while (j < names && i < size && (M(i) == '*' || M(i) == '?')) {
        if (M(i) == '?') ++j;
        ++i;
      }
    }
    if (j >= names) return {kMatchAbort, state};
    if (ps < size && i >= size) return {kMatchValid, state};
    return StarLoop(i, j, state, kMatchNone);
  }

  // The loop in which the star absorbs one name character after another, trying the mask
  // rest at i against the name from j each time its first character fits. Each step is a
  // function of (i, j, star set, last result), so the chain of steps is followed once and
  // its outcome stored for every step it passed.
  Outcome StarLoop(size_t i, size_t j, int state, int last) {
    const size_t size = m_.size();
    const size_t names = t_.size();
    const bool restEmpty = i >= size;
    std::vector<uint64_t> path;
    Outcome outcome{kMatchNone, kNoSet};
    for (;;) {
      const uint64_t key = LoopKey(i, j, state, last);
      if (auto it = loopMemo_.find(key); it != loopMemo_.end()) {
        outcome = it->second;
        break;
      }
      path.push_back(key);
      int result = last;
      if (!restEmpty && (M(i) == T(j) || M(i) == '<')) {
        const Outcome attempt = Pattern(i, j);
        result = attempt.result;
        state = attempt.state;
      }
      if (result != kMatchValid && state != kNoSet &&
          !SetAt(static_cast<size_t>(state)).Admits(T(j))) {
        outcome = {kMatchAbort, state};
        break;
      }
      ++j;
      if (result == kMatchValid || j >= names) {
        if (restEmpty && j >= names) result = kMatchValid;
        outcome = {result, state};
        break;
      }
      last = result;
    }
    for (uint64_t key : path) loopMemo_.emplace(key, outcome);
    return outcome;
  }

  uint64_t LoopKey(size_t i, size_t j, int state, int last) const {
    const uint64_t positions = static_cast<uint64_t>(i) * (t_.size() + 1) + j;
    return (positions * (m_.size() + 1) + static_cast<uint64_t>(state + 1)) * 8 +
           static_cast<uint64_t>(last);
  }

  std::string m_;
  std::string t_;
  std::vector<std::unique_ptr<StarSet>> sets_;
  std::unordered_map<uint64_t, Outcome> patternMemo_;
  std::unordered_map<uint64_t, Outcome> loopMemo_;
};

}  // namespace

int MatchPattern(const std::string& mask, const std::string& name) {
  return Matcher(mask, name).Run();
}

bool IsMatch(const std::string& mask, const std::string& name) {
  return MatchPattern(mask, name) == kMatchValid;
}

}  // namespace kestrel::support
