// directory_chain.h — ForceDirectoryChain: creates every directory along a drive path.
#pragma once

#include <string>

namespace kestrel::exports {

// Trims blanks and control characters at both ends, appends "\" when missing, and creates
// each prefix up to a "\" from the left (C:\, C:\a\, C:\a\b\), ignoring each result, so that
// existing directories are no obstacle. Returns false without creating anything for a path
// that has neither a drive colon as its second character nor "\" as its third. Throws
// std::invalid_argument for a path that is empty after trimming.
bool ForceDirectoryChain(const std::string& path);

}  // namespace kestrel::exports
