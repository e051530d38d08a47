// device_names.h — the names that Windows resolves to a device instead of a file, in whatever
// directory they stand. Portable, so that every host tests it; the win32 backend answers
// os::NameOpensDevice with it.
#pragma once

#include <string>

namespace kestrel::os {

// True for one path component (ANSI bytes, no "\") that Windows opens as a device: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and LPT0-LPT9 (also with the superscript digits 1, 2
// and 3 of code page 1252), in any case, alone or before an extension ("nul.txt",
// "aux.tar.gz"), also with the trailing dots and blanks that Windows drops ("CON. ",
// "nul .txt").
bool IsWindowsDeviceName(const std::string& component);

}  // namespace kestrel::os
