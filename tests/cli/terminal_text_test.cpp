// terminal_text_test.cpp — names from archives reach the terminal with every control
// character shown, never sent, and broken UTF-8 shown as bytes.
#include <gtest/gtest.h>

#include "cli/terminal_text.h"

namespace kestrel::cli {
namespace {

TEST(TerminalText, ControlCharactersAndBrokenUtf8AreShownNotSent) {
  EXPECT_EQ(Printable("plain/名字.txt"), "plain/名字.txt");
  EXPECT_EQ(Printable("a\x1b[31mred\r\n\t\x7f"), "a^[[31mred^M^J^I^?");
  EXPECT_EQ(Printable("csi\xc2\x9b" "2J"), "csi\\x9b2J");                // C1 control, encoded
  EXPECT_EQ(Printable("gbk\xc4\xe3!"), "gbk\\xc4\\xe3!");                // not UTF-8
  EXPECT_EQ(Printable("\xe0\x80\xaf" "x\xed\xa0\x80"), "\\xe0\\x80\\xafx\\xed\\xa0\\x80");  // overlong, surrogate
  EXPECT_EQ(Printable(std::string("nul\0x", 5)), "nul^@x");
  EXPECT_EQ(PrintableLines("line one\r\nline\ttwo\n\x1b"), "line one\r\nline\ttwo\n^[");
}

}  // namespace
}  // namespace kestrel::cli
