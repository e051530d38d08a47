// version_query.cpp — reads values of the library's version resource through the platform's
// version calls (the real resource on Windows, its built-in copy on Linux).
#include "exports/version_query.h"

#include <cstdio>
#include <vector>

#include "platform/platform.h"

namespace kestrel::exports {

std::string ReadVersionValue(const std::string& subBlock) {
  std::string module = os::ModuleFileName();
  if (module.empty() || os::FileVersionInfoSize(module) == 0) return {};
  std::vector<uint8_t> block;
  if (!os::FileVersionInfo(module, block)) return {};
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  if (!os::VersionQueryValue(block, subBlock, value, length) || value == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(value), length);
}

std::string ReadFileVersion() {
  std::string translation = ReadVersionValue("\\VarFileInfo\\Translation");
  if (translation.size() < 4) return {};
  auto word = [&translation](size_t at) {
    return static_cast<unsigned>(static_cast<uint8_t>(translation[at]) |
                                 (static_cast<uint8_t>(translation[at + 1]) << 8));
  };
  char key[9];
  std::snprintf(key, sizeof key, "%04X%04X", word(0), word(2));  // language, then code page
  std::string version = ReadVersionValue(std::string("\\StringFileInfo\\") + key + "\\FileVersion");
  size_t zero = version.find('\0');
  if (zero != std::string::npos) version.resize(zero);
  return version;
}

}  // namespace kestrel::exports
