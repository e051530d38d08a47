// list_component.h — `kestrel list --component`: lists an archive through the zip component
// (TLynUnZip) instead of the reader's walker, with the archive and entry comments.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace kestrel::cli {

// Turns the library's ANSI text (names, comments) into what the terminal shows.
using TextForTerminal = std::function<std::string(const std::string& ansi)>;

// Loads the directory of the archive at drivePath and prints one line per entry (length,
// method, size, ratio, date, time, CRC, name), each entry's comment on the line below it,
// the archive comment before the table and totals after it. A damaged directory is rebuilt
// from the local headers when `repair` is set. Returns 0, or 1 after printing the
// component's error message to err.
int ListWithComponent(const std::string& drivePath, bool repair, const TextForTerminal& show,
                      FILE* out, FILE* err);

}  // namespace kestrel::cli
