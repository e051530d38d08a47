// name_rules.cpp — the host file system's rules for names: on Linux "a.txt" and "A.txt" are two
// files (although the backend still finds an existing name spelled in another case), and a
// name may hold any byte but "/" and NUL, of which the library keeps ":" for drives and "*"
// and "?" for wildcards.
#include "platform/platform.h"

namespace kestrel::os {

bool CaseSensitiveNames() { return true; }

bool ReservedInNames(char c) { return c == ':' || c == '*' || c == '?'; }

}  // namespace kestrel::os
