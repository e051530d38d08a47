// platform.h — the operating-system services the library calls, shaped the way it uses them.
//
// Everything above this layer is portable C++. The win32/ backend forwards to the real API;
// the posix/ backend emulates it on Linux (drive table, code page 936 names, DOS attributes,
// an emulated floppy drive, message boxes through a host handler). Each call keeps the Win32
// meaning of its result: attributes are kInvalidAttributes for a missing file, failures set
// LastError() to a Win32 error code, paths are ANSI strings with a drive letter and "\".
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::os {

// ---- Errors (Win32 codes) -----------------------------------------------------------------
enum ErrorCode : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorNotSameDevice = 17,
  kErrorNoMoreFiles = 18,
  kErrorWriteProtect = 19,
  kErrorNotReady = 21,
  kErrorSharingViolation = 32,
  kErrorHandleDiskFull = 39,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInvalidName = 123,
  kErrorNegativeSeek = 131,
  kErrorDirNotEmpty = 145,
  kErrorLabelTooLong = 154,
  kErrorAlreadyExists = 183,
  kErrorFilenameTooLong = 206,
  kErrorBadFileType = 222,  // a FIFO, socket or device where a file's data is wanted
  kErrorDirectory = 267,  // Linux: a file where a folder is wanted on a path
  kErrorDirectoryNotSupported = 336,  // Linux: a folder where a file is wanted (Windows: denied)
  kErrorNoUnicodeTranslation = 1113,
  kErrorCantResolveFilename = 1921,
};
uint32_t LastError();
void SetLastError(uint32_t code);

// ---- File handles -------------------------------------------------------------------------
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class Access { Read, Write, ReadWrite };
// CreateAlways truncates or creates; CreateNew fails with kErrorFileExists if present;
// OpenExisting fails with kErrorFileNotFound/kErrorPathNotFound; OpenAlways opens or creates.
enum class Disposition { CreateAlways, CreateNew, OpenExisting, OpenAlways };
enum class SeekFrom { Begin, Current, End };

// Files are shared for reading (a second read handle may be opened while one is open).
FileHandle OpenFile(const std::string& path, Access access, Disposition disposition);
// Reads up to count bytes; done receives the count read (0 at end of file). False on error.
bool ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t& done);
// Writes count bytes; done receives the count written. False on error (kErrorDiskFull when
// the disk filled up; done then tells how much was written).
bool WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t& done);
// Returns the new position, or -1 on failure (a negative target position fails).
int64_t SeekFile(FileHandle file, int64_t offset, SeekFrom from);
int64_t FileSize(FileHandle file);  // -1 on failure
bool SetEndOfFile(FileHandle file);  // truncates or extends to the current position
bool CloseFile(FileHandle file);
// Writes the system's buffers of the file to the disk (FlushFileBuffers / fsync).
bool FlushFileBuffers(FileHandle file);

// ---- Attributes ---------------------------------------------------------------------------
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolume = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};
uint32_t GetFileAttributes(const std::string& path);
// The same for the file of path's last name as spelled: where names that differ only in case
// are different files (Linux), one found under another case of it does not count.
uint32_t GetExactFileAttributes(const std::string& path);
bool SetFileAttributes(const std::string& path, uint32_t attributes);
// The same for the file open as `file` (written through it), which is at path. created: the
// caller has just created the file, so it carries no attributes of an older one yet.
bool SetOpenFileAttributes(FileHandle file, const std::string& path, uint32_t attributes,
                           bool created);

// ---- Times --------------------------------------------------------------------------------
struct FileTime {  // 100-nanosecond intervals since 1 January 1601 (UTC or local, per call)
  uint64_t ticks = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};
struct SystemTime {
  uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};
// Null pointers leave that time alone.
bool GetFileTime(FileHandle file, FileTime* creation, FileTime* access, FileTime* lastWrite);
bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* access,
                 const FileTime* lastWrite);
bool SystemTimeToFileTime(const SystemTime& system, FileTime& file);
bool FileTimeToSystemTime(const FileTime& file, SystemTime& system);
bool LocalFileTimeToFileTime(const FileTime& local, FileTime& utc);
bool FileTimeToLocalFileTime(const FileTime& utc, FileTime& local);
// DOS date and time words of a (local) file time, and back; false outside 1980-2107.
bool FileTimeToDosDateTime(const FileTime& file, uint16_t& date, uint16_t& time);
bool DosDateTimeToFileTime(uint16_t date, uint16_t time, FileTime& file);
SystemTime LocalTime();
// The FILETIME (UTC) of a Unix time in seconds since 1970; 0 ticks for a time before 1601.
inline FileTime FileTimeFromUnix(int64_t seconds) {
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  if (seconds < -kSecondsFrom1601To1970) return FileTime{0};
  return FileTime{static_cast<uint64_t>(seconds + kSecondsFrom1601To1970) * 10000000u};
}
uint32_t TickCount();  // milliseconds since some start, wrapping at 2^32

