// attributes.cpp — DOS attributes of files and directories by name.
#include "platform/win32/wide_names.h"

namespace kestrel::os {

uint32_t GetFileAttributes(const std::string& path) {
  const DWORD attributes = win32::ByName(path, INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA,
                                         ::GetFileAttributesW);
  return attributes == INVALID_FILE_ATTRIBUTES ? kInvalidAttributes : attributes;
}

uint32_t GetExactFileAttributes(const std::string& path) { return GetFileAttributes(path); }

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  return win32::ByName(
             path, FALSE, [&](const char* a) { return ::SetFileAttributesA(a, attributes); },
             [&](const wchar_t* w) { return ::SetFileAttributesW(w, attributes); }) != FALSE;
}

// By name, like the rest: a handle open for writing does not stand in the way.
bool SetOpenFileAttributes(FileHandle /*file*/, const std::string& path, uint32_t attributes,
                           bool /*created*/) {
  return SetFileAttributes(path, attributes);
}

}  // namespace kestrel::os
