// posix_internal.h — what the files of the posix backend share: the drive table lookup, the
// mapping of drive paths to host paths, errno translation, code page conversion and the
// registry of open handles that live on an emulated floppy.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/call_scope.h"
#include "platform/platform.h"

namespace kestrel::os::posix {

// ---- Errors -------------------------------------------------------------------------------
// The Win32 code closest to errno value err.
uint32_t ErrorFromErrno(int err);
// Sets LastError from err; an ENOENT whose parent directory is missing too becomes
// kErrorPathNotFound, as on Windows.
void SetErrorFromErrno(int err, const std::string& hostPath);
// Sets LastError to code and returns false (for one-line failure returns).
bool Fail(uint32_t code);

// ---- Drives -------------------------------------------------------------------------------
struct Drive {
  bool mapped = false;
  bool removable = false;
  std::string hostDir;  // absolute, normalised, no trailing "/" except for "/" itself
};
// The table entry of a letter (either case); an unmapped entry when the letter is not one.
// Inside a CallScope, the scope's table.
Drive DriveOf(char letter);
// The letter of the drive that holds the process's current directory ('C' when none does).
char CurrentDriveLetter();

// Host path of a drive path (see host::HostPath), and the letter of its drive (0 for a path
// relative to the current directory). Fails with LastError set.
// spelled receives the path as named (for the name cache), or empty for a path with "..".
bool MapToHost(const std::string& drivePath, std::string& hostPath, char* letter = nullptr,
               std::string* spelled = nullptr);
// hostPath (as MapToHost found it) with its last name as drivePath spells it: a lookup may
// have found another case of it, which is another file here.
std::string SpelledLastName(const std::string& hostPath, const std::string& drivePath);
// True when path starts with a drive ("X:"): one followed by "\" or nothing, or "X:name"
// relative to a mapped drive X. Otherwise "a:b" is a file name: Linux names may hold ":".
bool StartsWithDrive(const std::string& path);

// ---- Calls of the entry-level interface (call_scope.cpp) ----------------------------------
struct CallState {
  bool active = false;  // a CallScope is open on this thread
  host::CallFloppy floppy;
  host::CallCancel cancel;
};
const CallState& ThreadCall();

// ---- Name cache (name_cache.cpp) -----------------------------------------------------------
// What lookups learned about directories while a NameLookupScope is open on this thread (and
// on the threads that joined it: whoever reads or changes it holds mutex).
class NameCache {
 public:
  std::mutex mutex;
  bool shared = false;  // other threads have joined the scope
  enum class Lookup { Found, Missing };
  // The names of one directory, by their case-folded form.
  struct Listing {
    std::unordered_map<std::string, std::vector<std::string>> byFolded;
    // True when name is new and another name of another case was there already.
    bool Add(const std::string& name);
    void Remove(const std::string& name);
    // The exact name if present, else the first in byte order that matches ignoring case.
    Lookup Find(const std::string& name, std::string& found) const;
  };
  // The names of hostDir when known, or null.
  Listing* ListingOf(const std::string& hostDir);
  // Reads hostDir and remembers its names; null when it cannot be read.
  Listing* Read(const std::string& hostDir);
  // The host directory that a path spelled as given (drive directory and names joined with
  // "/") was found to be, or null.
  const std::string* KnownDirectory(const std::string& spelled) const;
  void RememberDirectory(const std::string& spelled, const std::string& hostDir);
  // hostPath was created (newDirectory: by mkdir, so it is empty; spelled is how it was
  // named, or empty) or removed by this thread.
  void Created(const std::string& hostPath, bool newDirectory, const std::string& spelled);
  void Removed(const std::string& hostPath);

 private:
  std::unordered_map<std::string, Listing> listings_;
  std::unordered_map<std::string, std::string> directories_;
};
// The calling thread's cache, or null when no scope is open. Hold its mutex while using it.
NameCache* ActiveNameCache();
// Tell the active cache (if any) about names this layer created or removed.
void NoteCreated(const std::string& hostPath, bool newDirectory = false,
                 const std::string& spelled = {});
void NoteRemoved(const std::string& hostPath);

// ---- Code pages ---------------------------------------------------------------------------
// ANSI text to UTF-8 and back. Strict conversions fail on any character the other side
// cannot represent; with substitute, such characters become "?" instead.
bool AnsiToUtf8(const std::string& ansi, std::string& utf8);
bool Utf8ToAnsi(const std::string& utf8, std::string& ansi, bool substitute = false);
// UTF-8 to text in any code page; the building block of the above.
bool Convert(int fromCodePage, int toCodePage, const std::string& in, std::string& out,
             bool substitute);

// ---- Temporary names (path_names.cpp) -----------------------------------------------------
// Claims the first free name nameOf(n) for n = 1 to 0xFFFF, starting from the clock as
// Windows does, by creating it empty. The name, or empty with LastError set.
std::string ClaimTempName(const std::function<std::string(uint32_t)>& nameOf);

// ---- Floppy accounting --------------------------------------------------------------------
inline constexpr uint64_t kClusterSize = 512;
inline uint64_t Clusters(uint64_t bytes) { return (bytes + kClusterSize - 1) / kClusterSize; }
// Bytes in use on an emulated floppy rooted at hostDir: every file and subdirectory counted
// in whole clusters (a subdirectory takes one).
uint64_t FloppyBytesUsed(const std::string& hostDir);
// Remembers that fd was opened on removable drive letter; forgotten on close.
void RegisterFloppyHandle(int fd, char letter);
void ForgetHandle(int fd);
// The removable drive an open fd lives on, or 0.
char FloppyDriveOfHandle(int fd);
// The largest size the file fd may grow to on its floppy: its own clusters plus the free ones.
uint64_t FloppyMaxFileSize(int fd);

// ---- Times --------------------------------------------------------------------------------
FileTime FromTimespec(const timespec& ts);
timespec ToTimespec(const FileTime& ft);

// ---- Attributes ---------------------------------------------------------------------------
// The DOS attributes of a host file given its stat data and name.
uint32_t AttributesOf(const std::string& hostPath, const struct stat& st);

}  // namespace kestrel::os::posix
