// helpers_test.cpp — the small helpers: percentages rounded half to even, string parts,
// wildcard detection, zero-terminated strings, DOS date-time clamping, mask lists and the
// component's string table.
#include <gtest/gtest.h>

#include <cstring>

#include "classlib/string_list.h"
#include "platform/platform.h"
#include "support/code_page.h"
#include "support/dos_date_time.h"
#include "support/mask_list.h"
#include "support/string_helpers.h"
#include "support/string_table.h"

namespace kestrel::support {
namespace {

uint32_t Dos(int year, int month, int day, int hour, int minute, int halfSeconds) {
  const auto date = static_cast<uint32_t>(day | (month << 5) | ((year - 1980) << 9));
  const auto time = static_cast<uint32_t>(halfSeconds | (minute << 5) | (hour << 11));
  return (date << 16) | time;
}

TEST(Helpers, PercentRoundsHalfToEven) {
  EXPECT_EQ(Percent(0, 5), 0);
  EXPECT_EQ(Percent(-3, 5), 0);
  EXPECT_EQ(Percent(200, 1), 0);
  EXPECT_EQ(Percent(200, 3), 2);
  EXPECT_EQ(Percent(200, 5), 2);  // 2.5 goes to 2
  EXPECT_EQ(Percent(200, 7), 4);  // 3.5 goes to 4
  EXPECT_EQ(Percent(10, 50), 100);
  EXPECT_EQ(Percent(100, -7), -7);  // no lower bound
  EXPECT_EQ(Percent(3, 1), 33);
  EXPECT_EQ(Percent64(int64_t{1} << 40, int64_t{1} << 39), 50);
  EXPECT_EQ(Percent64(INT64_MAX, INT64_MAX), 100);
  EXPECT_EQ(Min64(-1, 2), -1);
  EXPECT_EQ(Max64(-1, 2), 2);
}

TEST(Helpers, StringsAndPointers) {
  EXPECT_EQ(RightStr("abc", 5), "abc");
  EXPECT_EQ(RightStr("abc", 2), "bc");
  EXPECT_EQ(LeftStr("abc", 0), "");
  EXPECT_EQ(LeftStr("abc", 2), "ab");
  EXPECT_TRUE(HasWildcards("a|b"));
  EXPECT_TRUE(HasWildcards(">x"));
  EXPECT_FALSE(HasWildcards("a[1]"));
  EXPECT_FALSE(HasWildcards("\x81\x7C.txt"));  // a two-byte character ending in "|"
  EXPECT_TRUE(HasWildcards("\x81\x7C|"));
  char text[] = "a\\b/c";
  EXPECT_EQ(SlashesToForward(text), text);
  EXPECT_STREQ(text, "a/b/c");
  SlashesToBack(text);
  EXPECT_STREQ(text, "a\\b\\c");
  EXPECT_EQ(SlashesToForward(std::string("x\\y")), "x/y");
  EXPECT_EQ(PCharToString(nullptr), "");
  EXPECT_EQ(PCharToString("abc"), "abc");
  EXPECT_EQ(StringToNewPChar(""), nullptr);
  const auto copy = StringToNewPChar("hey");
  EXPECT_STREQ(copy.get(), "hey");
  const std::string empty;
  ASSERT_NE(StringToPChar(empty), nullptr);
  EXPECT_EQ(*StringToPChar(empty), '\0');
  TraceError("ignored");
}

TEST(Helpers, ValidateDosDateTime) {
  const uint32_t valid = Dos(2001, 7, 4, 13, 37, 11);  // 22 seconds: an odd seconds field
  EXPECT_EQ(ValidateDosDateTime(valid), valid);
  EXPECT_EQ(ValidateDosDateTime(Dos(2001, 0, 4, 13, 37, 11)), Dos(2001, 1, 4, 13, 37, 11));
  EXPECT_EQ(ValidateDosDateTime(Dos(2001, 5, 0, 0, 0, 0)), Dos(2001, 5, 1, 0, 0, 0));
  EXPECT_EQ(ValidateDosDateTime(Dos(2001, 15, 4, 0, 0, 0)), Dos(2001, 12, 4, 0, 0, 0));
  EXPECT_EQ(ValidateDosDateTime(Dos(2001, 5, 5, 25, 61, 31)), Dos(2001, 5, 5, 23, 59, 29));
  EXPECT_EQ(ValidateDosDateTime(Dos(2100, 1, 1, 0, 0, 0)), Dos(2099, 1, 1, 0, 0, 0));
  EXPECT_EQ(ValidateDosDateTime(0xFFFFFFFFu), Dos(2099, 12, 31, 23, 59, 29));
  EXPECT_EQ(ValidateDosDateTime(0xFFFFFFFFu), 0xEF9FBF7Du);
  // Day 30 of February is not a day-of-month error here: the value is kept as it is.
  EXPECT_EQ(ValidateDosDateTime(Dos(2001, 2, 30, 0, 0, 0)), Dos(2001, 2, 30, 0, 0, 0));
}

TEST(Helpers, MaskListsMatchNameOrWholePath) {
  classlib::StringList masks;
  masks.Add("*.TMP");
  masks.Add("c:\\keep\\*.log");
  EXPECT_TRUE(MatchesMaskList(masks, "C:\\any\\where\\X.TMP"));
  EXPECT_TRUE(MatchesMaskList(masks, "C:\\Keep\\a.LOG"));
  EXPECT_FALSE(MatchesMaskList(masks, "C:\\other\\a.log"));
  EXPECT_FALSE(MatchesMaskList(masks, "C:\\x.tmp\\a.txt"));
  EXPECT_FALSE(MatchesMaskList(classlib::StringList(), "a"));
}

TEST(Helpers, OemRoundTripReplacesWhatOemCannotHold) {
  std::string text = "a\xD6\xD0\xCE\xC4.txt";  // "a中文.txt"
  OemRoundTrip(text);
  EXPECT_EQ(text, "a\xD6\xD0\xCE\xC4.txt");  // OEM is 936 too: nothing changes
  if (!os::host::SetCodePages(936, 437)) GTEST_SKIP() << "code pages are the system's here";
  OemRoundTrip(text);
  os::host::SetCodePages(936, 936);
  EXPECT_EQ(text.substr(0, 1), "a");
  EXPECT_EQ(text.substr(text.size() - 4), ".txt");
  EXPECT_EQ(text.find("\xD6\xD0"), std::string::npos);
}

TEST(Helpers, StringTable) {
  EXPECT_STREQ(LoadStr(176), " Seek error");
  EXPECT_STREQ(LoadStr(sInvalidSeekOrigin), "Invalid seek origin (%d)");
  EXPECT_STREQ(LoadStr(sPutbackOverflow), "Putback overflow");
  EXPECT_STREQ(LoadStr(sCouldNotCopyFrom), "Could not copy from ");
  EXPECT_STREQ(LoadStr(sUserCanceledDestDir), "User canceled Set Desination Directory");
  EXPECT_STREQ(LoadStr(sCannotSaveConfig), "Unable to save Zip Configuration File to disk");
  EXPECT_EQ(sCannotSaveConfig, 203);
  for (int id = 176; id <= 203; ++id) EXPECT_GT(std::strlen(LoadStr(id)), 0u) << id;
  EXPECT_STREQ(LoadStr(175), "");
  EXPECT_STREQ(LoadStr(204), "");
}

}  // namespace
}  // namespace kestrel::support
