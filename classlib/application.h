// application.h — the host services the component asks of the class library: processing the
// calling thread's pending messages, the busy cursor, and the file-open and directory
// dialogs (shown when ZipName or DestDir ends in "?"). The dialogs go to host-installable
// handlers; without one they answer "cancelled", so nothing ever blocks.
#pragma once

#include <functional>
#include <string>

namespace kestrel::classlib {

void ProcessMessages();
void SetBusyCursor(bool busy);

// title, filter ("Zip Files (*.ZIP)|*.zip|…"), initial directory, in: suggested name,
// out: the chosen file name. Returns false when the user cancelled.
using OpenDialogHandler = std::function<bool(const std::string& title, const std::string& filter,
                                             const std::string& initialDir,
                                             std::string& fileName)>;
// initial directory in, chosen directory out; false when cancelled.
using DirectoryDialogHandler = std::function<bool(std::string& directory)>;

void SetOpenDialogHandler(OpenDialogHandler handler);
void SetDirectoryDialogHandler(DirectoryDialogHandler handler);
bool ShowOpenDialog(const std::string& title, const std::string& filter,
                    const std::string& initialDir, std::string& fileName);
bool ShowDirectoryDialog(std::string& directory);

}  // namespace kestrel::classlib
