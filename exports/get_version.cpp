// get_version.cpp — the exported GetVersion: the library's FileVersion text, read once and
// kept for the life of the library, so the pointer stays valid after the call.
#include "exports/version_query.h"
#include "kestrel.h"

namespace {

const std::string& VersionText() {
  static const std::string text = kestrel::exports::ReadFileVersion();
  return text;
}

}  // namespace

extern "C" const char* KESTREL_CALL KestrelGetVersion(void) { return VersionText().c_str(); }

#if !defined(_WIN32)
extern "C" const char* GetVersion(void) { return VersionText().c_str(); }
#endif
