// temp_names.cpp — the temporary directory and temporary file names.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

std::string TempPath() {
  return win32::GrowingBuffer([](char* b, DWORD size) { return ::GetTempPathA(size, b); });
}

std::string TempFileName(const std::string& dir, const std::string& prefix, uint32_t unique) {
  // GetTempFileNameA writes up to MAX_PATH characters and fails for a directory too long to
  // leave room for the name.
  char name[MAX_PATH + 1] = {};
  if (::GetTempFileNameA(dir.c_str(), prefix.c_str(), unique, name) == 0) return {};
  return name;
}

std::string WorkFileName(const std::string& dir, const std::string& prefix) {
  return TempFileName(dir, prefix, 0);
}

}  // namespace kestrel::os
