// wildcard_test.cpp — the mask matcher: the documented cases, and agreement with a literal
// (exponential) transcription of the matching rules on generated masks and names.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/wildcard.h"
#include "tests/support/wildcard_reference.h"

namespace kestrel::support {
namespace {


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

std::string RandomText(std::mt19937& random, const std::string& alphabet, unsigned maxLength) {
  std::string text(random() % (maxLength + 1), ' ');
  for (char& c : text) c = alphabet[random() % alphabet.size()];
  return text;
}

// Masks and names from small alphabets rich in the special characters, compared code for code
// with the reference.
TEST(Wildcard, AgreesWithReferenceOnGeneratedInputs) {
  const std::string maskChars = "ab.*?*<>-!^A";
  const std::string nameChars = "abAB.-!>";
  std::mt19937 random(20261208);
  int matches = 0;
  for (int round = 0; round < 200000; ++round) {
    const std::string mask = RandomText(random, maskChars, 8);
    const std::string name = RandomText(random, nameChars, 8);
    const int expected = testing::reference::MatchPattern(mask, name);
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
    const std::string mask = RandomText(random, maskChars, 10);
    const std::string name = RandomText(random, nameChars, 7);
    ASSERT_EQ(MatchPattern(mask, name), testing::reference::MatchPattern(mask, name))
        << "mask '" << mask << "' name '" << name << "'";
  }
}

}  // namespace
}  // namespace kestrel::support
