// attributes.cpp — DOS attributes of files and directories by name.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

uint32_t GetFileAttributes(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES ? kInvalidAttributes : attributes;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

// By name, like the rest: a handle open for writing does not stand in the way.
bool SetOpenFileAttributes(FileHandle /*file*/, const std::string& path, uint32_t attributes,
                           bool /*created*/) {
  return SetFileAttributes(path, attributes);
}

}  // namespace kestrel::os
