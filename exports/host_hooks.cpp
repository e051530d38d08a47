// host_hooks.cpp — the C host hooks of kestrel.h for Linux hosts: message handler, drive map,
// cancel flag, code pages and the last failure message. They forward to the posix backend.
#include "exports/host_hooks.h"

#if !defined(_WIN32)

#include <mutex>

#include "kestrel.h"
#include "platform/platform.h"

namespace kestrel::exports {

namespace {
std::mutex mutex;
std::string lastFailure;
thread_local std::string lastFailureCopy;  // what the returned pointer refers to
}  // namespace

void SetLastFailure(const std::string& utf8Message) {
  std::lock_guard<std::mutex> lock(mutex);
  lastFailure = utf8Message;
}

}  // namespace kestrel::exports

extern "C" {

void kestrel_set_message_handler(kestrel_message_handler handler, void* context) {
  if (handler == nullptr) {
    kestrel::os::host::SetMessageHandler(nullptr);
    return;
  }
  kestrel::os::host::SetMessageHandler(
      [handler, context](const std::string& caption, const std::string& text, uint32_t flags) {
        return handler(context, caption.c_str(), text.c_str(), flags);
      });
}

int kestrel_map_drive(char letter, const char* hostDir, int removable) {
  if (hostDir == nullptr) return 0;
  return kestrel::os::host::MapDrive(letter, hostDir, removable != 0) ? 1 : 0;
}

void kestrel_unmap_drive(char letter) { kestrel::os::host::UnmapDrive(letter); }

void kestrel_set_cancel(int cancel) { kestrel::os::host::SetCancel(cancel != 0); }

int kestrel_set_code_pages(int ansi, int oem) {
  return kestrel::os::host::SetCodePages(ansi, oem) ? 1 : 0;
}

const char* kestrel_last_error(void) {
  std::lock_guard<std::mutex> lock(kestrel::exports::mutex);
  kestrel::exports::lastFailureCopy = kestrel::exports::lastFailure;
  return kestrel::exports::lastFailureCopy.c_str();
}

}  // extern "C"

#else

namespace kestrel::exports {
void SetLastFailure(const std::string&) {}
}  // namespace kestrel::exports

#endif
