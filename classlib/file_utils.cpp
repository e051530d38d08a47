// file_utils.cpp — file queries and the search record, on the platform layer.
#include "classlib/file_utils.h"

#include "classlib/path_utils.h"

namespace kestrel::classlib {

namespace {

// The listing skips entries with one of these attributes unless the caller admits it.
constexpr uint32_t kFilteredAttributes = faHidden | faSysFile | faVolumeID | faDirectory;

uint32_t LocalDosTime(const os::FileTime& utc) {
  os::FileTime local;
  uint16_t date = 0;
  uint16_t time = 0;
  if (!os::FileTimeToLocalFileTime(utc, local) || !os::FileTimeToDosDateTime(local, date, time))
    return 0xFFFFFFFFu;
  return (static_cast<uint32_t>(date) << 16) | time;
}

// Skips entries excluded by rec.ExcludeAttr; fills rec from the first admitted one.
int MatchingEntry(SearchRec& rec) {
  while ((rec.FindData.attributes & rec.ExcludeAttr) != 0) {
    if (!os::FindNextFile(rec.FindHandle, rec.FindData)) return static_cast<int>(os::LastError());
  }
  rec.Time = LocalDosTime(rec.FindData.lastWrite);
  rec.Size = static_cast<int64_t>(rec.FindData.size);
  rec.Attr = rec.FindData.attributes;
  rec.Name = rec.FindData.name;
  return 0;
}

}  // namespace

int FindFirst(const std::string& path, uint32_t attr, SearchRec& rec) {
  rec.ExcludeAttr = ~attr & kFilteredAttributes;
  rec.FindHandle = os::FindFirstFile(path, rec.FindData);
  if (rec.FindHandle == os::kInvalidFind) return static_cast<int>(os::LastError());
  const int result = MatchingEntry(rec);
  if (result != 0) FindClose(rec);
  return result;
}

int FindNext(SearchRec& rec) {
  if (!os::FindNextFile(rec.FindHandle, rec.FindData)) return static_cast<int>(os::LastError());
  return MatchingEntry(rec);
}

void FindClose(SearchRec& rec) {
  if (rec.FindHandle != os::kInvalidFind) {
    os::FindClose(rec.FindHandle);
    rec.FindHandle = os::kInvalidFind;
  }
}

uint32_t FileAge(const std::string& fileName) {
  SearchRec rec;
  if (FindFirst(fileName, faAnyFile & ~faDirectory, rec) != 0) return 0xFFFFFFFFu;
  FindClose(rec);
  return rec.Time;
}

uint32_t FileGetDate(os::FileHandle handle) {
  os::FileTime lastWrite;
  if (!os::GetFileTime(handle, nullptr, nullptr, &lastWrite)) return 0xFFFFFFFFu;
  return LocalDosTime(lastWrite);
}

bool FileSetDate(os::FileHandle handle, uint32_t dosDateTime) {
  os::FileTime local;
  os::FileTime utc;
  return os::DosDateTimeToFileTime(static_cast<uint16_t>(dosDateTime >> 16),
                                   static_cast<uint16_t>(dosDateTime & 0xFFFF), local) &&
         os::LocalFileTimeToFileTime(local, utc) &&
         os::SetFileTime(handle, nullptr, nullptr, &utc);
}

bool FileExists(const std::string& fileName) {
  const uint32_t attributes = os::GetFileAttributes(fileName);
  return attributes != os::kInvalidAttributes && (attributes & faDirectory) == 0;
}

bool DirectoryExists(const std::string& path) {
  const uint32_t attributes = os::GetFileAttributes(path);
  return attributes != os::kInvalidAttributes && (attributes & faDirectory) != 0;
}

uint32_t FileGetAttr(const std::string& fileName) { return os::GetFileAttributes(fileName); }

bool FileSetAttr(const std::string& fileName, uint32_t attributes) {
  return os::SetFileAttributes(fileName, attributes);
}

bool DeleteFile(const std::string& fileName) { return os::DeleteFile(fileName); }

bool RenameFile(const std::string& oldName, const std::string& newName) {
  return os::MoveFile(oldName, newName);
}

bool ForceDirectories(const std::string& path) {
  const std::string dir = ExcludeTrailingBackslash(path);
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  const std::string parent = ExtractFileDir(dir);
  // A root or a bare drive cannot be created; stop there.
  if (parent == dir || parent.empty()) return os::CreateDirectory(dir) || DirectoryExists(dir);
  if (!ForceDirectories(parent)) return false;
  return os::CreateDirectory(dir) || DirectoryExists(dir);
}

}  // namespace kestrel::classlib
