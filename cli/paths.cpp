// paths.cpp — native paths to drive paths and ANSI text to the terminal's UTF-8.
#include "cli/paths.h"

#include <cctype>

#include "platform/platform.h"

namespace kestrel::cli {

bool ToDrivePath(const std::string& native, std::string& drive, std::string& error) {
  if (native.empty()) {
    error = "empty path";
    return false;
  }
  if (os::host::DrivePath(native, drive)) return true;
  error = os::LastError() == os::kErrorNoUnicodeTranslation
              ? "'" + native + "': a name has no form in the library's code page"
              : "'" + native + "': no drive maps this path";
  return false;
}

std::string ForTerminal(const std::string& ansi) { return os::host::AnsiToHostText(ansi); }

bool ArgumentPath(const std::string& arg, std::string& drivePath, std::string& error) {
  if (arg.size() >= 2 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':') {
    drivePath = arg;
    return true;
  }
  return ToDrivePath(arg, drivePath, error);
}

}  // namespace kestrel::cli