// ---- Random bytes -------------------------------------------------------------------------
// Fills n bytes from the system's cryptographic random source (getrandom on Linux,
// BCryptGenRandom on Windows). False when the source cannot be had; buffer is then undefined.
bool RandomBytes(void* buffer, size_t n);

// ---- Directory search ---------------------------------------------------------------------
struct FindData {
  uint32_t attributes = 0;
  FileTime creation, access, lastWrite;  // UTC
  uint64_t size = 0;
  std::string name;           // long name, ANSI
  std::string alternateName;  // 8.3 name, empty when the long name is already one
  bool symbolicLink = false;  // the name is a symbolic link (the rest describes its target)
};
using FindHandle = std::intptr_t;
inline constexpr FindHandle kInvalidFind = -1;
// pattern is a directory path followed by a name mask with "*" and "?" (Win32 rules: "*.*"
// matches every name, names are compared case-insensitively). "." and ".." are reported.
FindHandle FindFirstFile(const std::string& pattern, FindData& data);
bool FindNextFile(FindHandle find, FindData& data);  // false with kErrorNoMoreFiles at the end
bool FindClose(FindHandle find);

// ---- Files and directories by name --------------------------------------------------------
bool CreateDirectory(const std::string& path);  // false with kErrorAlreadyExists if present
bool RemoveDirectory(const std::string& path);
bool DeleteFile(const std::string& path);
bool MoveFile(const std::string& from, const std::string& to);  // fails if `to` exists
// Replaces `to` atomically when both are on one file system (MoveFileEx REPLACE_EXISTING).
bool MoveFileReplace(const std::string& from, const std::string& to);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
std::string GetCurrentDirectory();  // ANSI drive path, no trailing "\" except at a root
bool SetCurrentDirectory(const std::string& path);
// Full path of a relative or absolute path (GetFullPathName); empty on failure.
std::string FullPathName(const std::string& path);
// 8.3 form of an existing path (GetShortPathName); empty on failure.
std::string ShortPathName(const std::string& path);
// True when a file or directory named component (one path component, no "\") would open a
// device instead of a file wherever it stands: Windows' reserved names (CON, nul.txt, COM1,
// ...). Linux has none: always false there.
bool NameOpensDevice(const std::string& component);
// True where names that differ only in case are different files (Linux); false on Windows,
// where they name one file. Lookups of an existing name ignore case on both.
bool CaseSensitiveNames();
// True when path starts with a drive, "X:". On Windows any second character ":" makes one; on
// Linux, where names may hold ":", only an "X:" followed by "\" or nothing, or by a name when
// X is a mapped drive ("C:dir", relative to that drive): "a:b" is a file name there.
bool NamesDrive(const std::string& path);
// True for a character no file name may hold here: on Windows the control characters and
// < > : " | ? *; on Linux none ("/" and NUL never reach a name: "/" is a separator).
bool ReservedInNames(char c);

// The longest path the file calls take, terminator included: the 260-byte buffers of the
// Windows ANSI calls; on Linux PATH_MAX (a single name stays within the host's NAME_MAX, 255
// bytes, which the host itself enforces).
#if defined(_WIN32)
inline constexpr size_t kMaxPath = 260;
#else
inline constexpr size_t kMaxPath = 4096;
#endif

// While one is open on the calling thread, the case-insensitive name lookups of the posix
// backend remember the directories they read or this thread created, and update them as this
// thread creates and removes names, instead of reading a directory again for every new file.
// Open it around one batch of work (an extraction) whose directories no one else changes
// meanwhile; scopes nest, and the cache ends with the outermost. Nothing to do on Windows.
// Worker threads of the same batch join the scope of the thread that opened it (JoinShared),
// so that all of them see each other's creations; the cache is then guarded by a lock.
class NameLookupScope {
 public:
  NameLookupScope();
  ~NameLookupScope();
  NameLookupScope(const NameLookupScope&) = delete;
  NameLookupScope& operator=(const NameLookupScope&) = delete;

  // The calling thread's cache, to be joined by other threads (null: no scope is open).
  using Shared = std::shared_ptr<void>;
  static Shared Current();
  // Opens a scope on the calling thread that uses shared (from Current()) as its cache.
  explicit NameLookupScope(const Shared& shared);
};

