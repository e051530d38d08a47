// call_scope.cpp — the CallScope open on each thread: what the drive table and the cancel
// request consult before the process-wide state.
#include "platform/posix/posix_internal.h"

namespace kestrel::os {
namespace posix {

namespace {
thread_local CallState threadCall;
}  // namespace

const CallState& ThreadCall() { return threadCall; }

}  // namespace posix

namespace host {

CallScope::CallScope(CallFloppy floppy, CallCancel cancel)
    : savedActive_(posix::threadCall.active),
      savedFloppy_(posix::threadCall.floppy),
      savedCancel_(posix::threadCall.cancel) {
  posix::threadCall = posix::CallState{true, floppy, cancel};
}

CallScope::~CallScope() {
  posix::threadCall = posix::CallState{savedActive_, savedFloppy_, savedCancel_};
}

std::optional<CallFloppy> CallScope::Current() {
  if (!posix::threadCall.active) return std::nullopt;
  return posix::threadCall.floppy;
}

}  // namespace host
}  // namespace kestrel::os
