// device_names.cpp — Linux has no device names: "CON" or "aux.c" is an ordinary file in any
// directory (devices live under /dev, which an absolute path would name).
#include "platform/platform.h"

namespace kestrel::os {

bool NameOpensDevice(const std::string&) { return false; }

}  // namespace kestrel::os
