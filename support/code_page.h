// code_page.h — ANSI → OEM → ANSI round trip of names (the component's OEMConvert option):
// every character without an OEM equivalent becomes the system's substitute.
#pragma once

#include <string>

namespace kestrel::support {

void OemRoundTrip(std::string& s);

}  // namespace kestrel::support
