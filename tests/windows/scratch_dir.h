// scratch_dir.h — a fresh directory under the temporary directory for one test, removed
// with everything in it afterwards. Uses the Win32 API directly, not the layer under test.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::wintest {

class ScratchDir {
 public:
  ScratchDir() {
    char temp[MAX_PATH + 1];
    GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    path_ = std::string(temp) + "kestrel_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(++counter);
    CreateDirectoryA(path_.c_str(), nullptr);
    path_ += "\\";
  }
  ~ScratchDir() { Remove(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }  // ends in "\"
  std::string operator/(const std::string& name) const { return path_ + name; }

  // Writes a file with the given content through the Win32 API.
  static bool Write(const std::string& path, const std::string& content) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    BOOL ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    CloseHandle(h);
    return ok && done == content.size();
  }

 private:
  static void Remove(const std::string& dir) {
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = d.cFileName;
        if (name == "." || name == "..") continue;
        std::string full = dir + name;
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          Remove(full + "\\");
        } else {
          DeleteFileA(full.c_str());
        }
      } while (FindNextFileA(h, &d));
      FindClose(h);
    }
    RemoveDirectoryA(dir.substr(0, dir.size() - 1).c_str());
  }

  std::string path_;
};

}  // namespace kestrel::wintest
