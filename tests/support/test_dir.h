// test_dir.h — a scratch directory for the support tests, made and removed through the
// platform layer so the same tests run on both backends. Paths are drive paths ending in "\".
#pragma once

#include <atomic>
#include <string>

#include "platform/platform.h"

namespace kestrel::testing {

inline void RemoveTree(const std::string& dir) {
  os::FindData data;
  const os::FindHandle find = os::FindFirstFile(dir + "*.*", data);
  if (find != os::kInvalidFind) {
    do {
      if (data.name == "." || data.name == "..") continue;
      const std::string path = dir + data.name;
      if ((data.attributes & os::kAttrDirectory) != 0) {
        RemoveTree(path + "\\");
      } else {
        os::SetFileAttributes(path, os::kAttrNormal);
        os::DeleteFile(path);
      }
    } while (os::FindNextFile(find, data));
    os::FindClose(find);
  }
  os::RemoveDirectory(dir.substr(0, dir.size() - 1));
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  const os::FileHandle file = os::OpenFile(path, os::Access::Write, os::Disposition::CreateAlways);
  if (file == os::kInvalidFile) return false;
  uint32_t done = 0;
  const bool ok = bytes.empty() ||
                  (os::WriteFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), done) &&
                   done == bytes.size());
  return os::CloseFile(file) && ok;
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string ReadWholeFile(const std::string& path) {
  const os::FileHandle file = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (file == os::kInvalidFile) return "<missing>";
  std::string bytes;
  char block[4096];
  uint32_t done = 0;
  while (os::ReadFile(file, block, sizeof block, done) && done > 0) bytes.append(block, done);
  os::CloseFile(file);
  return bytes;
}

class TestDir {
 public:
  TestDir() {
    static std::atomic<unsigned> counter{0};
    const std::string base = os::TempPath();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      path_ = base + "kestrel_support_" + std::to_string(os::TickCount()) + "_" +
              std::to_string(counter++) + "\\";
      if (os::CreateDirectory(path_.substr(0, path_.size() - 1))) return;
    }
    path_.clear();
  }
  ~TestDir() {
    if (!path_.empty()) RemoveTree(path_);
  }
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }  // ends in "\"
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace kestrel::testing
