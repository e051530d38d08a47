// secret_input.cpp — the library on Windows never asks for a password itself: its hosts do.
#include "platform/platform.h"

namespace kestrel::os::host {

bool ReadSecretLine(const std::string&, std::string&) { return false; }

}  // namespace kestrel::os::host
