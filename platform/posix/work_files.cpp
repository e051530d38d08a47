// work_files.cpp — work files written beside a file they will replace (an update's new archive),
// named prefix + hex + "-" + pid + ".tmp". The process id lets a later run tell the files of a
// killed process, which no one would ever remove, from those of a process still at work.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

constexpr std::string_view kSuffix = ".tmp";

// prefix + number in hex (up to FFFF, as Windows' temporary names) + "-" + our process id +
// ".tmp".
std::string TaggedName(std::string_view prefix, uint32_t number) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%X", number & 0xFFFFu);
  return std::string(prefix) + hex + "-" + std::to_string(::getpid()) + std::string(kSuffix);
}

bool IsHex(std::string_view text) {
  return !text.empty() && text.size() <= 4 &&
         text.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

// The process id in a name TaggedName gives, or 0 for any other name.
pid_t OwnerOf(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || !name.ends_with(kSuffix)) return 0;
  name = name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos || !IsHex(name.substr(0, dash))) return 0;
  const std::string_view digits = name.substr(dash + 1);
  if (digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return 0;
  }
  pid_t pid = 0;
  for (char c : digits) pid = pid * 10 + (c - '0');
  return pid;
}

// Removes the work files in hostDir of this user's processes that no longer run. A process id
// taken again by another process keeps its file until that one ends too. errno is kept.
void RemoveOrphans(const std::string& hostDir, std::string_view prefix) {
  const int saved = errno;
  if (DIR* dir = ::opendir(hostDir.c_str())) {
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(dir)) {
      const pid_t owner = OwnerOf(entry->d_name, prefix);
      if (owner <= 0 || owner == self) continue;
      if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
      const std::string path = hostDir + "/" + entry->d_name;
      struct stat st;
      if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        continue;
      if (::unlink(path.c_str()) == 0) posix::NoteRemoved(path);
    }
    ::closedir(dir);
  }
  errno = saved;
}

}  // namespace

std::string WorkFileName(const std::string& dir, const std::string& prefix) {
  if (dir.empty()) {
    SetLastError(kErrorInvalidParameter);
    return {};
  }
  std::string base = dir;
  if (base.back() != '\\') base += '\\';
  std::string hostDir;
  if (!posix::MapToHost(base, hostDir)) return {};
  RemoveOrphans(hostDir, prefix);
  auto nameOf = [&](uint32_t number) { return base + TaggedName(prefix, number); };
  if (nameOf(0xFFFF).size() >= kMaxPath) {
    SetLastError(kErrorFilenameTooLong);
    return {};
  }
  return posix::ClaimTempName(nameOf);
}

namespace host {

std::string ClaimWorkFile(const std::string& dir) {
  constexpr std::string_view kPrefix = ".kestrel-";
  RemoveOrphans(dir.empty() ? std::string(".") : dir, kPrefix);
  const std::string stem = dir.empty() || dir.back() == '/' ? dir : dir + "/";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint32_t n = 0;
    if (!RandomBytes(&n, sizeof n)) return std::string();
    const std::string name = stem + TaggedName(kPrefix, n);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return std::string();
  }
  return std::string();
}

}  // namespace host

}  // namespace kestrel::os
