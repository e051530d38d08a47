// scratch_dir.h — a fresh directory under the temporary directory for one test, removed
// with everything in it afterwards. Uses the Win32 API directly, not the layer under test.
#pragma once

#include <windows.h>

#include <string>

#include "answerer/win_files.h"

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
    return WriteWholeFile(path, content);
  }

 private:
  static void Remove(const std::string& dir) {
    EmptyDirectory(dir);
    RemoveDirectoryA(dir.substr(0, dir.size() - 1).c_str());
  }

  std::string path_;
};

}  // namespace kestrel::wintest
