// errors.cpp — the calling thread's last error: the Win32 value itself.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

uint32_t LastError() { return ::GetLastError(); }
void SetLastError(uint32_t code) { ::SetLastError(code); }

}  // namespace kestrel::os
