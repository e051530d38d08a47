// module_name.cpp — the file name of the module that holds the library's code: the DLL when
// the library is loaded as one, the program when it is linked statically.
#include "platform/win32/windows_api.h"

#include <vector>

namespace kestrel::os {

std::string ModuleFileName() {
  HMODULE self = nullptr;
  // The address of this very function names the module; the reference count stays as it is.
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ModuleFileName), &self)) {
    return {};
  }
  // GetModuleFileNameA truncates silently (returning the buffer size) when the name does not
  // fit, so grow until it returns less than the buffer holds.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kestrel::os