// The temporary directory, ending in "\" (GetTempPath); empty on failure.
std::string TempPath();
// GetTempFileName: dir + prefix (first 3 chars) + hex number + ".tmp". With unique 0 the file
// is created to claim the name; otherwise the name is built from unique and not created.
// Returns the name, or an empty string on failure.
std::string TempFileName(const std::string& dir, const std::string& prefix, uint32_t unique);
// A new empty file in dir for work that ends by replacing a file there (an update's new
// archive): the file is created to claim the name. On Windows this is TempFileName(dir,
// prefix, 0). On Linux the name also carries the process id (prefix + hex + "-" + pid +
// ".tmp"), and such files in dir whose process no longer runs (killed mid-update) are removed
// first, so a killed run leaves nothing behind past the next one. Empty on failure.
std::string WorkFileName(const std::string& dir, const std::string& prefix);

// Path of the library's own module (the DLL on Windows, the shared object or program on
// Linux).
std::string ModuleFileName();

// ---- Unix metadata (posix only; on Windows every call reports "none" and changes nothing) --
// True where the host keeps Unix modes, symbolic links and exact times (Linux), false on
// Windows, where archives keep the DOS attributes and DOS times alone.
bool KeepsUnixMetadata();
struct UnixStat {
  uint32_t mode = 0;       // st_mode: type and permission bits
  int64_t mtime = 0;       // seconds since 1970-01-01 UTC
  uint64_t device = 0;     // with inode: the file's identity
  uint64_t inode = 0;
};
// The status of path itself (followLink false: a link is described, not its target).
bool GetUnixStat(const std::string& path, UnixStat& st, bool followLink);
// The target of the symbolic link path exactly as the host stores it (bytes, "/"
// separators, no conversion: link targets go between hosts as they are); false when path is
// no link.
bool ReadSymbolicLink(const std::string& path, std::string& target);
// Creates the symbolic link path pointing at target (host bytes, as ReadSymbolicLink gives
// them). An existing symbolic link of that name is replaced, anything else is not.
bool CreateSymbolicLink(const std::string& path, const std::string& target);
// Sets the permission bits (mode & 07777, when given) and the modification time (when given)
// of path itself, never of what a link at path points to (a link keeps its mode).
bool SetUnixModeAndTime(const std::string& path, const uint32_t* mode, const int64_t* mtime);
// The same for a file open as file.
bool SetOpenFileMode(FileHandle file, uint32_t mode);
// True when path, with every symbolic link on its way resolved, lies in directory (or is it).
bool ResolvesInside(const std::string& path, const std::string& directory);
// The process's file creation mask (umask), read without changing it.
uint32_t CreationMask();
// True when any component of the relative path relative ("\" separators) below the
// existing directory base is a symbolic link, or when one cannot be checked; a component that
// does not exist yet ends the check (what follows it will be created as real directories).
// Every directory is opened relative to the one before it without following links.
bool LinkInPath(const std::string& base, const std::string& relative);

// ---- Drives -------------------------------------------------------------------------------
enum DriveType : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};
uint32_t GetDriveType(const std::string& root);  // root like "A:\"
bool GetDiskFreeSpace(const std::string& root, uint64_t& freeBytes, uint64_t& totalBytes);
bool GetVolumeLabel(const std::string& root, std::string& label, uint32_t* serial = nullptr);
bool SetVolumeLabel(const std::string& root, const std::string& label);
// Suppresses the system's "insert a disk" dialogs while set (SetErrorMode); returns the old
// mode.
uint32_t SetCriticalErrorMode(bool quiet);

// ---- User interface -----------------------------------------------------------------------
enum MessageBoxFlag : uint32_t {
  kMbOk = 0x0000,
  kMbOkCancel = 0x0001,
  kMbAbortRetryIgnore = 0x0002,
  kMbYesNoCancel = 0x0003,
  kMbYesNo = 0x0004,
  kMbRetryCancel = 0x0005,
  kMbTypeMask = 0x000F,
  kMbIconError = 0x0010,
  kMbIconQuestion = 0x0020,
  kMbIconWarning = 0x0030,
  kMbIconInformation = 0x0040,
  kMbTaskModal = 0x2000,
};
enum DialogResult : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};
// A modal message box with no owner window (MessageBoxA(nullptr, text, caption, flags)).
// text and caption are ANSI bytes. Returns the button pressed.
int MessageBox(const std::string& text, const std::string& caption, uint32_t flags);

using WindowHandle = void*;
// Lets the calling thread's window messages run (PeekMessage/IsDialogMessage for dialog/
// TranslateMessage/DispatchMessage) until the queue is empty.
void PumpMessages(WindowHandle dialog = nullptr);
// Sends WM_COMMAND(id, param) to window synchronously; returns the window's answer.
intptr_t SendCommand(WindowHandle window, int16_t id, void* param);
// True while the key with virtual-key code vk is down (GetAsyncKeyState < 0). On Linux the
// Escape key (27) is the host's cancel flag; other keys are never down.
bool KeyDown(int vk);
// Takes the host's cancel request (kestrel_set_cancel on Linux): true once per request, which
// it clears. A request made while no call runs is taken by the next call that looks. Always
// false on Windows, where the Escape key (KeyDown) is the only cancel.
bool TakeCancelRequest();
// Shows or hides the busy (hourglass) cursor.
void SetBusyCursor(bool busy);

