// os_error_text.cpp — texts for the platform's error codes.
#include "classlib/os_error_text.h"

#include "platform/platform.h"

namespace kestrel::classlib {

std::string OsErrorText(uint32_t code) {
  switch (code) {
    case os::kErrorFileNotFound: return "no such file";
    case os::kErrorPathNotFound: return "no such directory";
    case os::kErrorAccessDenied: return "permission denied";
    case os::kErrorNotEnoughMemory: return "out of memory";
    case os::kErrorWriteProtect: return "read-only file system";
    case os::kErrorSharingViolation: return "file in use";
    case os::kErrorFileExists:
    case os::kErrorAlreadyExists: return "file exists";
    case os::kErrorHandleDiskFull:
    case os::kErrorDiskFull: return "no space left on the device";
    case os::kErrorInvalidName: return "name not valid here, or not representable in the code page";
    case os::kErrorFilenameTooLong: return "path too long";
    case os::kErrorNoUnicodeTranslation: return "name not representable in the code page";
    case os::kErrorCantResolveFilename: return "too many levels of symbolic links";
    case os::kErrorBadFileType: return "not a regular file";
    case os::kErrorDirectory: return "not a directory";
    case os::kErrorDirectoryNotSupported: return "is a directory";
    default: return "system error " + std::to_string(code);
  }
}

std::string WithOsReason(const std::string& message) {
  const uint32_t code = os::LastError();
  return code == os::kErrorSuccess ? message : message + ": " + OsErrorText(code);
}

}  // namespace kestrel::classlib
