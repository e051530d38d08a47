// ansi_string.h — comparisons and case changes of 8-bit strings in the ANSI code page.
// In the double-byte code pages (936 by default, 932, 949, 950) a lead byte starts a two-byte
// character whose trail byte may look like an ASCII letter or "\", so case folding only touches
// single-byte ASCII letters and never a trail byte. Single-byte pages and UTF-8 have no lead
// bytes: no byte of a UTF-8 sequence can be taken for an ASCII character.
#pragma once

#include <string>

namespace kestrel::classlib {

// True when byte starts a two-byte character of the ANSI code page in force.
bool IsLeadByte(unsigned char byte);
// True when byte starts a two-byte character of code page codePage.
bool IsLeadByteOf(int codePage, unsigned char byte);
// Bytes of the character that starts at text[i] in the ANSI code page in force: 2 for a lead
// byte with its trail byte, the length of a whole UTF-8 sequence under 65001, else 1.
size_t CharLength(const std::string& text, size_t i);
// True when text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(const std::string& text);

// ASCII-only case changes ("A"-"Z" / "a"-"z"), byte by byte.
std::string AsciiLowerCase(const std::string& text);
std::string AsciiUpperCase(const std::string& text);

// Case changes of the ANSI code page: ASCII letters of single-byte characters only.
std::string AnsiLowerCase(const std::string& text);
std::string AnsiUpperCase(const std::string& text);

// Case-insensitive comparison in the ANSI code page: negative, 0 or positive. Letters are
// folded to lower case, then bytes compare unsigned; a prefix sorts first.
int AnsiCompareText(const std::string& a, const std::string& b);
bool AnsiSameText(const std::string& a, const std::string& b);
// Case-sensitive comparison of the bytes (unsigned): negative, 0 or positive.
int AnsiCompareStr(const std::string& a, const std::string& b);

// Positions of single-byte characters (never a trail byte of a two-byte character): the
// first one of chars at or after from, and the last occurrence of c; npos when there is none.
size_t AnsiFindFirstOf(const std::string& text, const char* chars, size_t from = 0);
size_t AnsiFindLast(const std::string& text, char c);

// Blanks and control characters (bytes up to 0x20) removed from both ends.
std::string Trim(const std::string& text);

}  // namespace kestrel::classlib
