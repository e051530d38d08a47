// volume_file.h — an owned file handle for the volume set, closed on every path out, and a
// guard that removes a file the operation created unless the operation completes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace kestrel::exports {

class VolumeFile {
 public:
  VolumeFile() = default;
  explicit VolumeFile(os::FileHandle handle) : handle_(handle) {}
  VolumeFile(VolumeFile&& other) noexcept : handle_(std::exchange(other.handle_, os::kInvalidFile)) {}
  VolumeFile& operator=(VolumeFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, os::kInvalidFile);
    }
    return *this;
  }
  VolumeFile(const VolumeFile&) = delete;
  VolumeFile& operator=(const VolumeFile&) = delete;
  ~VolumeFile() { Close(); }

  static VolumeFile OpenRead(const std::string& path) {
    return VolumeFile(os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting));
  }
  static VolumeFile Create(const std::string& path) {
    return VolumeFile(os::OpenFile(path, os::Access::Write, os::Disposition::CreateAlways));
  }

  explicit operator bool() const { return handle_ != os::kInvalidFile; }
  os::FileHandle handle() const { return handle_; }

  // False when closing failed (buffered data may not have reached the disk).
  bool Close() {
    if (handle_ == os::kInvalidFile) return true;
    return os::CloseFile(std::exchange(handle_, os::kInvalidFile));
  }
  // Reads up to count bytes; done is 0 at the end of the file. False on a read error.
  bool Read(void* buffer, uint32_t count, uint32_t& done) {
    done = 0;
    return os::ReadFile(handle_, buffer, count, done);
  }
  // True only when exactly count bytes were read.
  bool ReadExact(void* buffer, uint32_t count) {
    uint32_t done = 0;
    return Read(buffer, count, done) && done == count;
  }
  // True only when all count bytes were written.
  bool WriteAll(const void* buffer, uint32_t count) {
    uint32_t done = 0;
    return os::WriteFile(handle_, buffer, count, done) && done == count;
  }
  int64_t Size() const { return os::FileSize(handle_); }

 private:
  os::FileHandle handle_ = os::kInvalidFile;
};

// Deletes path on destruction unless Keep() was called; Arm() starts guarding. Declare it
// before the VolumeFile it guards, so the file is closed before it is deleted.
class RemoveUnlessKept {
 public:
  RemoveUnlessKept() = default;
  RemoveUnlessKept(const RemoveUnlessKept&) = delete;
  RemoveUnlessKept& operator=(const RemoveUnlessKept&) = delete;
  ~RemoveUnlessKept() {
    if (armed_) os::DeleteFile(path_);
  }
  void Arm(const std::string& path) {
    path_ = path;
    armed_ = true;
  }
  void Keep() { armed_ = false; }

 private:
  std::string path_;
  bool armed_ = false;
};

}  // namespace kestrel::exports
