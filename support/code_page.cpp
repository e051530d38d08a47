// code_page.cpp — the ANSI/OEM round trip of names.
#include "support/code_page.h"

#include "platform/platform.h"

namespace kestrel::support {

void OemRoundTrip(std::string& s) { s = os::OemToAnsi(os::AnsiToOem(s)); }

}  // namespace kestrel::support
