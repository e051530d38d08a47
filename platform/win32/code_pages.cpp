// code_pages.cpp — the ANSI and OEM code pages (the system's, or the calling thread's while a
// CodePageScope is open) and conversions between code pages through UTF-16.
#include "platform/win32/wide_names.h"

#include <cstring>
#include <vector>

#include "platform/code_page_scope.h"

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

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool Convert(int from, int to, const std::string& in, std::string& out, bool exact) {
  if (from == to || IsAscii(in)) {
    out = in;
    return true;
  }
  if (!IsCodePageSupported(from) || !IsCodePageSupported(to)) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::wstring wide;
  if (!win32::ToWide(from, in, wide, exact ? MB_ERR_INVALID_CHARS : 0) ||
      !win32::FromWide(to, wide, out, exact)) {
    ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  return true;
}

bool SystemPagesInForce() {
  return AnsiCodePage() == static_cast<int>(::GetACP()) &&
         OemCodePage() == static_cast<int>(::GetOEMCP());
}

}  // namespace

std::string AnsiToOem(const std::string& text) {
  if (!SystemPagesInForce()) {
    std::string out;
    return Convert(AnsiCodePage(), OemCodePage(), text, out, false) ? out : text;
  }
  return ConvertText(text, [](const char* in, char* out) { return ::CharToOemA(in, out); });
}

std::string OemToAnsi(const std::string& text) {
  if (!SystemPagesInForce()) {
    std::string out;
    return Convert(OemCodePage(), AnsiCodePage(), text, out, false) ? out : text;
  }
  return ConvertText(text, [](const char* in, char* out) { return ::OemToCharA(in, out); });
}

int AnsiCodePage() {
  const int scoped = detail::ScopedAnsiCodePage();
  return scoped != 0 ? scoped : static_cast<int>(::GetACP());
}

int OemCodePage() {
  const int scoped = detail::ScopedOemCodePage();
  return scoped != 0 ? scoped : static_cast<int>(::GetOEMCP());
}

bool IsCodePageSupported(int page) {
  return page > 0 && ::IsValidCodePage(static_cast<UINT>(page)) != 0;
}

bool ConvertCodePage(int from, int to, const std::string& in, std::string& out) {
  return Convert(from, to, in, out, true);
}

}  // namespace kestrel::os
