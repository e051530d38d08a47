// version_query.h — one value of the library's own version resource.
#pragma once

#include <string>

namespace kestrel::exports {

// The bytes of subBlock ("\VarFileInfo\Translation", "\StringFileInfo\080403A8\FileVersion")
// in the version resource of the library's own module: as many bytes as the query reports
// (text values include their terminating zero). Empty when there is no resource or no value.
std::string ReadVersionValue(const std::string& subBlock);

// The FileVersion text through the resource's translation entry; empty when either is missing.
std::string ReadFileVersion();

}  // namespace kestrel::exports
