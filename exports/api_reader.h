// api_reader.h — the reader handle of the entry-level interface: the archive it opened, its
// entries as the walker delivered them (with their UTF-8 forms), its options and the message
// of its last failure. Shared by the api_reader*.cpp files only.
#pragma once

// The reading interface exists on Linux hosts only (kestrel.h declares it there).
#if !defined(_WIN32)

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/entry_name.h"
#include "exports/volume_source.h"
#include "kestrel.h"
#include "platform/call_scope.h"
#include "platform/platform.h"

namespace kestrel::exports {

// Every call that reads names or paths runs with UTF-8 as the library's ANSI code page: the
// walker then delivers the names as UTF-8 and the driver creates files under them, whatever
// the process-wide pages are, and other threads never see the change. Its native paths map
// through a drive table of the call's own (C: is "/", A: the floppy given), so no drive a host
// maps or remaps, from any thread, changes where they lead; the host's cancel request does not
// reach it either, cancel may answer in its place.
struct Utf8Names : os::CodePageScope {
  explicit Utf8Names(os::host::CallFloppy floppy = {}, os::host::CallCancel cancel = {})
      : os::CodePageScope(os::kUtf8CodePage, os::kUtf8CodePage), call(floppy, cancel) {}
  os::host::CallScope call;
};

struct ReaderEntry {
  std::string name;         // UTF-8, "/" separators
  std::string comment;      // UTF-8
  std::string storedName;   // the engine's form: UTF-8 (under Utf8Names), "\" separators
  archive::NameProblem nameProblem = archive::NameProblem::None;  // no UTF-8 form
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint32_t crc32 = 0;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t dosDateTime = 0;
  uint16_t attributes = 0;  // what the extraction driver takes (DOS-made entries only)
  uint16_t versionMadeBy = 0;
  uint32_t externalAttributes = 0;
  uint32_t localHeaderOffset = 0;
  uint64_t localHeaderPosition = 0;  // in the file: zip64 offsets and data in front applied
  int64_t mtime = 0;                // the extended timestamp's, else the DOS time's
  std::optional<int64_t> unixTime;  // the extended timestamp's modification time
  // Set at opening when the entry may not be read: kEntryOverlapping (its data meets that of
  // an entry before it) or kEntryBadValues; 0 otherwise.
  int refusal = 0;

  bool IsDirectory() const;
  uint32_t UnixMode() const;
  void Fill(uint64_t index, kestrel_entry& out) const;
};

// The engine's result of one entry turned into the interface's code, with its message.
int EntryCode(int engineResult, std::string& message);

// Reads the directory of reader->archivePath into the reader, from the source it was given
// (shownPath names the archive in messages); the reader's result.
int LoadDirectory(kestrel_reader* reader, const std::string& shownPath);

}  // namespace kestrel::exports

struct kestrel_reader {
  std::string error;
  bool opened = false;
  int codePage = 0;        // as set: 0 for the ANSI code page
  int legacyCodePage = 0;  // names without the UTF-8 mark are read in this one
  std::optional<std::string> password;
  bool keepSpecialModes = false;  // setuid, setgid and sticky restored too
  kestrel_progress_fn progress = nullptr;
  void* progressContext = nullptr;
  int directorySource = KESTREL_DIRECTORY_WALKER;
  kestrel_disk_fn disk = nullptr;
  void* diskContext = nullptr;
  std::string floppyDir;  // the folder that is drive A: while it opens ("" for none)
  kestrel_directory_status status{};
  unsigned threads = 1;     // workers of extract_all; 0: one per processor
  std::string archivePath;  // the engine's (drive) path of the archive it reads
  std::string spoolPath;    // a copy made from callbacks or joined disks, removed on close
  std::unique_ptr<kestrel::exports::JoinedArchive> joined;  // a volume set on drive A:
  std::string comment;
  std::vector<kestrel::exports::ReaderEntry> entries;
  size_t cursor = 0;

  // Sets the message and returns code, for one-line failure returns.
  int Fail(int code, std::string message) {
    error = std::move(message);
    return code;
  }
  int Succeed() {
    error.clear();
    return KESTREL_OK;
  }
};

#endif
