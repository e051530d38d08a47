// file_names.cpp — files and directories by name: create, remove, delete, move, copy, the
// current directory, the full and short forms of a path, and the names that open devices.
#include <string_view>

#include "platform/device_names.h"
#include "platform/win32/wide_names.h"

namespace kestrel::os {

using win32::ByName;
using win32::ByNames;
using win32::GrowingBuffer;
using win32::GrowingWideBuffer;

bool CreateDirectory(const std::string& path) {
  return ByName(
             path, FALSE, [](const char* a) { return ::CreateDirectoryA(a, nullptr); },
             [](const wchar_t* w) { return ::CreateDirectoryW(w, nullptr); }) != FALSE;
}

bool RemoveDirectory(const std::string& path) {
  return ByName(path, FALSE, ::RemoveDirectoryA, ::RemoveDirectoryW) != FALSE;
}

bool DeleteFile(const std::string& path) {
  return ByName(path, FALSE, ::DeleteFileA, ::DeleteFileW) != FALSE;
}

bool MoveFile(const std::string& from, const std::string& to) {
  return ByNames(from, to, FALSE, ::MoveFileA, ::MoveFileW) != FALSE;
}

bool MoveFileReplace(const std::string& from, const std::string& to) {
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
  return ByNames(
             from, to, FALSE,
             [](const char* a, const char* b) { return ::MoveFileExA(a, b, kFlags); },
             [](const wchar_t* a, const wchar_t* b) { return ::MoveFileExW(a, b, kFlags); }) !=
         FALSE;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const BOOL fail = failIfExists ? TRUE : FALSE;
  return ByNames(
             from, to, FALSE,
             [&](const char* a, const char* b) { return ::CopyFileA(a, b, fail); },
             [&](const wchar_t* a, const wchar_t* b) { return ::CopyFileW(a, b, fail); }) !=
         FALSE;
}

std::string GetCurrentDirectory() {
  if (win32::UseWideNames()) {
    return GrowingWideBuffer(
        [](wchar_t* b, DWORD size) { return ::GetCurrentDirectoryW(size, b); });
  }
  return GrowingBuffer([](char* b, DWORD size) { return ::GetCurrentDirectoryA(size, b); });
}

bool SetCurrentDirectory(const std::string& path) {
  return ByName(path, FALSE, ::SetCurrentDirectoryA, ::SetCurrentDirectoryW) != FALSE;
}

std::string FullPathName(const std::string& path) {
  return ByName(
      path, std::string(),
      [](const char* a) {
        return GrowingBuffer(
            [&](char* b, DWORD size) { return ::GetFullPathNameA(a, size, b, nullptr); });
      },
      [](const wchar_t* w) {
        return GrowingWideBuffer(
            [&](wchar_t* b, DWORD size) { return ::GetFullPathNameW(w, size, b, nullptr); });
      });
}

std::string ShortPathName(const std::string& path) {
  return ByName(
      path, std::string(),
      [](const char* a) {
        return GrowingBuffer(
            [&](char* b, DWORD size) { return ::GetShortPathNameA(a, b, size); });
      },
      [](const wchar_t* w) {
        return GrowingWideBuffer(
            [&](wchar_t* b, DWORD size) { return ::GetShortPathNameW(w, b, size); });
      });
}

bool NameOpensDevice(const std::string& component) { return IsWindowsDeviceName(component); }

bool CaseSensitiveNames() { return false; }

bool NamesDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

bool ReservedInNames(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
}

// Windows looks names up without regard to case itself; there is nothing to remember.
NameLookupScope::NameLookupScope() = default;
NameLookupScope::NameLookupScope(const Shared&) {}
NameLookupScope::~NameLookupScope() = default;
NameLookupScope::Shared NameLookupScope::Current() { return nullptr; }

}  // namespace kestrel::os
