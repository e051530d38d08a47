// string_helpers.cpp — numbers, slashes, string parts and zero-terminated strings.
#include "support/string_helpers.h"

#include <cmath>
#include <cstring>

#include "classlib/ansi_string.h"

namespace kestrel::support {

namespace {

// part * 100 / total, rounded half to even, at most 100; 0 when total <= 0.
int64_t PercentOf(int64_t total, int64_t part) {
  if (total <= 0) return 0;
  const long double ratio = static_cast<long double>(part) * 100.0L / static_cast<long double>(total);
  const auto rounded = static_cast<int64_t>(std::nearbyintl(ratio));  // default mode: to even
  return rounded > 100 ? 100 : rounded;
}

char* ReplaceAll(char* text, char from, char to) {
  if (text == nullptr) return text;
  for (char* p = text; *p != '\0'; ++p)
    if (*p == from) *p = to;
  return text;
}

}  // namespace

int64_t Min64(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t Max64(int64_t a, int64_t b) { return a > b ? a : b; }

int32_t Percent(int32_t total, int32_t part) {
  return static_cast<int32_t>(PercentOf(total, part));
}
int64_t Percent64(int64_t total, int64_t part) { return PercentOf(total, part); }

char* SlashesToForward(char* text) { return ReplaceAll(text, '\\', '/'); }
char* SlashesToBack(char* text) { return ReplaceAll(text, '/', '\\'); }

std::string SlashesToForward(std::string text) {
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

std::string SlashesToBack(std::string text) {
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}

std::string RightStr(const std::string& s, int n) {
  if (n <= 0) return std::string();
  const auto count = static_cast<size_t>(n);
  return count >= s.size() ? s : s.substr(s.size() - count);
}

std::string LeftStr(const std::string& s, int n) {
  if (n <= 0) return std::string();
  return s.substr(0, static_cast<size_t>(n));
}

bool HasWildcards(const std::string& s) {
  // "|" (0x7C) can be the trail byte of a code page 936 character: such a name is no mask.
  return classlib::AnsiFindFirstOf(s, kWildcardChars) != std::string::npos;
}

std::string PCharToString(const char* p) { return p == nullptr ? std::string() : std::string(p); }

std::unique_ptr<char[]> StringToNewPChar(const std::string& s) {
  if (s.empty()) return nullptr;
  auto copy = std::make_unique<char[]>(s.size() + 1);
  std::memcpy(copy.get(), s.c_str(), s.size() + 1);
  return copy;
}

const char* StringToPChar(const std::string& s) { return s.c_str(); }

void TraceError(const std::string&) {}

}  // namespace kestrel::support
