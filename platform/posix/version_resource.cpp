// version_resource.cpp — the version resource on Linux. A shared object carries no Windows
// resources, so the library's own module answers with a built-in copy of the DLL's resource
// (same bytes); other files have none. As with GetFileVersionInfoA, the block holds the
// resource followed by a same-sized area with the ANSI form of every text value, at the same
// offset, so VersionQueryValue can hand out ANSI text pointing into the block.
#include <algorithm>
#include <cctype>

#include "platform/posix/posix_internal.h"
#include "platform/version_block.h"

namespace kestrel::os {

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsOwnModule(const std::string& path) {
  std::string own = ModuleFileName();
  return !own.empty() && SameName(FullPathName(path), own);
}

std::string Utf16ToUtf8(const uint8_t* p, uint32_t units) {
  std::string out;
  for (uint32_t i = 0; i < units; ++i) {
    uint32_t c = p[2 * i] | (p[2 * i + 1] << 8);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      uint32_t low = p[2 * i + 2] | (p[2 * i + 3] << 8);
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// The resource, padded to 4 bytes, then the ANSI copies of its text values, each at its
// value's offset plus the resource's size (a UTF-16 value has room for its ANSI form).
std::vector<uint8_t> BuiltInBlock() {
  const VersionDescription& description = KestrelVersionDescription();
  std::vector<uint8_t> block = BuildVersionBlock(description);
  while (block.size() % 4 != 0) block.push_back(0);
  size_t half = block.size();
  block.resize(half * 2, 0);
  for (const auto& entry : description.strings) {
    VersionValue found;
    std::string path = "\\StringFileInfo\\" + description.tableKey + "\\" + entry.first;
    if (!FindVersionValue(block, path, found) || !found.text) continue;
    std::string ansi;
    posix::Utf8ToAnsi(Utf16ToUtf8(found.value, found.length), ansi, true);
    ansi.resize(std::min<size_t>(ansi.size(), size_t{found.length} * 2));
    std::copy(ansi.begin(), ansi.end(), block.begin() + static_cast<long>(half + found.offset));
  }
  return block;
}

}  // namespace

uint32_t FileVersionInfoSize(const std::string& path) {
  if (!IsOwnModule(path)) {
    SetLastError(kErrorFileNotFound);  // ERROR_RESOURCE_DATA_NOT_FOUND in spirit
    return 0;
  }
  return static_cast<uint32_t>(BuiltInBlock().size());
}

bool FileVersionInfo(const std::string& path, std::vector<uint8_t>& block) {
  if (!IsOwnModule(path)) return posix::Fail(kErrorFileNotFound);
  block = BuiltInBlock();
  return true;
}

bool VersionQueryValue(const std::vector<uint8_t>& block, const std::string& subBlock,
                       const uint8_t*& value, uint32_t& length) {
  VersionValue found;
  if (!FindVersionValue(block, subBlock, found)) return false;
  if (!found.text) {
    value = found.value;
    length = found.length;
    return true;
  }
  // Text: the ANSI copy in the second half of the block.
  size_t half = block.size() / 2;
  if (found.offset >= half || half + found.offset + found.length > block.size()) return false;
  value = block.data() + half + found.offset;
  length = found.length;
  return true;
}

}  // namespace kestrel::os
