// drive_table.cpp — the table that maps drive letters to host directories. By default C: is
// the host's root "/"; a host may map other letters, and make one an emulated floppy.
#include <unistd.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <mutex>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {
namespace posix {

namespace {

std::mutex mutex;

std::array<Drive, 26> MakeDefaultTable() {
  std::array<Drive, 26> table{};
  table['C' - 'A'] = Drive{true, false, "/"};
  return table;
}

std::array<Drive, 26>& Table() {
  static std::array<Drive, 26> table = MakeDefaultTable();
  return table;
}

int Index(char letter) {
  int c = std::toupper(static_cast<unsigned char>(letter));
  return c >= 'A' && c <= 'Z' ? c - 'A' : -1;
}

}  // namespace

Drive DriveOf(char letter) {
  int index = Index(letter);
  if (index < 0) return Drive{};
  const CallState& call = ThreadCall();
  if (call.active) {
    if (index == 'C' - 'A') return Drive{true, false, "/"};
    if (index != 'A' - 'A') return Drive{};
    if (call.floppy.folder != nullptr) {
      return call.floppy.folder->empty() ? Drive{} : Drive{true, true, *call.floppy.folder};
    }
    if (!call.floppy.host) return Drive{};
  }
  std::lock_guard<std::mutex> lock(mutex);
  return Table()[index];
}

char CurrentDriveLetter() {
  std::string drivePath;
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd) != nullptr && host::DrivePath(cwd, drivePath)) {
    return drivePath[0];
  }
  return 'C';
}

}  // namespace posix

namespace host {

bool DriveFolder(const std::string& hostDir, std::string& normal) {
  if (hostDir.empty()) return posix::Fail(kErrorInvalidParameter);
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::absolute(hostDir, ec);
  if (ec) return posix::Fail(kErrorInvalidParameter);
  if (!std::filesystem::is_directory(dir, ec)) return posix::Fail(kErrorPathNotFound);
  normal = dir.lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return true;
}

bool MapDrive(char letter, const std::string& hostDir, bool removable) {
  int index = posix::Index(letter);
  if (index < 0) return posix::Fail(kErrorInvalidParameter);
  std::string normal;
  if (!DriveFolder(hostDir, normal)) return false;
  std::lock_guard<std::mutex> lock(posix::mutex);
  posix::Table()[index] = posix::Drive{true, removable, normal};
  return true;
}

void UnmapDrive(char letter) {
  int index = posix::Index(letter);
  if (index < 0) return;
  std::lock_guard<std::mutex> lock(posix::mutex);
  posix::Table()[index] = posix::Drive{};
}

}  // namespace host
}  // namespace kestrel::os
