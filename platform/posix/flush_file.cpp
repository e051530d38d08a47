// flush_file.cpp — FlushFileBuffers on Linux: the handle is a file descriptor; fsync it.
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"

namespace kestrel::os {

bool FlushFileBuffers(FileHandle file) {
  if (::fsync(static_cast<int>(file)) == 0) return true;
  SetLastError(errno == EBADF ? kErrorInvalidHandle : kErrorAccessDenied);
  return false;
}

}  // namespace kestrel::os
