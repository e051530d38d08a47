// drive_table_scope.h — a drive table of the calling thread's own, for the entry-level
// interface: its native paths then map the same whatever a host does with MapDrive.
#pragma once

namespace kestrel::os::host {

// While one is open on the calling thread, drive letters map through a fixed table instead of
// the process-wide one that MapDrive changes: C: is the host's root "/" and no other letter is
// mapped, except A: with floppy set, which is then the emulated floppy drive as MapDrive last
// made it (for an archive the host put there). Scopes nest; the innermost is in force. Linux
// hosts only: Windows drives are the system's.
class DriveTableScope {
 public:
  explicit DriveTableScope(bool floppy);
  ~DriveTableScope();
  DriveTableScope(const DriveTableScope&) = delete;
  DriveTableScope& operator=(const DriveTableScope&) = delete;

 private:
  int saved_;
};

}  // namespace kestrel::os::host
