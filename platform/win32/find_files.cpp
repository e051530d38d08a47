// find_files.cpp — directory search by name mask (FindFirstFileA / FindNextFileA, or their W
// forms while a code page other than the system's is in force: a search handle serves both).
#include "platform/win32/wide_names.h"

namespace kestrel::os {

using win32::FromFiletime;
using win32::FromHandle;
using win32::ToHandle;

namespace {

template <typename Data>
void FillCommon(const Data& w, FindData& data) {
  data.attributes = w.dwFileAttributes;
  data.creation = FromFiletime(w.ftCreationTime);
  data.access = FromFiletime(w.ftLastAccessTime);
  data.lastWrite = FromFiletime(w.ftLastWriteTime);
  data.size = (static_cast<uint64_t>(w.nFileSizeHigh) << 32) | w.nFileSizeLow;
}

void Fill(const WIN32_FIND_DATAA& w, FindData& data) {
  FillCommon(w, data);
  data.name = w.cFileName;
  data.alternateName = w.cAlternateFileName;
}

void Fill(const WIN32_FIND_DATAW& w, FindData& data) {
  FillCommon(w, data);
  data.name = win32::NarrowName(w.cFileName);
  data.alternateName = win32::NarrowName(w.cAlternateFileName);
}

}  // namespace

FindHandle FindFirstFile(const std::string& pattern, FindData& data) {
  WIN32_FIND_DATAA a;
  WIN32_FIND_DATAW w;
  const bool wide = win32::UseWideNames();
  HANDLE h = win32::ByName(
      pattern, INVALID_HANDLE_VALUE, [&](const char* p) { return ::FindFirstFileA(p, &a); },
      [&](const wchar_t* p) { return ::FindFirstFileW(p, &w); });
  if (h == INVALID_HANDLE_VALUE) return kInvalidFind;
  if (wide) {
    Fill(w, data);
  } else {
    Fill(a, data);
  }
  return FromHandle(h);
}

bool FindNextFile(FindHandle find, FindData& data) {
  if (win32::UseWideNames()) {
    WIN32_FIND_DATAW w;
    if (!::FindNextFileW(ToHandle(find), &w)) return false;
    Fill(w, data);
    return true;
  }
  WIN32_FIND_DATAA a;
  if (!::FindNextFileA(ToHandle(find), &a)) return false;
  Fill(a, data);
  return true;
}

bool FindClose(FindHandle find) {
  if (find == kInvalidFind) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::FindClose(ToHandle(find)) != FALSE;
}

}  // namespace kestrel::os
