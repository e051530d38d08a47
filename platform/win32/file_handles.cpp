// file_handles.cpp — open, read, write, seek, truncate, flush and close files through Win32 handles.
#include "platform/win32/wide_names.h"

namespace kestrel::os {

using win32::FromHandle;
using win32::ToHandle;

FileHandle OpenFile(const std::string& path, Access access, Disposition disposition) {
  DWORD desired = 0;
  switch (access) {
    case Access::Read: desired = GENERIC_READ; break;
    case Access::Write: desired = GENERIC_WRITE; break;
    case Access::ReadWrite: desired = GENERIC_READ | GENERIC_WRITE; break;
  }
  DWORD creation = OPEN_EXISTING;
  switch (disposition) {
    case Disposition::CreateAlways: creation = CREATE_ALWAYS; break;
    case Disposition::CreateNew: creation = CREATE_NEW; break;
    case Disposition::OpenExisting: creation = OPEN_EXISTING; break;
    case Disposition::OpenAlways: creation = OPEN_ALWAYS; break;
  }
  HANDLE h = win32::ByName(
      path, INVALID_HANDLE_VALUE,
      [&](const char* a) {
        return ::CreateFileA(a, desired, FILE_SHARE_READ, nullptr, creation,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      },
      [&](const wchar_t* w) {
        return ::CreateFileW(w, desired, FILE_SHARE_READ, nullptr, creation,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      });
  return h == INVALID_HANDLE_VALUE ? kInvalidFile : FromHandle(h);
}

bool ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  DWORD got = 0;
  BOOL ok = ::ReadFile(ToHandle(file), buffer, count, &got, nullptr);
  done = got;
  return ok != FALSE;
}

bool WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t& done) {
  DWORD put = 0;
  BOOL ok = ::WriteFile(ToHandle(file), buffer, count, &put, nullptr);
  done = put;
  if (ok && put < count) {
    // A short write without an error is how a full disk shows through some file systems.
    ::SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return ok != FALSE;
}

int64_t SeekFile(FileHandle file, int64_t offset, SeekFrom from) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  DWORD method = from == SeekFrom::Begin     ? FILE_BEGIN
                 : from == SeekFrom::Current ? FILE_CURRENT
                                             : FILE_END;
  if (!::SetFilePointerEx(ToHandle(file), distance, &position, method)) return -1;
  return position.QuadPart;
}

int64_t FileSize(FileHandle file) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(ToHandle(file), &size)) return -1;
  return size.QuadPart;
}

bool SetEndOfFile(FileHandle file) { return ::SetEndOfFile(ToHandle(file)) != FALSE; }

bool FlushFileBuffers(FileHandle file) { return ::FlushFileBuffers(ToHandle(file)) != FALSE; }

bool CloseFile(FileHandle file) {
  if (file == kInvalidFile) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::CloseHandle(ToHandle(file)) != FALSE;
}

}  // namespace kestrel::os
