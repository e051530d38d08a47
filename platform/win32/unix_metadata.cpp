// unix_metadata.cpp — Windows keeps no Unix metadata: archives there carry the DOS attributes
// and DOS times alone, so every call reports "none" and changes nothing.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

bool KeepsUnixMetadata() { return false; }
bool GetUnixStat(const std::string& /*path*/, UnixStat& /*st*/, bool /*followLink*/) {
  return false;
}
bool ReadSymbolicLink(const std::string& /*path*/, std::string& /*target*/) { return false; }
bool CreateSymbolicLink(const std::string& /*path*/, const std::string& /*target*/) {
  return false;
}
bool SetUnixModeAndTime(const std::string& /*path*/, const uint32_t* /*mode*/,
                        const int64_t* /*mtime*/) {
  return false;
}
bool SetOpenFileMode(FileHandle /*file*/, uint32_t /*mode*/) { return false; }
bool ResolvesInside(const std::string& /*path*/, const std::string& /*directory*/) {
  return false;
}
uint32_t CreationMask() { return 0; }
bool LinkInPath(const std::string& /*base*/, const std::string& /*relative*/) { return false; }

}  // namespace kestrel::os
