// file_ops.cpp — operations on files and directories by name: create and remove directories,
// delete, rename, copy, and the current directory. Win32 rules kept: a read-only file cannot
// be deleted or replaced; MoveFile moves a file across file systems by copying; a file moved
// or copied onto an emulated floppy goes through its free-space check.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

bool ReadOnlyFile(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR);
}

bool Exists(const std::string& host) {
  struct stat st;
  return ::lstat(host.c_str(), &st) == 0;
}

// Copies from -> to through the handle layer (so floppy limits apply), with the last-write
// time and the read-only attribute. A partial copy is removed.
bool CopyThrough(const std::string& from, const std::string& to, bool failIfExists) {
  FileHandle in = OpenFile(from, Access::Read, Disposition::OpenExisting);
  if (in == kInvalidFile) return false;
  FileHandle out = OpenFile(to, Access::Write,
                            failIfExists ? Disposition::CreateNew : Disposition::CreateAlways);
  if (out == kInvalidFile) {
    uint32_t error = LastError();
    CloseFile(in);
    return posix::Fail(error);
  }
  std::vector<uint8_t> buffer(65536);
  bool ok = true;
  uint32_t error = kErrorSuccess;
  for (;;) {
    uint32_t got = 0, put = 0;
    if (!ReadFile(in, buffer.data(), static_cast<uint32_t>(buffer.size()), got)) {
      ok = false;
      error = LastError();
      break;
    }
    if (got == 0) break;
    if (!WriteFile(out, buffer.data(), got, put)) {
      ok = false;
      error = LastError();
      break;
    }
  }
  FileTime lastWrite;
  if (ok && GetFileTime(in, nullptr, nullptr, &lastWrite)) SetFileTime(out, nullptr, nullptr, &lastWrite);
  CloseFile(in);
  CloseFile(out);
  if (!ok) {
    DeleteFile(to);
    return posix::Fail(error);
  }
  uint32_t attributes = GetFileAttributes(from);
  if (attributes != kInvalidAttributes) SetFileAttributes(to, attributes);
  return true;
}

bool OnFloppy(char letter) { return letter != 0 && posix::DriveOf(letter).removable; }

// Moves a file: a rename where the host allows it, else a copy and a delete.
bool Move(const std::string& from, const std::string& to, bool replace) {
  std::string hostFrom, hostTo;
  char letterFrom = 0, letterTo = 0;
  if (!posix::MapToHost(from, hostFrom, &letterFrom) || !posix::MapToHost(to, hostTo, &letterTo)) {
    return false;
  }
  if (!Exists(hostFrom)) {
    posix::SetErrorFromErrno(ENOENT, hostFrom);
    return false;
  }
  if (Exists(hostTo)) {
    if (!replace) return posix::Fail(kErrorAlreadyExists);
    if (ReadOnlyFile(hostTo)) return posix::Fail(kErrorAccessDenied);
  }
  // Onto a floppy from elsewhere the bytes must be counted, so copy.
  bool mustCopy = OnFloppy(letterTo) && letterFrom != letterTo;
  if (!mustCopy) {
    if (::rename(hostFrom.c_str(), hostTo.c_str()) == 0) {
      posix::NoteRemoved(hostFrom);
      posix::NoteCreated(hostTo);
      return true;
    }
    if (errno != EXDEV) {
      posix::SetErrorFromErrno(errno, hostTo);
      return false;
    }
  }
  struct stat st;
  if (::stat(hostFrom.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    return posix::Fail(kErrorNotSameDevice);  // directories are not moved across drives
  }
  if (!replace) {
    if (!CopyThrough(from, to, true)) return false;
    SetFileAttributes(from, kAttrNormal);  // the source may be read-only
    return DeleteFile(from);
  }
  // Copy beside the target, then rename over it, so the target is never half written.
  std::string temp = to + ".kestrel-move";
  if (!CopyThrough(from, temp, false)) return false;
  std::string hostTemp;
  posix::MapToHost(temp, hostTemp);
  if (::rename(hostTemp.c_str(), hostTo.c_str()) != 0) {
    uint32_t error = posix::ErrorFromErrno(errno);
    ::unlink(hostTemp.c_str());
    posix::NoteRemoved(hostTemp);
    return posix::Fail(error);
  }
  posix::NoteRemoved(hostTemp);
  posix::NoteCreated(hostTo);
  SetFileAttributes(from, kAttrNormal);  // the source may be read-only
  return DeleteFile(from);
}

}  // namespace

bool CreateDirectory(const std::string& path) {
  std::string host, spelled;
  if (!posix::MapToHost(path, host, nullptr, &spelled)) return false;
  if (::mkdir(host.c_str(), 0777) != 0) {
    if (errno == EEXIST) return posix::Fail(kErrorAlreadyExists);
    posix::SetErrorFromErrno(errno, host);
    if (LastError() == kErrorFileNotFound) SetLastError(kErrorPathNotFound);
    return false;
  }
  posix::NoteCreated(host, true, spelled);
  return true;
}

bool RemoveDirectory(const std::string& path) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  if (::rmdir(host.c_str()) != 0) {
    if (errno == ENOTDIR) return posix::Fail(kErrorDirectory);
    posix::SetErrorFromErrno(errno, host);
    return false;
  }
  posix::NoteRemoved(host);
  return true;
}

bool DeleteFile(const std::string& path) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  if (ReadOnlyFile(host)) return posix::Fail(kErrorAccessDenied);
  if (::unlink(host.c_str()) != 0) {
    posix::SetErrorFromErrno(errno, host);
    return false;
  }
  posix::NoteRemoved(host);
  return true;
}

bool MoveFile(const std::string& from, const std::string& to) { return Move(from, to, false); }

bool MoveFileReplace(const std::string& from, const std::string& to) {
  return Move(from, to, true);
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return CopyThrough(from, to, failIfExists);
}

std::string GetCurrentDirectory() {
  char cwd[4096];
  std::string drivePath;
  if (::getcwd(cwd, sizeof cwd) == nullptr) {
    SetLastError(posix::ErrorFromErrno(errno));
    return {};
  }
  if (!host::DrivePath(cwd, drivePath)) return {};
  return drivePath;
}

bool SetCurrentDirectory(const std::string& path) {
  std::string host;
  if (!posix::MapToHost(path, host)) return false;
  if (::chdir(host.c_str()) != 0) {
    posix::SetErrorFromErrno(errno, host);
    if (LastError() == kErrorFileNotFound) SetLastError(kErrorPathNotFound);
    return false;
  }
  return true;
}

}  // namespace kestrel::os
