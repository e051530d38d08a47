// mode_text.h — an entry's mode as `kestrel list -v` shows it, in the manner of ls -l:
// "-rwxr-xr-x" for entries made on Unix, the MS-DOS attributes ("-rw-a--") for the others.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::cli {

// unixMode: st_mode of an entry made on Unix, 0 for any other; dosAttributes: the MS-DOS
// attribute byte; directory: the entry is a directory.
std::string ModeText(uint32_t unixMode, uint32_t dosAttributes, bool directory);

}  // namespace kestrel::cli
