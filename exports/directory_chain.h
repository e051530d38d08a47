// directory_chain.h — creates every directory along a path (used by UnZipFile and the volume
// set).
#pragma once

#include <string>

namespace kestrel::exports {

// Trims blanks and control characters, ensures a trailing "\", then creates each prefix in
// turn ("C:\", "C:\a\", "C:\a\b\"), ignoring the result of each creation. False, with
// nothing created, when the path neither has ":" second nor "\" third (a relative path).
// Throws std::invalid_argument for a path that is empty after trimming.
bool ForceDirectoryChain(const std::string& path);

}  // namespace kestrel::exports
