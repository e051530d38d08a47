// string_list_test.cpp — sorted and unsorted string lists, the duplicates rule, and
// case-insensitive comparison that leaves the trail bytes of code page 936 alone.
#include <gtest/gtest.h>

#include "classlib/ansi_string.h"
#include "classlib/exception.h"
#include "classlib/string_list.h"

namespace kestrel::classlib {
namespace {

TEST(AnsiString, CompareTextFoldsOnlySingleByteLetters) {
  EXPECT_EQ(AnsiCompareText("ReadMe.TXT", "readme.txt"), 0);
  EXPECT_LT(AnsiCompareText("abc", "abcd"), 0);
  EXPECT_GT(AnsiCompareText("b", "A"), 0);
  // "\xB0\x41" and "\xB0\x61" are two different characters whose trail bytes look like A / a.
  EXPECT_NE(AnsiCompareText("\xB0\x41", "\xB0\x61"), 0);
  EXPECT_EQ(AnsiUpperCase("a\xB0\x61z"), "A\xB0\x61Z");
  EXPECT_EQ(AsciiLowerCase("AB\xC0"), "ab\xC0");
  EXPECT_TRUE(AnsiSameText("X.ZIP", "x.zip"));
  EXPECT_EQ(Trim("  a b \t"), "a b");
}

TEST(StringList, UnsortedKeepsOrderAndChecksIndexes) {
  StringList list;
  list.Add("b");
  list.Add("a");
  list.Insert(0, "c");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"c", "b", "a"}));
  EXPECT_EQ(list.IndexOf("B"), 1);
  EXPECT_EQ(list.IndexOf("x"), -1);
  list.Delete(1);
  list.Put(0, "z");
  EXPECT_EQ(list.Text(), "z\r\na\r\n");
  try {
    list.Get(2);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_THROW(list.Insert(3, "q"), EListError);
  list.SetText("one\r\ntwo\nthree");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list[2], "three");
}

TEST(StringList, SortedAppliesTheDuplicatesRule) {
  StringList list;
  list.SetSorted(true);
  list.Add("beta");
  list.Add("Alpha");
  list.Add("gamma");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(list.Add("ALPHA"), 0);  // ignored: equal without regard to case
  EXPECT_EQ(list.Count(), 3);
  list.SetDuplicates(dupAccept);
  list.Add("ALPHA");
  EXPECT_EQ(list.Count(), 4);
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("Beta"), EStringListError);
  int index = -1;
  EXPECT_TRUE(list.Find("GAMMA", index));
  EXPECT_EQ(index, 3);
  EXPECT_FALSE(list.Find("delta", index));
  EXPECT_EQ(index, 3);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  EXPECT_THROW(list.Put(0, "x"), EStringListError);

  StringList copy;
  copy.Assign(list);
  EXPECT_EQ(copy.Items(), list.Items());
  Persistent other;
  EXPECT_THROW(copy.Assign(other), EConvertError);
}

}  // namespace
}  // namespace kestrel::classlib
