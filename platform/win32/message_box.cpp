// message_box.cpp — the library's prompts: MessageBoxA with no owner window, so the
// task-modal flag disables the calling thread's windows while the box is up.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), flags);
}

}  // namespace kestrel::os
