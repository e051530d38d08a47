// wide_names.cpp — conversions between the code pages and UTF-16, and the choice between the
// A and W calls for names.
#include "platform/win32/wide_names.h"

namespace kestrel::os::win32 {

bool ToWide(int page, const std::string& in, std::wstring& wide, DWORD flags) {
  wide.clear();
  if (in.empty()) return true;
  const int n = ::MultiByteToWideChar(static_cast<UINT>(page), flags, in.data(),
                                      static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return false;
  wide.assign(static_cast<size_t>(n), L'\0');
  return ::MultiByteToWideChar(static_cast<UINT>(page), flags, in.data(),
                               static_cast<int>(in.size()), wide.data(), n) == n;
}

bool FromWide(int page, const std::wstring& wide, std::string& out, bool exact) {
  out.clear();
  if (wide.empty()) return true;
  const UINT cp = static_cast<UINT>(page);
  // UTF-8 takes neither flag nor the default-character query.
  const bool utf8 = page == kUtf8CodePage;
  const DWORD flags = utf8 ? (exact ? WC_ERR_INVALID_CHARS : 0)
                           : (exact ? WC_NO_BEST_FIT_CHARS : 0);
  BOOL usedDefault = FALSE;
  BOOL* used = (utf8 || !exact) ? nullptr : &usedDefault;
  const int n = ::WideCharToMultiByte(cp, flags, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, used);
  if (n <= 0 || usedDefault) return false;
  out.assign(static_cast<size_t>(n), '\0');
  return ::WideCharToMultiByte(cp, flags, wide.data(), static_cast<int>(wide.size()),
                               out.data(), n, nullptr, used) == n &&
         !usedDefault;
}

bool UseWideNames() { return AnsiCodePage() != static_cast<int>(::GetACP()); }

bool WideName(const std::string& name, std::wstring& wide) {
  if (ToWide(AnsiCodePage(), name, wide, MB_ERR_INVALID_CHARS)) return true;
  ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return false;
}

std::string NarrowName(const std::wstring& wide) {
  std::string out;
  FromWide(AnsiCodePage(), wide, out, false);
  return out;
}

}  // namespace kestrel::os::win32
