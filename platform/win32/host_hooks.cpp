// host_hooks.cpp — the Linux host hooks on Windows: the real system provides drives, code
// pages, message boxes and the Escape key, so the hooks change nothing and say so.
#include <cerrno>
#include <cstdio>
#include <io.h>

#include "platform/call_scope.h"
#include "platform/win32/windows_api.h"

namespace kestrel::os::host {

// Message boxes are real dialogs; a host answers them through the window system.
void SetMessageHandler(MessageHandler) {}

bool MapDrive(char, const std::string&, bool) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

void UnmapDrive(char) {}

// Drive letters are the system's: a call scope has nothing to change.
CallScope::CallScope(CallFloppy, CallCancel)
    : savedActive_(false), savedFloppy_(), savedCancel_() {}
CallScope::~CallScope() = default;
std::optional<CallFloppy> CallScope::Current() { return std::nullopt; }

// The cancel request is the Escape key itself.
void SetCancel(bool) {}

bool SetCodePages(int ansi, int oem) {
  // The code pages are the system's; only asking for exactly those succeeds.
  return ansi == static_cast<int>(::GetACP()) && oem == static_cast<int>(::GetOEMCP());
}

// Windows paths are already the drive paths the library uses.
bool HostPath(const std::string& drivePath, std::string& hostPath) {
  hostPath = drivePath;
  return true;
}

bool DrivePath(const std::string& hostPath, std::string& drivePath) {
  drivePath = hostPath;
  return true;
}

// Windows hosts show ANSI text as it is.
std::string AnsiToHostText(const std::string& ansi) { return ansi; }

bool HostTextToAnsi(const std::string& text, std::string& ansi) {
  ansi = text;
  return true;
}

// Commits through work files are the Linux interface's; Windows has none.
std::string ClaimWorkFile(const std::string&) {
  errno = ENOSYS;
  return std::string();
}

bool ErrorStreamIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

}  // namespace kestrel::os::host
