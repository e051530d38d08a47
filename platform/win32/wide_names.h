// wide_names.h — names for the wide-character calls. The A calls read a name in the system's
// ANSI code page; while another page is in force on the calling thread (a CodePageScope with
// 65001, for a name the system's page cannot hold) the backend converts each name to UTF-16
// and makes the W call instead, so the file keeps its own name.
#pragma once

#include <string>

#include "platform/win32/windows_api.h"

namespace kestrel::os::win32 {

// page's text as UTF-16 (flags as MultiByteToWideChar takes them), and UTF-16 as page's text;
// with exact, a character without its own form in page fails instead of becoming the page's
// default character or a look-alike. False on failure.
bool ToWide(int page, const std::string& in, std::wstring& wide, DWORD flags);
bool FromWide(int page, const std::wstring& wide, std::string& out, bool exact);

// True while the ANSI code page in force is not the system's: names then take the W calls.
bool UseWideNames();
// A name in the ANSI code page in force as UTF-16; false (LastError
// ERROR_NO_UNICODE_TRANSLATION) when it is not valid text there.
bool WideName(const std::string& name, std::wstring& wide);
// A name the system gave in UTF-16, in the ANSI code page in force ("?" for a character
// that has no form there, as the A calls give it).
std::string NarrowName(const std::wstring& wide);

// Calls narrow(name) as it is, or wide(name in UTF-16) while UseWideNames; failed when the
// name cannot be converted.
template <typename Result, typename Narrow, typename Wide>
Result ByName(const std::string& name, Result failed, Narrow narrow, Wide wide) {
  if (!UseWideNames()) return narrow(name.c_str());
  std::wstring w;
  if (!WideName(name, w)) return failed;
  return wide(w.c_str());
}

// The same for calls that take two names.
template <typename Result, typename Narrow, typename Wide>
Result ByNames(const std::string& first, const std::string& second, Result failed,
               Narrow narrow, Wide wide) {
  if (!UseWideNames()) return narrow(first.c_str(), second.c_str());
  std::wstring w1, w2;
  if (!WideName(first, w1) || !WideName(second, w2)) return failed;
  return wide(w1.c_str(), w2.c_str());
}

// GrowingBuffer for the W calls: the text, in the ANSI code page in force.
template <typename Call>
std::string GrowingWideBuffer(Call call) {
  std::wstring buffer(MAX_PATH + 1, L'\0');
  for (;;) {
    DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return NarrowName(buffer.substr(0, n));
    buffer.resize(n + 1);
  }
}

}  // namespace kestrel::os::win32
