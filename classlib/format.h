// format.h — printf-style formatting of the library's messages ("List index out of bounds
// (%d)"), returning an std::string of any length.
#pragma once

#include <string>

namespace kestrel::classlib {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrel::classlib
