// file_utils.h — the class library's file queries on top of the platform layer: existence,
// age and attributes, delete and rename, and the FindFirst/FindNext search record.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace kestrel::classlib {

enum FileAttr : uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faAnyFile = 0x3F,
};

// One entry of a directory listing.
struct SearchRec {
  uint32_t Time = 0;    // last-write time, packed DOS date-time in local time
  int64_t Size = 0;     // bytes
  uint32_t Attr = 0;    // DOS attributes
  std::string Name;     // long name, ANSI
  uint32_t ExcludeAttr = 0;
  os::FindHandle FindHandle = os::kInvalidFind;
  os::FindData FindData;
};

// Starts a listing of path (a directory followed by a mask). Entries with the hidden, system,
// directory or volume attribute are skipped unless attr admits them. Returns 0 with the first
// entry, or the system's error code (no handle is then left open).
int FindFirst(const std::string& path, uint32_t attr, SearchRec& rec);
// 0 with the next entry, or the system's error code (18 at the end).
int FindNext(SearchRec& rec);
// Closes the listing (safe to call twice, or after a failed FindFirst).
void FindClose(SearchRec& rec);

// Last-write time of a file as a packed local DOS date-time; 0xFFFFFFFF when it is missing.
uint32_t FileAge(const std::string& fileName);
// Last-write time of an open file as a packed local DOS date-time; 0xFFFFFFFF on failure.
uint32_t FileGetDate(os::FileHandle handle);
// Sets the last-write time of an open file from a packed local DOS date-time.
bool FileSetDate(os::FileHandle handle, uint32_t dosDateTime);
bool FileExists(const std::string& fileName);  // an existing file, not a directory
bool DirectoryExists(const std::string& path);
// DOS attributes; kInvalidAttributes (0xFFFFFFFF) when the file is missing.
uint32_t FileGetAttr(const std::string& fileName);
bool FileSetAttr(const std::string& fileName, uint32_t attributes);
bool DeleteFile(const std::string& fileName);
bool RenameFile(const std::string& oldName, const std::string& newName);
// Creates every missing directory of path; true when the whole chain exists afterwards.
bool ForceDirectories(const std::string& path);

}  // namespace kestrel::classlib
