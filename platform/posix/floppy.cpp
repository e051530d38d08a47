// floppy.cpp — the accounting of an emulated 1.44 MB floppy: the bytes its directory tree
// uses in whole 512-byte clusters, and which open handles live on one (their writes are
// capped at the free space).
#include <sys/stat.h>

#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "platform/posix/posix_internal.h"

namespace kestrel::os::posix {

namespace {
std::mutex mutex;
std::unordered_map<int, char> floppyHandles;  // fd -> drive letter
}  // namespace

uint64_t FloppyBytesUsed(const std::string& hostDir) {
  namespace fs = std::filesystem;
  uint64_t clusters = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(hostDir, ec), end; !ec && it != end;
       it.increment(ec)) {
    struct stat st;
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    clusters += S_ISDIR(st.st_mode) ? 1 : Clusters(static_cast<uint64_t>(st.st_size));
  }
  return clusters * kClusterSize;
}

void RegisterFloppyHandle(int fd, char letter) {
  std::lock_guard<std::mutex> lock(mutex);
  floppyHandles[fd] = letter;
}

void ForgetHandle(int fd) {
  std::lock_guard<std::mutex> lock(mutex);
  floppyHandles.erase(fd);
}

char FloppyDriveOfHandle(int fd) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = floppyHandles.find(fd);
  return it == floppyHandles.end() ? 0 : it->second;
}

uint64_t FloppyMaxFileSize(int fd) {
  char letter = FloppyDriveOfHandle(fd);
  struct stat st;
  if (letter == 0 || ::fstat(fd, &st) != 0) return UINT64_MAX;
  Drive drive = DriveOf(letter);
  if (!drive.mapped) return 0;
  uint64_t used = FloppyBytesUsed(drive.hostDir);
  uint64_t own = Clusters(static_cast<uint64_t>(st.st_size)) * kClusterSize;
  uint64_t free = used >= host::kFloppyCapacity ? 0 : host::kFloppyCapacity - used;
  return own + free;
}

}  // namespace kestrel::os::posix
