// file_names.cpp — files and directories by name: create, remove, delete, move, copy, the
// current directory, the full and short forms of a path, and the names that open devices.
#include <string_view>

#include "platform/device_names.h"
#include "platform/win32/windows_api.h"

namespace kestrel::os {

using win32::GrowingBuffer;

bool CreateDirectory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveDirectory(const std::string& path) {
  return ::RemoveDirectoryA(path.c_str()) != FALSE;
}

bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }

bool MoveFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

std::string GetCurrentDirectory() {
  return GrowingBuffer([](char* b, DWORD size) { return ::GetCurrentDirectoryA(size, b); });
}

bool SetCurrentDirectory(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

std::string FullPathName(const std::string& path) {
  return GrowingBuffer([&](char* b, DWORD size) {
    return ::GetFullPathNameA(path.c_str(), size, b, nullptr);
  });
}

std::string ShortPathName(const std::string& path) {
  return GrowingBuffer(
      [&](char* b, DWORD size) { return ::GetShortPathNameA(path.c_str(), b, size); });
}

bool NameOpensDevice(const std::string& component) { return IsWindowsDeviceName(component); }

bool CaseSensitiveNames() { return false; }

bool ReservedInNames(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
}

// Windows looks names up without regard to case itself; there is nothing to remember.
NameLookupScope::NameLookupScope() = default;
NameLookupScope::~NameLookupScope() = default;

}  // namespace kestrel::os
