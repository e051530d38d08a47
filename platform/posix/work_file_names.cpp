// work_file_names.cpp — the component's work files (drive paths, a prefix of its own) named with
// their process id, so that those of a process killed mid-update are removed by the next run.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

constexpr size_t kMaxPath = 260;  // the callers' path buffers, terminator included
constexpr std::string_view kSuffix = ".tmp";

bool IsHex(std::string_view text) {
  return !text.empty() && text.size() <= 4 &&
         text.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

// The process id in a name of the form prefix + hex + "-" + pid + ".tmp", or 0.
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

// Removes the work files in hostDir of this user's processes that no longer run. A process
// id taken again by another process keeps its file until that one ends too.
void RemoveOrphans(const std::string& hostDir, std::string_view prefix) {
  DIR* dir = ::opendir(hostDir.c_str());
  if (dir == nullptr) return;
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(dir)) {
    const pid_t owner = OwnerOf(entry->d_name, prefix);
    if (owner <= 0 || owner == self) continue;
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    const std::string path = hostDir + "/" + entry->d_name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      continue;
    }
    if (::unlink(path.c_str()) == 0) posix::NoteRemoved(path);
  }
  ::closedir(dir);
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
  const std::string tag = "-" + std::to_string(::getpid()) + std::string(kSuffix);
  auto nameOf = [&](uint32_t number) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    return base + prefix + hex + tag;
  };
  if (nameOf(0xFFFF).size() >= kMaxPath) {
    SetLastError(kErrorFilenameTooLong);
    return {};
  }
  return posix::ClaimTempName(nameOf);
}

}  // namespace kestrel::os
