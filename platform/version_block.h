// version_block.h — the binary version resource (VS_VERSIONINFO): building one from a
// description, and finding a value in one by its sub-block path, as VerQueryValue does.
// Portable; the posix backend serves the library's built-in resource through it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::os {

struct VersionDescription {
  uint16_t fileVersion[4] = {0, 0, 0, 0};
  uint16_t productVersion[4] = {0, 0, 0, 0};
  uint32_t fileFlagsMask = 0x3F, fileFlags = 0, fileOs = 4 /*VOS__WINDOWS32*/;
  uint32_t fileType = 2 /*VFT_DLL*/, fileSubtype = 0;
  std::string tableKey;                                      // e.g. "080403A8"
  std::vector<std::pair<std::string, std::string>> strings;  // ASCII key, ASCII value
  std::vector<std::pair<uint16_t, uint16_t>> translations;   // language, code page
};

// The resource bytes, laid out exactly as the resource compiler lays them out.
std::vector<uint8_t> BuildVersionBlock(const VersionDescription& description);

// Finds subBlock ("\", "\VarFileInfo\Translation", "\StringFileInfo\080403A8\FileVersion";
// keys compare case-insensitively) in the resource at the start of block. value points into
// block at the node's value; length is its wValueLength (bytes for binary values, UTF-16
// units for text). Never reads outside block, whatever the lengths inside claim.
struct VersionValue {
  const uint8_t* value = nullptr;
  uint32_t length = 0;
  bool text = false;
  size_t offset = 0;  // of value within block
};
bool FindVersionValue(const std::vector<uint8_t>& block, const std::string& subBlock,
                      VersionValue& found);

// The library's own version resource (FileVersion "1.0.0.0", language 0x0804, code page 936).
const VersionDescription& KestrelVersionDescription();

}  // namespace kestrel::os
