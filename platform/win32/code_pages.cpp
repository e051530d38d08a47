// code_pages.cpp — the ANSI and OEM code pages of the system and the conversions between
// them (CharToOemA / OemToCharA).
#include "platform/win32/windows_api.h"

#include <cstring>
#include <vector>

namespace kestrel::os {

namespace {

// Both calls convert a zero-terminated string through Unicode; a character of one code page
// never takes more bytes in the other than twice its own, so the doubled buffer always fits.
template <typename Convert>
std::string ConvertText(const std::string& text, Convert convert) {
  std::vector<char> out(text.size() * 2 + 1, '\0');
  if (!convert(text.c_str(), out.data())) return text;
  return std::string(out.data(), std::strlen(out.data()));
}

}  // namespace

std::string AnsiToOem(const std::string& text) {
  return ConvertText(text, [](const char* in, char* out) { return ::CharToOemA(in, out); });
}

std::string OemToAnsi(const std::string& text) {
  return ConvertText(text, [](const char* in, char* out) { return ::OemToCharA(in, out); });
}

int AnsiCodePage() { return static_cast<int>(::GetACP()); }
int OemCodePage() { return static_cast<int>(::GetOEMCP()); }

}  // namespace kestrel::os
