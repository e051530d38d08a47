// name_rules.cpp — the host file system's rules for names: on Linux "a.txt" and "A.txt" are two
// files (although the backend still finds an existing name spelled in another case), and a
// name may hold any byte but "/" and NUL: ": * ? < > |" are ordinary characters of names here
// (only "X:" at the start of a path names a drive).
#include "platform/posix/posix_internal.h"

namespace kestrel::os {

bool CaseSensitiveNames() { return true; }

bool ReservedInNames(char) { return false; }

bool NamesDrive(const std::string& path) { return posix::StartsWithDrive(path); }

}  // namespace kestrel::os
