// user_interface.cpp — message boxes, the cancel key and the window-message services on a
// host without windows. A message box goes to the handler the host installed; without one it
// never blocks: the text goes to stderr and the answer is the one that changes nothing
// (OK for OK alone, Cancel where there is one, No for Yes/No).
#include <atomic>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

std::mutex mutex;
host::MessageHandler handler;
std::atomic<bool> cancelRequested{false};

constexpr int kVkEscape = 27;

int DefaultAnswer(uint32_t flags) {
  switch (flags & kMbTypeMask) {
    case kMbOk: return kIdOk;
    case kMbAbortRetryIgnore: return kIdAbort;
    case kMbYesNo: return kIdNo;
    default: return kIdCancel;  // OK/Cancel, Yes/No/Cancel, Retry/Cancel
  }
}

std::string Printable(const std::string& ansi) {
  std::string utf8;
  if (!posix::Convert(AnsiCodePage(), kUtf8CodePage, ansi, utf8, true)) return ansi;
  return utf8;
}

}  // namespace

int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  host::MessageHandler current;
  {
    std::lock_guard<std::mutex> lock(mutex);
    current = handler;
  }
  // The handler runs without the lock: it may remap drives or install another handler.
  if (current) return current(caption, text, flags);
  std::fprintf(stderr, "[%s] %s\n", Printable(caption).c_str(), Printable(text).c_str());
  return DefaultAnswer(flags);
}

void PumpMessages(WindowHandle) {}

intptr_t SendCommand(WindowHandle, int16_t, void*) { return 0; }

// The entry-level interface's calls (CallScope) neither see nor take the host's request; their
// own cancel answers in its place.
bool KeyDown(int vk) {
  return vk == kVkEscape && !posix::ThreadCall().active && cancelRequested.load();
}

bool TakeCancelRequest() {
  const posix::CallState& call = posix::ThreadCall();
  if (!call.active) return cancelRequested.exchange(false);
  return call.cancel.asked != nullptr && call.cancel.asked(call.cancel.context);
}

void SetBusyCursor(bool) {}

namespace host {

void SetMessageHandler(MessageHandler newHandler) {
  std::lock_guard<std::mutex> lock(mutex);
  handler = std::move(newHandler);
}

void SetCancel(bool cancel) { cancelRequested.store(cancel); }

bool ErrorStreamIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace host
}  // namespace kestrel::os
