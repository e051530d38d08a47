// paths.h — the command line's native paths and the library's drive paths.
//
// The library takes Windows paths in the ANSI code page ("C:\tmp\a.zip"); people type host
// paths in UTF-8 ("/tmp/a.zip", "a.zip"). Relative paths are made absolute against the
// current directory first, so the library never depends on where the command was started.
#pragma once

#include <string>

namespace kestrel::cli {

// Drive path of a native path: true with drive set, or false with a message in error (no
// drive maps the path, or a name has no form in the ANSI code page).
bool ToDrivePath(const std::string& native, std::string& drive, std::string& error);

// A command-line path: a drive path ("A:\x.m01", the way to name a floppy) is taken as it
// is; anything else is a native path, turned by ToDrivePath.
bool ArgumentPath(const std::string& arg, std::string& drivePath, std::string& error);

// The library's ANSI text (names, comments, paths) as the terminal shows it (UTF-8).
std::string ForTerminal(const std::string& ansi);

}  // namespace kestrel::cli
