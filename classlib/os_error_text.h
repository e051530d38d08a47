// os_error_text.h — the operating system's reason for a failure, as a short English text for
// messages ("permission denied", "no space left on the device").
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::classlib {

// The text for a platform error code (os::LastError()); a generic text with the code for one
// that has none of its own.
std::string OsErrorText(uint32_t code);

// message + ": " + the text of the calling thread's last platform error, or message alone when
// the platform reported none (os::LastError() is kErrorSuccess).
std::string WithOsReason(const std::string& message);

}  // namespace kestrel::support
