// attributes.cpp — DOS file attributes on a POSIX file system. Read-only is the owner's write
// permission; directory is the file type; a name starting with "." reads as hidden. Hidden,
// system and archive as set by the library are kept in the extended attribute
// "user.kestrel.dosattr" (one byte) where the file system allows it; without it a file reads
// as archive and a directory as not.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

constexpr const char* kXattrName = "user.kestrel.dosattr";
constexpr uint32_t kKeptBits = kAttrHidden | kAttrSystem | kAttrArchive;

std::string BaseName(const std::string& hostPath) {
  std::string path = hostPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Read-only is the owner's write permission (all write permissions go with it).
mode_t WantedMode(mode_t mode, uint32_t attributes) {
  return (attributes & kAttrReadOnly) ? mode & ~mode_t{0222} : mode | S_IWUSR;
}

// The result of writing the extended attribute: a file system without them is no failure.
bool KeptWritten(int result) {
  if (result != 0 && errno != ENOTSUP && errno != EPERM) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  return true;
}

}  // namespace

namespace posix {

uint32_t AttributesOf(const std::string& hostPath, const struct stat& st) {
  uint32_t attributes = 0;
  bool directory = S_ISDIR(st.st_mode);
  if (directory) attributes |= kAttrDirectory;
  if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  unsigned char kept = 0;
  if (::getxattr(hostPath.c_str(), kXattrName, &kept, 1) == 1) {
    attributes |= kept & kKeptBits;
  } else if (!directory) {
    attributes |= kAttrArchive;
  }
  std::string name = BaseName(hostPath);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= kAttrHidden;
  return attributes == 0 ? kAttrNormal : attributes;
}

}  // namespace posix

namespace {

// The attributes of path, looked up as lookups do or (exact) under its last name as spelled.
uint32_t AttributesByName(const std::string& path, bool exact) {
  std::string host;
  if (!posix::MapToHost(path, host)) return kInvalidAttributes;
  if (exact) host = posix::SpelledLastName(host, path);
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    posix::SetErrorFromErrno(errno, host);
    return kInvalidAttributes;
  }
  return posix::AttributesOf(host, st);
}

}  // namespace

uint32_t GetFileAttributes(const std::string& path) { return AttributesByName(path, false); }

uint32_t GetExactFileAttributes(const std::string& path) { return AttributesByName(path, true); }

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) {
    posix::SetErrorFromErrno(errno, host);
    return false;
  }
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = WantedMode(mode, attributes);
  if (wanted != mode && ::chmod(host.c_str(), wanted) != 0) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  unsigned char kept = static_cast<unsigned char>(attributes & kKeptBits);
  return KeptWritten(::setxattr(host.c_str(), kXattrName, &kept, 1, 0));
}

bool SetOpenFileAttributes(FileHandle file, const std::string& /*path*/, uint32_t attributes,
                           bool created) {
  const int fd = static_cast<int>(file);
  struct stat st;
  if (file < 0 || ::fstat(fd, &st) != 0) return posix::Fail(kErrorInvalidHandle);
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = WantedMode(mode, attributes);
  if (wanted != mode && ::fchmod(fd, wanted) != 0) {
    return posix::Fail(posix::ErrorFromErrno(errno));
  }
  unsigned char kept = static_cast<unsigned char>(attributes & kKeptBits);
  // A new file without the extended attribute already reads as archive and nothing else.
  if (created && !S_ISDIR(st.st_mode) && kept == kAttrArchive) return true;
  return KeptWritten(::fsetxattr(fd, kXattrName, &kept, 1, 0));
}

}  // namespace kestrel::os
