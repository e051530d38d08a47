// host_hooks.h — the library side of kestrel_last_error (Linux host hooks).
#pragma once

#include <string>

namespace kestrel::exports {

// Records the UTF-8 message that kestrel_last_error returns until the next call (an empty
// message after a success). ZipFile and UnZipFile call it once per call.
void SetLastFailure(const std::string& utf8Message);

}  // namespace kestrel::exports
