// find_files.cpp — directory search by name mask (FindFirstFileA / FindNextFileA).
#include "platform/win32/windows_api.h"

namespace kestrel::os {

using win32::FromFiletime;
using win32::FromHandle;
using win32::ToHandle;

namespace {

void Fill(const WIN32_FIND_DATAA& w, FindData& data) {
  data.attributes = w.dwFileAttributes;
  data.creation = FromFiletime(w.ftCreationTime);
  data.access = FromFiletime(w.ftLastAccessTime);
  data.lastWrite = FromFiletime(w.ftLastWriteTime);
  data.size = (static_cast<uint64_t>(w.nFileSizeHigh) << 32) | w.nFileSizeLow;
  data.name = w.cFileName;
  data.alternateName = w.cAlternateFileName;
}

}  // namespace

FindHandle FindFirstFile(const std::string& pattern, FindData& data) {
  WIN32_FIND_DATAA w;
  HANDLE h = ::FindFirstFileA(pattern.c_str(), &w);
  if (h == INVALID_HANDLE_VALUE) return kInvalidFind;
  Fill(w, data);
  return FromHandle(h);
}

bool FindNextFile(FindHandle find, FindData& data) {
  WIN32_FIND_DATAA w;
  if (!::FindNextFileA(ToHandle(find), &w)) return false;
  Fill(w, data);
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
