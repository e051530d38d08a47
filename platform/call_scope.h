// call_scope.h — what a call of the entry-level interface sees of the process-wide host hooks
// on its thread: a drive table of its own, and no cancel request of the host's.
#pragma once

#include <optional>
#include <string>

namespace kestrel::os::host {

// What is in drive A: of a CallScope, an emulated 1.44 MB floppy.
struct CallFloppy {
  // A folder (in DriveFolder's form) that is read at every lookup, so a change made while the
  // scope is open (a disk change) is seen; it must outlive the scope. "": no A:.
  const std::string* folder = nullptr;
  // Without a folder: the floppy drive A: that MapDrive set up, if any.
  bool host = false;
};

// The call's own cancel: asked(context) is asked wherever the engines look for the host's
// cancel request (TakeCancelRequest); true cancels. Null: nothing cancels there.
struct CallCancel {
  bool (*asked)(void* context) = nullptr;
  void* context = nullptr;
};

// While one is open on the calling thread, drive letters map through a table of the call's
// own instead of the one MapDrive changes: C: is the host's root "/", A: the floppy given, no
// other letter is mapped. The host's cancel request (SetCancel) is neither seen nor taken
// there; the call's own cancel answers in its place. Scopes nest; the innermost is in force.
// Linux hosts only: Windows drives and keys are the system's, and a scope changes nothing.
class CallScope {
 public:
  explicit CallScope(CallFloppy floppy = {}, CallCancel cancel = {});
  // The floppy of the scope open on the calling thread; none when no scope is open. A worker
  // thread a call starts opens a scope with it, so it maps drive paths as the caller does (the
  // call's cancel stays with the caller).
  static std::optional<CallFloppy> Current();
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  bool savedActive_;
  CallFloppy savedFloppy_;
  CallCancel savedCancel_;
};

// hostDir in the form the drive table keeps: absolute, normalised, without a trailing "/".
// False (LastError set) when it is not an existing directory.
bool DriveFolder(const std::string& hostDir, std::string& normal);

}  // namespace kestrel::os::host
