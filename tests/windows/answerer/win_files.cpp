// win_files.cpp — the test programs' own file helpers.
#include "answerer/win_files.h"

#include <windows.h>

namespace kestrel::wintest {

std::string ReadWholeFile(const std::string& path) {
  std::string bytes;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(h);
  return ok && done == bytes.size();
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void EmptyDirectory(const std::string& dir) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = d.cFileName;
    if (name == "." || name == "..") continue;
    std::string full = dir + name;
    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      EmptyDirectory(full + "\\");
      RemoveDirectoryA(full.c_str());
    } else {
      DeleteFileA(full.c_str());
    }
  } while (FindNextFileA(h, &d));
  FindClose(h);
}

}  // namespace kestrel::wintest
