// temp_names.cpp — the temporary directory and temporary file names.
#include "platform/win32/wide_names.h"

namespace kestrel::os {

std::string TempPath() {
  if (win32::UseWideNames()) {
    return win32::GrowingWideBuffer(
        [](wchar_t* b, DWORD size) { return ::GetTempPathW(size, b); });
  }
  return win32::GrowingBuffer([](char* b, DWORD size) { return ::GetTempPathA(size, b); });
}

std::string TempFileName(const std::string& dir, const std::string& prefix, uint32_t unique) {
  // GetTempFileNameA writes up to MAX_PATH characters and fails for a directory too long to
  // leave room for the name.
  return win32::ByNames(
      dir, prefix, std::string(),
      [&](const char* d, const char* p) {
        char name[MAX_PATH + 1] = {};
        return ::GetTempFileNameA(d, p, unique, name) == 0 ? std::string() : std::string(name);
      },
      [&](const wchar_t* d, const wchar_t* p) {
        wchar_t name[MAX_PATH + 1] = {};
        return ::GetTempFileNameW(d, p, unique, name) == 0 ? std::string()
                                                           : win32::NarrowName(name);
      });
}

std::string WorkFileName(const std::string& dir, const std::string& prefix) {
  return TempFileName(dir, prefix, 0);
}

}  // namespace kestrel::os
