// errors.cpp — the calling thread's last Win32-style error code.
#include "platform/platform.h"

namespace kestrel::os {

namespace {
thread_local uint32_t lastError = kErrorSuccess;
}

uint32_t LastError() { return lastError; }
void SetLastError(uint32_t code) { lastError = code; }

}  // namespace kestrel::os
