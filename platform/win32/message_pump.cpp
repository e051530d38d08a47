// message_pump.cpp — letting the calling thread's window messages run during long work, the
// synchronous command to a window, the cancel key and the busy cursor.
#include "platform/win32/windows_api.h"

namespace kestrel::os {

void PumpMessages(WindowHandle dialog) {
  HWND window = static_cast<HWND>(dialog);
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The quit request belongs to the host's own loop: put it back and stop pumping.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (window && ::IsDialogMessageA(window, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

intptr_t SendCommand(WindowHandle window, int16_t id, void* param) {
  return ::SendMessageA(static_cast<HWND>(window), WM_COMMAND,
                        static_cast<WPARAM>(static_cast<uint16_t>(id)),
                        reinterpret_cast<LPARAM>(param));
}

bool KeyDown(int vk) { return ::GetAsyncKeyState(vk) < 0; }

bool TakeCancelRequest() { return false; }

void SetBusyCursor(bool busy) {
  ::SetCursor(::LoadCursorA(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace kestrel::os
