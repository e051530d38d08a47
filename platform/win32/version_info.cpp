// version_info.cpp — reading a module's version resource (GetFileVersionInfoA and
// VerQueryValueA).
#include "platform/win32/windows_api.h"

namespace kestrel::os {

uint32_t FileVersionInfoSize(const std::string& path) {
  DWORD ignored = 0;
  return ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
}

bool FileVersionInfo(const std::string& path, std::vector<uint8_t>& block) {
  DWORD size = FileVersionInfoSize(path);
  if (size == 0) return false;
  block.assign(size, 0);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) {
    block.clear();
    return false;
  }
  return true;
}

bool VersionQueryValue(const std::vector<uint8_t>& block, const std::string& subBlock,
                       const uint8_t*& value, uint32_t& length) {
  if (block.empty()) return false;
  void* found = nullptr;
  UINT size = 0;
  // VerQueryValueA takes a non-const block but only reads it.
  if (!::VerQueryValueA(const_cast<uint8_t*>(block.data()), subBlock.c_str(), &found, &size) ||
      found == nullptr) {
    return false;
  }
  value = static_cast<const uint8_t*>(found);
  length = size;
  return true;
}

}  // namespace kestrel::os
