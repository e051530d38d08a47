// application.cpp — message processing, the cursor, and the host's dialog handlers.
#include "classlib/application.h"

#include "platform/platform.h"

namespace kestrel::classlib {

namespace {
OpenDialogHandler& OpenHandler() {
  static OpenDialogHandler handler;
  return handler;
}
DirectoryDialogHandler& DirectoryHandler() {
  static DirectoryDialogHandler handler;
  return handler;
}
}  // namespace

void ProcessMessages() { os::PumpMessages(); }
void SetBusyCursor(bool busy) { os::SetBusyCursor(busy); }

void SetOpenDialogHandler(OpenDialogHandler handler) { OpenHandler() = std::move(handler); }
void SetDirectoryDialogHandler(DirectoryDialogHandler handler) {
  DirectoryHandler() = std::move(handler);
}

bool ShowOpenDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string& fileName) {
  return OpenHandler() ? OpenHandler()(title, filter, initialDir, fileName) : false;
}

bool ShowDirectoryDialog(std::string& directory) {
  return DirectoryHandler() ? DirectoryHandler()(directory) : false;
}

}  // namespace kestrel::classlib
