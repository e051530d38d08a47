// ansi_string.cpp — code page 936 aware case folding and comparison.
#include "classlib/ansi_string.h"

#include <cstring>

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

bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

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
