// os_error_text.h — the operating system's reason for a failure; the texts live in the class
// library, whose exceptions carry them too.
#pragma once

#include "classlib/os_error_text.h"

namespace kestrel::support {

using classlib::OsErrorText;

}  // namespace kestrel::support
