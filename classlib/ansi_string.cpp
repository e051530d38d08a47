// ansi_string.cpp — case folding, comparison and character steps that follow the ANSI code
// page in force.
#include "classlib/ansi_string.h"

#include <cstring>

#include "platform/platform.h"

namespace kestrel::classlib {

namespace {

unsigned char FoldLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}
unsigned char FoldUpper(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

template <typename Fold>
std::string ChangeAnsiCase(const std::string& text, Fold fold) {
  std::string result = text;
  for (size_t i = 0; i < result.size(); ++i) {
    const auto c = static_cast<unsigned char>(result[i]);
    if (IsLeadByte(c)) {
      ++i;  // the trail byte stays as it is
      continue;
    }
    result[i] = static_cast<char>(fold(c));
  }
  return result;
}

}  // namespace

bool IsLeadByteOf(int codePage, unsigned char byte) {
  switch (codePage) {
    case 936:  // GBK
    case 949:  // Korean
    case 950:  // Big5
      return byte >= 0x81 && byte <= 0xFE;
    case 932:  // Shift-JIS
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    default:
      return false;
  }
}

bool IsLeadByte(unsigned char byte) { return IsLeadByteOf(os::AnsiCodePage(), byte); }

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when there is none.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

}  // namespace

size_t CharLength(const std::string& text, size_t i) {
  const int page = os::AnsiCodePage();
  const auto c = static_cast<unsigned char>(text[i]);
  if (page == os::kUtf8CodePage) {
    const size_t length = Utf8SequenceLength(text, i);
    return length == 0 ? 1 : length;
  }
  return IsLeadByteOf(page, c) && i + 1 < text.size() ? 2 : 1;
}

bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string AsciiLowerCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(FoldLower(static_cast<unsigned char>(c)));
  return result;
}

std::string AsciiUpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(FoldUpper(static_cast<unsigned char>(c)));
  return result;
}

std::string AnsiLowerCase(const std::string& text) { return ChangeAnsiCase(text, FoldLower); }
std::string AnsiUpperCase(const std::string& text) { return ChangeAnsiCase(text, FoldUpper); }

int AnsiCompareText(const std::string& a, const std::string& b) {
  return AnsiCompareStr(AnsiLowerCase(a), AnsiLowerCase(b));
}

bool AnsiSameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

int AnsiCompareStr(const std::string& a, const std::string& b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t AnsiFindFirstOf(const std::string& text, const char* chars, size_t from) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (i >= from && std::strchr(chars, text[i]) != nullptr && text[i] != '\0') return i;
  }
  return std::string::npos;
}

size_t AnsiFindLast(const std::string& text, char c) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    if (text[i] == c) found = i;
  }
  return found;
}

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return text.substr(begin, end - begin);
}

}  // namespace kestrel::classlib
