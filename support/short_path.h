// short_path.h — a path rewritten with the short (8.3) name of every component that exists.
#pragma once

#include <string>

namespace kestrel::support {

// Components that do not exist, or that are already 8.3 names, stay as written; a trailing
// "\" is kept; "C:dir" becomes "C:\dir". The empty path and a path too long for the 260-byte
// probe come back unchanged.
std::string ShortPathName(const std::string& path);

}  // namespace kestrel::support