// ---- Code pages ---------------------------------------------------------------------------
// Names and texts inside the library are 8-bit strings in the ANSI code page in force on the
// calling thread: a CodePageScope's while one is open, else the process-wide pages (the
// system's on Windows; on Linux 936 unless host::SetCodePages chose others).
inline constexpr int kUtf8CodePage = 65001;
std::string AnsiToOem(const std::string& text);  // CharToOemA
std::string OemToAnsi(const std::string& text);  // OemToCharA
int AnsiCodePage();                               // GetACP, or the open scope's
int OemCodePage();                                // GetOEMCP, or the open scope's

// Makes ansi and oem the calling thread's code pages until it ends; scopes nest and each
// restores what was in force before it. An interface that takes UTF-8 names opens one with
// 65001 around each call, so it never depends on the process-wide pages. On Windows, while a
// scope's ANSI page is not the system's, the file calls take names in the scope's page (through
// the wide-character API), so a name the system's page cannot hold is still created right.
class CodePageScope {
 public:
  CodePageScope(int ansi, int oem);
  ~CodePageScope();
  CodePageScope(const CodePageScope&) = delete;
  CodePageScope& operator=(const CodePageScope&) = delete;

 private:
  int savedAnsi_;
  int savedOem_;
};

// True when text can be converted from and to code page page (65001 = UTF-8).
bool IsCodePageSupported(int page);
// Converts text between two code pages, exactly: false (LastError kErrorNoUnicodeTranslation)
// when the input is not valid in from or a character has no form in to, and
// kErrorInvalidParameter for an unknown page. ASCII text and from == to pass unchanged.
bool ConvertCodePage(int from, int to, const std::string& in, std::string& out);

// ---- Version resource ---------------------------------------------------------------------
// GetFileVersionInfoSize/GetFileVersionInfo on a module path: 0 / false when it has none.
uint32_t FileVersionInfoSize(const std::string& path);
bool FileVersionInfo(const std::string& path, std::vector<uint8_t>& block);
// VerQueryValue on a block read by FileVersionInfo: value points into block.
bool VersionQueryValue(const std::vector<uint8_t>& block, const std::string& subBlock,
                       const uint8_t*& value, uint32_t& length);

// ---- Host hooks (the posix backend's emulation; no-ops or refusals on Windows) -------------
namespace host {
// Message boxes: caption and text as ANSI bytes, flags as given. Returns the button.
using MessageHandler =
    std::function<int(const std::string& caption, const std::string& text, uint32_t flags)>;
void SetMessageHandler(MessageHandler handler);  // empty handler: the non-blocking default
// Maps a drive letter to a host directory; removable makes it a 1.44 MB floppy.
bool MapDrive(char letter, const std::string& hostDir, bool removable);
void UnmapDrive(char letter);
void SetCancel(bool cancel);
bool SetCodePages(int ansi, int oem);
// Host (UTF-8) path of an ANSI drive path, and back. False when no drive maps it or a name
// cannot be converted.
bool HostPath(const std::string& drivePath, std::string& hostPath);
bool DrivePath(const std::string& hostPath, std::string& drivePath);
// ANSI text (names, comments) as the host's UTF-8, for showing it; a character that cannot
// be converted becomes "?".
std::string AnsiToHostText(const std::string& ansi);
// The host's UTF-8 text (names, comments) in the ANSI code page; false when a character has
// no form in it.
bool HostTextToAnsi(const std::string& text, std::string& ansi);
// Text in codePage (0: the ANSI code page) as UTF-8, a character that cannot be converted
// becoming "?". False, with utf8 untouched, when the system cannot convert codePage at all.
bool CodePageToUtf8(int codePage, const std::string& text, std::string& utf8);
// True when the standard error stream is a terminal (the command's progress bar).
bool ErrorStreamIsTerminal();
// Shows prompt on the terminal and reads one line from it without echo (a password); the
// line end is not kept. False when there is no terminal to ask or reading fails.
bool ReadSecretLine(const std::string& prompt, std::string& line);
// Creates an empty work file in the host directory dir for a file that will replace one there,
// and returns its host path, named ".kestrel-<hex>-<pid>.tmp". First removes such work files in
// dir of processes that no longer run, as WorkFileName does. Empty with errno set on failure (refused on Windows).
std::string ClaimWorkFile(const std::string& dir);
// Capacity of an emulated floppy: 1,474,560 bytes.
inline constexpr uint64_t kFloppyCapacity = 1474560;
}  // namespace host

}  // namespace kestrel::os
