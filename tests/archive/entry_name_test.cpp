// entry_name_test.cpp — stored names to internal names and back under several code pages:
// bit 11, the Unicode-path field, legacy code pages, and the writer's choice of form.
#include "archive/entry_name.h"

#include <gtest/gtest.h>

#include "archive/crc32.h"
#include "archive/zip_records.h"
#include "classlib/ansi_string.h"
#include "platform/platform.h"

namespace kestrel::archive {
namespace {

const std::string kGbkZhongWen = "\xD6\xD0\xCE\xC4";  // 中文 in code page 936
const std::string kUtf8ZhongWen = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kUtf8Cafe = "caf\xC3\xA9";  // café
const std::string kUtf8Emoji = "\xF0\x9F\x98\x80.txt";

// A 0x7075 field for raw carrying utf8, with the CRC of crcOf.
std::string UnicodePathField(const std::string& crcOf, const std::string& utf8,
                             uint8_t version = 1) {
  std::string field(9, '\0');
  auto* b = reinterpret_cast<uint8_t*>(field.data());
  StoreLe16(b, kUnicodePathField);
  StoreLe16(b + 2, static_cast<uint16_t>(5 + utf8.size()));
  b[4] = version;
  StoreLe32(b + 5, ~Crc32Fold(0xFFFFFFFFu, crcOf.data(), crcOf.size()));
  return field + utf8;
}

NameProblem Internal(const std::string& raw, uint16_t flags, const std::string& extra,
                     int legacy, std::string& name) {
  return InternalEntryName(raw, flags, reinterpret_cast<const uint8_t*>(extra.data()),
                           extra.size(), legacy, name);
}

TEST(CodePageScopeTest, OverridesThisThreadOnlyAndNests) {
  const int process = os::AnsiCodePage();
  {
    os::CodePageScope utf8(65001, 65001);
    EXPECT_EQ(os::AnsiCodePage(), 65001);
    EXPECT_FALSE(classlib::IsLeadByte(0xD6));
    {
      os::CodePageScope japanese(932, 932);
      EXPECT_TRUE(classlib::IsLeadByte(0x81));
      EXPECT_FALSE(classlib::IsLeadByte(0xA1));  // a single-byte katakana in 932
    }
    EXPECT_EQ(os::AnsiCodePage(), 65001);
    EXPECT_EQ(os::OemCodePage(), 65001);
  }
  EXPECT_EQ(os::AnsiCodePage(), process);
  os::CodePageScope western(1252, 850);
  EXPECT_FALSE(classlib::IsLeadByte(0xE9));
}

TEST(CodePageScopeTest, CharLengthFollowsThePage) {
  const std::string text = "a" + kUtf8Cafe.substr(3) + kUtf8Emoji;
  os::CodePageScope utf8(65001, 65001);
  EXPECT_EQ(classlib::CharLength(text, 0), 1u);
  EXPECT_EQ(classlib::CharLength(text, 1), 2u);
  EXPECT_EQ(classlib::CharLength(text, 3), 4u);
  EXPECT_EQ(classlib::CharLength("\xC3", 0), 1u);  // a cut sequence is one byte at a time
  os::CodePageScope gbk(936, 936);
  EXPECT_EQ(classlib::CharLength(kGbkZhongWen, 0), 2u);
  EXPECT_EQ(classlib::CharLength("\xD6", 0), 1u);
  EXPECT_FALSE(classlib::IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(classlib::IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(classlib::IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_TRUE(classlib::IsValidUtf8(kUtf8Emoji + kUtf8ZhongWen));
}

TEST(EntryNameTest, MarkedNamesBecomeTheAnsiForm) {
  std::string name;
  {
    os::CodePageScope gbk(936, 936);
    EXPECT_EQ(Internal(kUtf8ZhongWen, kFlagUtf8Name, "", 0, name), NameProblem::None);
    EXPECT_EQ(name, kGbkZhongWen);
    // Unmarked bytes are taken as they are: the documented behaviour.
    EXPECT_EQ(Internal(kGbkZhongWen, 0, "", 0, name), NameProblem::None);
    EXPECT_EQ(name, kGbkZhongWen);
    EXPECT_EQ(Internal(kUtf8Emoji, kFlagUtf8Name, "", 0, name), NameProblem::NoAnsiForm);
    EXPECT_EQ(name, "");
  }
  os::CodePageScope utf8(65001, 65001);
  EXPECT_EQ(Internal(kUtf8Emoji, kFlagUtf8Name, "", 0, name), NameProblem::None);
  EXPECT_EQ(name, kUtf8Emoji);
  EXPECT_EQ(Internal("a\xFF", kFlagUtf8Name, "", 0, name), NameProblem::BadUtf8);
  // An archive written on a Chinese or a western system, read with its legacy page named.
  EXPECT_EQ(Internal(kGbkZhongWen, 0, "", 936, name), NameProblem::None);
  EXPECT_EQ(name, kUtf8ZhongWen);
  EXPECT_EQ(Internal("caf\x82", 0, "", 850, name), NameProblem::None);
  EXPECT_EQ(name, kUtf8Cafe);
  EXPECT_EQ(Internal("x\x80", 0, "", 424242, name), NameProblem::UnknownCodePage);
}

TEST(EntryNameTest, UnicodePathFieldWinsOnlyWhenItBelongsToTheName) {
  os::CodePageScope utf8(65001, 65001);
  std::string name;
  const std::string raw = "caf?";
  std::string padding(4, '\0');
  padding[0] = 0x55;
  padding[1] = 0x54;  // an empty "UT" field before it is skipped
  EXPECT_EQ(Internal(raw, 0, padding + UnicodePathField(raw, kUtf8Cafe), 0, name),
            NameProblem::None);
  EXPECT_EQ(name, kUtf8Cafe);
  EXPECT_EQ(Internal(raw, 0, UnicodePathField("caf!", kUtf8Cafe), 0, name), NameProblem::None);
  EXPECT_EQ(name, raw);  // wrong CRC: ignored
  EXPECT_EQ(Internal(raw, 0, UnicodePathField(raw, kUtf8Cafe, 2), 0, name), NameProblem::None);
  EXPECT_EQ(name, raw);  // unknown version: ignored
  std::string cut = UnicodePathField(raw, kUtf8Cafe);
  cut.resize(7);  // the field says more bytes than the area holds
  EXPECT_EQ(Internal(raw, 0, cut, 0, name), NameProblem::None);
  EXPECT_EQ(name, raw);
  std::string shortField = UnicodePathField(raw, "");
  shortField[2] = 3;  // shorter than version and CRC
  shortField.resize(7);
  EXPECT_EQ(Internal(raw, 0, shortField, 0, name), NameProblem::None);
  EXPECT_EQ(name, raw);
  EXPECT_EQ(Internal(raw, 0, UnicodePathField(raw, "\xC3"), 0, name), NameProblem::BadUtf8);
}

TEST(EntryNameTest, StoredFormFollowsTheStorePage) {
  std::string stored;
  bool utf8 = false;
  {
    os::CodePageScope gbk(936, 936);
    EXPECT_EQ(DefaultStoreCodePage(), 936);
    ASSERT_TRUE(StoredEntryName(kGbkZhongWen, 936, stored, utf8));
    EXPECT_EQ(stored, kGbkZhongWen);
    EXPECT_FALSE(utf8);
    ASSERT_TRUE(StoredEntryName(kGbkZhongWen, 0, stored, utf8));
    EXPECT_EQ(stored, kUtf8ZhongWen);
    EXPECT_TRUE(utf8);
  }
  os::CodePageScope utf8Page(65001, 65001);
  EXPECT_EQ(DefaultStoreCodePage(), 0);
  ASSERT_TRUE(StoredEntryName("plain.txt", 0, stored, utf8));
  EXPECT_FALSE(utf8);
  ASSERT_TRUE(StoredEntryName(kUtf8ZhongWen, 0, stored, utf8));
  EXPECT_EQ(stored, kUtf8ZhongWen);
  EXPECT_TRUE(utf8);
  // A legacy page on request, UTF-8 for what it cannot hold.
  ASSERT_TRUE(StoredEntryName(kUtf8ZhongWen, 936, stored, utf8));
  EXPECT_EQ(stored, kGbkZhongWen);
  EXPECT_FALSE(utf8);
  ASSERT_TRUE(StoredEntryName(kUtf8Emoji, 936, stored, utf8));
  EXPECT_EQ(stored, kUtf8Emoji);
  EXPECT_TRUE(utf8);
  EXPECT_FALSE(StoredEntryName("bad\xFF", 0, stored, utf8));
}

}  // namespace
}  // namespace kestrel::archive
