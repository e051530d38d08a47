// work_files.cpp — names for the work files a commit writes beside an archive. Each name
// carries the process id, so a later run can tell the files of a killed process (which no one
// will ever remove) from those of a process still at work, and removes the former.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace kestrel::os::host {

namespace {

constexpr char kPrefix[] = ".kestrel-";
constexpr char kSuffix[] = ".tmp";

// The process id in a work file name ".kestrel-<pid>-<n>.tmp", or 0 for any other name.
pid_t OwnerOf(const std::string& name) {
  const std::string prefix = kPrefix, suffix = kSuffix;
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return 0;
  const char* digits = name.c_str() + prefix.size();
  char* end = nullptr;
  const long pid = std::strtol(digits, &end, 10);
  if (end == digits || *end != '-' || pid <= 0) return 0;
  return static_cast<pid_t>(pid);
}

// A process that exists, even one we may not signal, still owns its files.
bool Running(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

void RemoveStale(const std::string& dir) {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  const int fd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const pid_t owner = OwnerOf(entry->d_name);
    if (owner != 0 && owner != ::getpid() && !Running(owner)) ::unlinkat(fd, entry->d_name, 0);
  }
  ::closedir(listing);
}

}  // namespace

std::string ClaimWorkFile(const std::string& dir) {
  const int saved = errno;
  RemoveStale(dir);
  errno = saved;
  const std::string stem = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + kPrefix +
                           std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint32_t n = 0;
    if (!RandomBytes(&n, sizeof n)) return std::string();
    const std::string name = stem + std::to_string(n) + kSuffix;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return std::string();
  }
  return std::string();
}

}  // namespace kestrel::os::host
