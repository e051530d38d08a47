// unix_metadata.cpp — what Linux keeps beyond the DOS attributes: modes, symbolic links,
// exact modification times, file identities, and the check that no symbolic link stands
// between an extraction's destination and the file it is about to write.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

// Closes a descriptor on every way out.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int f) : fd(f) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void Reset(int f) {
    if (fd >= 0) ::close(fd);
    fd = f;
  }
};

}  // namespace

bool KeepsUnixMetadata() { return true; }

bool GetUnixStat(const std::string& path, UnixStat& out, bool followLink) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  struct stat st;
  if ((followLink ? ::stat(host.c_str(), &st) : ::lstat(host.c_str(), &st)) != 0) {
    // Callers ask whether something is there; telling "path not found" apart would cost a
    // second stat for every name an extraction is about to create.
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  out.mode = st.st_mode;
  out.mtime = st.st_mtim.tv_sec;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  return true;
}

bool ReadSymbolicLink(const std::string& path, std::string& target) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink(host.c_str(), buffer, sizeof buffer);
  if (n < 0) {
    posix::SetErrorFromErrno(errno, host);
    return false;
  }
  if (static_cast<size_t>(n) >= sizeof buffer) return posix::Fail(kErrorFilenameTooLong);
  target.assign(buffer, static_cast<size_t>(n));
  return true;
}

bool CreateSymbolicLink(const std::string& path, const std::string& target) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  if (target.empty() || target.find('\0') != std::string::npos) {
    return posix::Fail(kErrorInvalidName);
  }
  if (::symlink(target.c_str(), host.c_str()) == 0) {
    posix::NoteCreated(host);
    return true;
  }
  if (errno != EEXIST) return posix::Fail(posix::ErrorFromErrno(errno));
  // Only a link is replaced (a new one made beside it and renamed over it); a file or a
  // directory of that name stays.
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    return posix::Fail(kErrorAlreadyExists);
  }
  const std::string beside = host + ".kstlink";
  ::unlink(beside.c_str());
  if (::symlink(target.c_str(), beside.c_str()) != 0 ||
      ::rename(beside.c_str(), host.c_str()) != 0) {
    const int err = errno;
    ::unlink(beside.c_str());
    return posix::Fail(posix::ErrorFromErrno(err));
  }
  return true;
}

bool SetUnixModeAndTime(const std::string& path, const uint32_t* mode, const int64_t* mtime) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  struct stat st;
  if (::lstat(host.c_str(), &st) != 0) return posix::Fail(posix::ErrorFromErrno(errno));
  // Links have no mode of their own on Linux; only their time is set. A mode already right
  // (most directories are made with it) is not written again.
  if (mode != nullptr && !S_ISLNK(st.st_mode) && (st.st_mode & 07777) != (*mode & 07777) &&
      ::chmod(host.c_str(), *mode & 07777) != 0) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  if (mtime == nullptr) return true;
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(*mtime), 0}};
  if (::utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  return true;
}

bool SetOpenFileMode(FileHandle file, uint32_t mode) {
  // Most files are created with the mode they are given: reading it is cheaper than writing
  // the inode again.
  struct stat st;
  if (file < 0 || ::fstat(static_cast<int>(file), &st) != 0) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  if ((st.st_mode & 07777) == (mode & 07777)) return true;
  if (::fchmod(static_cast<int>(file), mode & 07777) != 0) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  return true;
}

bool ResolvesInside(const std::string& path, const std::string& directory) {
  std::string hostPath, hostDir;
  if (!posix::MapToHost(path, hostPath) || !posix::MapToHost(directory, hostDir)) return false;
  char resolvedPath[PATH_MAX], resolvedDir[PATH_MAX];
  if (::realpath(hostPath.c_str(), resolvedPath) == nullptr ||
      ::realpath(hostDir.c_str(), resolvedDir) == nullptr)
    return false;
  const std::string inner = resolvedPath, outer = resolvedDir;
  if (outer == "/") return true;
  return inner == outer || (inner.size() > outer.size() &&
                            inner.compare(0, outer.size(), outer) == 0 &&
                            inner[outer.size()] == '/');
}

uint32_t CreationMask() {
  // /proc tells the mask without changing it: setting it to read it back would, for that
  // moment, give the files other threads create the wrong mode.
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    unsigned long mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %lo", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<uint32_t>(mask & 0777);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

bool LinkInPath(const std::string& base, const std::string& relative) {
  std::string hostBase, hostFull;
  if (!posix::MapToHost(base, hostBase)) return true;
  std::string joined = base;
  if (joined.empty() || joined.back() != '\\') joined += '\\';
  // The mapped full path spells each existing component as it is on disk (another case than
  // the entry's may be found), so the check looks at what the write would reach.
  if (!posix::MapToHost(joined + relative, hostFull)) return false;  // the write fails anyway
  if (hostBase.back() != '/') hostBase += '/';
  if (hostFull + '/' == hostBase || hostFull == hostBase) return false;  // "." is base itself
  if (hostFull.compare(0, hostBase.size(), hostBase) != 0) return true;
  Descriptor dir(::open(hostBase.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd < 0) return true;
  size_t start = hostBase.size();
  while (start < hostFull.size()) {
    size_t end = hostFull.find('/', start);
    if (end == std::string::npos) end = hostFull.size();
    const std::string name = hostFull.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    struct stat st;
    if (::fstatat(dir.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return errno != ENOENT;  // missing: created later as a real directory or file
    }
    if (S_ISLNK(st.st_mode)) return true;
    if (end == hostFull.size()) return false;
    const int next = ::openat(dir.fd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return errno != ENOTDIR;  // a file in the way fails the write by itself
    dir.Reset(next);
  }
  return false;
}

}  // namespace kestrel::os
