// errors.cpp — the calling thread's last Win32-style error code, and errno translation.
#include <cerrno>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {
thread_local uint32_t lastError = kErrorSuccess;
}

uint32_t LastError() { return lastError; }
void SetLastError(uint32_t code) { lastError = code; }

namespace posix {

uint32_t ErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    // Windows has no words for these two and says "path not found" and "access denied"; the
    // true reason tells a user which file or folder is in the way.
    case ENOTDIR: return kErrorDirectory;
    case EISDIR: return kErrorDirectoryNotSupported;
    case EACCES:
    case EPERM: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EROFS: return kErrorWriteProtect;
    case EBUSY:
    case ETXTBSY: return kErrorSharingViolation;
    case EEXIST: return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameTooLong;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EXDEV: return kErrorNotSameDevice;
    case EILSEQ: return kErrorNoUnicodeTranslation;
    case ELOOP: return kErrorCantResolveFilename;
    default: return kErrorInvalidParameter;
  }
}

void SetErrorFromErrno(int err, const std::string& hostPath) {
  uint32_t code = ErrorFromErrno(err);
  if (err == ENOENT) {
    // Windows says "path not found" when a directory on the way is missing.
    std::string parent = hostPath;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    size_t slash = parent.rfind('/');
    parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
    struct stat st;
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) code = kErrorPathNotFound;
  }
  SetLastError(code);
}

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

}  // namespace posix
}  // namespace kestrel::os
