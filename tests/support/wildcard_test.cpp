// wildcard_test.cpp — the mask matcher: the documented cases, and agreement with a literal
// (exponential) transcription of the matching rules on generated masks and names.
#include <gtest/gtest.h>

#include <bitset>
#include <random>
#include <string>

#include "support/wildcard.h"

namespace kestrel::support {
namespace {

// ---- Reference: the rules as written, with the shared star set and cut copies ------------
namespace reference {

std::bitset<256> starSet;
bool starNegated = false;

unsigned char U(char c) { return static_cast<unsigned char>(c); }

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

int MatchPattern(std::string mask, std::string name);

int MatchAfterStar(std::string p, std::string t) {
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

int MatchPattern(std::string mask, std::string name) {
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

TEST(Wildcard, StarAndDotStar) {
  EXPECT_TRUE(IsMatch("*", ""));
  EXPECT_TRUE(IsMatch("*", "anything.at all"));
  EXPECT_TRUE(IsMatch("*.*", "a.b"));
  EXPECT_TRUE(IsMatch("*.*", "README."));  // how the directory search tests README
  EXPECT_TRUE(IsMatch("*.*", "."));
  EXPECT_FALSE(IsMatch("*.*", "README"));
  EXPECT_TRUE(IsMatch("", ""));
  EXPECT_FALSE(IsMatch("", "a"));
  EXPECT_FALSE(IsMatch("?", ""));
  EXPECT_FALSE(IsMatch("**", ""));
  EXPECT_TRUE(IsMatch("abc*", "abc"));
  EXPECT_EQ(MatchPattern("ab", "abc"), kMatchEnd);
  EXPECT_EQ(MatchPattern("abc", "ab"), kMatchAbort);
  EXPECT_EQ(MatchPattern("abd", "abc"), kMatchLiteral);
}

TEST(Wildcard, CaseAndLiterals) {
  EXPECT_TRUE(IsMatch("*.TXT", "readme.txt"));
  EXPECT_TRUE(IsMatch("<A-C>*", "bob"));
  EXPECT_TRUE(IsMatch("[1].txt", "[1].txt"));
  EXPECT_FALSE(IsMatch("[1].txt", "1.txt"));
  EXPECT_TRUE(IsMatch("a\\b?", "A\\BC"));  // "\" is an ordinary character
  EXPECT_TRUE(IsMatch("a|b", "a|b"));
}

TEST(Wildcard, Sets) {
  EXPECT_TRUE(IsMatch("<a-c>x", "bx"));
  EXPECT_EQ(MatchPattern("<a-c>x", "dx"), kMatchRange);
  EXPECT_TRUE(IsMatch("<!a-c>x", "dx"));
  EXPECT_FALSE(IsMatch("<!a-c>x", "bx"));
  EXPECT_TRUE(IsMatch("<^a-c>x", "dx"));
  EXPECT_FALSE(IsMatch("<^a-c>x", "bx"));
  for (const char* name : {"ax", "bx", "cx", "x"}) EXPECT_FALSE(IsMatch("<c-a>x", name)) << name;
  EXPECT_EQ(MatchPattern("<ab", "a"), kMatchPattern);
  EXPECT_EQ(MatchPattern("<>", "a"), kMatchPattern);
  EXPECT_EQ(MatchPattern("<a->", "a"), kMatchPattern);
  EXPECT_TRUE(IsMatch("<xa-c>", "b"));
}

TEST(Wildcard, StarSetsAndQuestionMarks) {
  EXPECT_TRUE(IsMatch("*<0-9>.log", "123.log"));
  EXPECT_FALSE(IsMatch("*<0-9>.log", "12a.log"));
  EXPECT_TRUE(IsMatch("*??.c", "ab.c"));
  EXPECT_TRUE(IsMatch("*??.c", "xab.c"));
  EXPECT_FALSE(IsMatch("*??.c", "a.c"));
  EXPECT_EQ(MatchPattern("*<>", "a"), kMatchAbort);   // empty star set
  EXPECT_EQ(MatchPattern("*<!>", "a"), kMatchAbort);  // negated, no members
  // The restriction holds only until the first attempt after the star (kept as documented).
  EXPECT_TRUE(IsMatch("*<0-9>x", "1x2ax"));
  // A one-character name is used up by "*?" before any attempt (kept as documented).
  EXPECT_FALSE(IsMatch("*?", "a"));
  EXPECT_TRUE(IsMatch("*?", "ab"));
}

TEST(Wildcard, ManyStarsFinishQuickly) {
  const std::string many(4000, 'a');
  EXPECT_FALSE(IsMatch("*a*a*a*a*a*a*b", many));
  EXPECT_TRUE(IsMatch("*a*a*a*a*a*a*b", many + "b"));
  EXPECT_FALSE(IsMatch("*<a>*<a>*<a>*b*c", many + "b"));
  EXPECT_FALSE(IsMatch("*?*?*?*?*?*?*?*?x", std::string(2000, 'y')));
}

// Masks and names from small alphabets rich in the special characters, compared code for code
// with the reference.
TEST(Wildcard, AgreesWithReferenceOnGeneratedInputs) {
  const std::string maskChars = "ab.*?*<>-!^A";
  const std::string nameChars = "abAB.-!>";
  std::mt19937 random(20261208);
  int matches = 0;
  for (int round = 0; round < 200000; ++round) {
    std::string mask;
    std::string name;
    const int maskLength = static_cast<int>(random() % 9);
    const int nameLength = static_cast<int>(random() % 9);
    for (int k = 0; k < maskLength; ++k) mask += maskChars[random() % maskChars.size()];
    for (int k = 0; k < nameLength; ++k) name += nameChars[random() % nameChars.size()];
    const int expected = reference::MatchPattern(mask, name);
    ASSERT_EQ(MatchPattern(mask, name), expected) << "mask '" << mask << "' name '" << name << "'";
    matches += expected == 1;
  }
  EXPECT_GT(matches, 1000);  // the inputs exercise matches, not only failures
}

TEST(Wildcard, AgreesWithReferenceOnSetHeavyInputs) {
  const std::string maskChars = "a0-9*<>!x";
  const std::string nameChars = "a019x";
  std::mt19937 random(7);
  for (int round = 0; round < 100000; ++round) {
    std::string mask;
    std::string name;
    const int maskLength = static_cast<int>(random() % 11);
    const int nameLength = static_cast<int>(random() % 8);
    for (int k = 0; k < maskLength; ++k) mask += maskChars[random() % maskChars.size()];
    for (int k = 0; k < nameLength; ++k) name += nameChars[random() % nameChars.size()];
    ASSERT_EQ(MatchPattern(mask, name), reference::MatchPattern(mask, name))
        << "mask '" << mask << "' name '" << name << "'";
  }
}

}  // namespace
}  // namespace kestrel::support
