// windows_api.h — <windows.h> for the Win32 backend, with the A/W name macros that collide
// with the platform layer's own function names taken back out.
//
// platform.h names its calls after the Win32 services they stand for (GetFileAttributes,
// MessageBox, ...); <windows.h> turns those names into macros for the A/W variants. Every
// backend file includes this header instead of <windows.h> so both sets of names can live
// side by side: kestrel::os::GetFileAttributes here, ::GetFileAttributesA for the real API.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef GetFileAttributes
#undef SetFileAttributes
#undef CreateDirectory
#undef RemoveDirectory
#undef DeleteFile
#undef MoveFile
#undef CopyFile
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef FindFirstFile
#undef FindNextFile
#undef GetDriveType
#undef GetDiskFreeSpace
#undef SetVolumeLabel
#undef MessageBox
#undef AnsiToOem
#undef OemToAnsi
#undef CreateSymbolicLink

#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrel::os::win32 {

// A Win32 FILETIME as the platform layer's 64-bit tick count, and back.
inline FileTime FromFiletime(const FILETIME& ft) {
  return FileTime{(static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime};
}
inline FILETIME ToFiletime(const FileTime& t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t.ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(t.ticks >> 32);
  return ft;
}

// The handle types of the platform layer are intptr_t; Win32 uses opaque pointers.
inline HANDLE ToHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
inline std::intptr_t FromHandle(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

// Calls a Win32 function of the form DWORD f(buffer, size) that returns the length it wrote,
// or the size it needs (terminator included) when the buffer is too small, or 0 on failure;
// grows the buffer until the text fits. Empty on failure.
template <typename Call>
std::string GrowingBuffer(Call call) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

}  // namespace kestrel::os::win32
