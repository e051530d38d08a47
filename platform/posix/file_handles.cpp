// file_handles.cpp — file handles over POSIX descriptors, with the Win32 rules the library
// relies on: a read-only file cannot be opened for writing (even by root), a directory cannot
// be opened as a file, and a write to an emulated floppy stops at its free space with
// kErrorDiskFull.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

int Fd(FileHandle file) { return static_cast<int>(file); }

bool ValidHandle(FileHandle file) {
  return file >= 0 && file <= INT32_MAX;
}

}  // namespace

FileHandle OpenFile(const std::string& path, Access access, Disposition disposition) {
  std::string host;
  char letter = 0;
  if (!posix::MapToHost(path, host, &letter)) return kInvalidFile;
  if (letter == 0) letter = posix::CurrentDriveLetter();

  int flags = O_CLOEXEC;
  flags |= access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
  switch (disposition) {
    case Disposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
    case Disposition::OpenExisting: break;
    case Disposition::OpenAlways: flags |= O_CREAT; break;
  }
  if ((flags & O_TRUNC) && access == Access::Read) flags = (flags & ~O_ACCMODE) | O_RDWR;

  // A new name needs none of the checks below: the exclusive create settles it at once.
  struct stat st;
  bool exists = false;
  int fd = -1;
  if (disposition == Disposition::CreateNew) {
    fd = ::open(host.c_str(), flags, 0666);
    // Names that differ only in case are different files here: a new file keeps the name it
    // was asked for, beside a file whose name differs from it only in case.
    if (fd < 0 && errno == EEXIST) {
      const std::string spelled = posix::SpelledLastName(host, path);
      if (spelled != host) {
        fd = ::open(spelled.c_str(), flags, 0666);
        if (fd >= 0 || errno == EEXIST) host = spelled;
      }
    }
    if (fd < 0 && errno == EEXIST) {
      const bool directory = ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      SetLastError(directory ? kErrorDirectoryNotSupported : kErrorFileExists);
      return kInvalidFile;
    }
  } else {
    exists = ::stat(host.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
      SetLastError(kErrorDirectoryNotSupported);
      return kInvalidFile;
    }
    // Opening a FIFO waits for a writer, and a socket cannot be opened at all: neither holds
    // a file's data. Nor does a device met as a source (a link to /dev/zero in a tree would
    // be read for ever); writing to one (/dev/null) stays allowed.
    const bool device = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    if (exists && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) ||
                   (device && access != Access::Write))) {
      SetLastError(kErrorBadFileType);
      return kInvalidFile;
    }
    bool writes = access != Access::Read;
    if (exists && (writes || disposition == Disposition::CreateAlways) &&
        !(st.st_mode & S_IWUSR)) {
      SetLastError(kErrorAccessDenied);  // read-only attribute
      return kInvalidFile;
    }
    // Without waiting: the name may have become a FIFO since the look above.
    fd = ::open(host.c_str(), flags | O_NONBLOCK, 0666);
    struct stat opened;
    if (fd >= 0 && ::fstat(fd, &opened) == 0 &&
        (S_ISFIFO(opened.st_mode) || S_ISSOCK(opened.st_mode))) {
      ::close(fd);
      SetLastError(kErrorBadFileType);
      return kInvalidFile;
    }
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (fd < 0) {
    const int err = errno;
    posix::SetErrorFromErrno(err, host);
    // A create fails with ENOENT only for a directory missing on the way; asking whether the
    // parent exists afterwards could find it made meanwhile by another thread.
    if (err == ENOENT && (flags & O_CREAT)) SetLastError(kErrorPathNotFound);
    return kInvalidFile;
  }
  if (!exists && (flags & O_CREAT)) posix::NoteCreated(host);
  if (posix::DriveOf(letter).removable) posix::RegisterFloppyHandle(fd, letter);
  // Windows reports ERROR_ALREADY_EXISTS after opening an existing file with these two.
  bool reopened = exists && (disposition == Disposition::CreateAlways ||
                             disposition == Disposition::OpenAlways);
  SetLastError(reopened ? kErrorAlreadyExists : kErrorSuccess);
  return fd;
}

bool ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  if (!ValidHandle(file)) return posix::Fail(kErrorInvalidHandle);
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    ssize_t n = ::read(Fd(file), out + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(posix::ErrorFromErrno(errno));
      return false;
    }
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  return true;
}

bool WriteFile(FileHandle file, const void* buffer, uint32_t count, uint32_t& done) {
  done = 0;
  if (!ValidHandle(file)) return posix::Fail(kErrorInvalidHandle);
  uint32_t allowed = count;
  if (posix::FloppyDriveOfHandle(Fd(file)) != 0) {
    off_t position = ::lseek(Fd(file), 0, SEEK_CUR);
    uint64_t limit = posix::FloppyMaxFileSize(Fd(file));
    uint64_t pos = position < 0 ? 0 : static_cast<uint64_t>(position);
    uint64_t room = limit > pos ? limit - pos : 0;
    allowed = static_cast<uint32_t>(std::min<uint64_t>(count, room));
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (done < allowed) {
    ssize_t n = ::write(Fd(file), in + done, allowed - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(posix::ErrorFromErrno(errno));
      return false;
    }
    done += static_cast<uint32_t>(n);
  }
  if (done < count) return posix::Fail(kErrorDiskFull);
  return true;
}

int64_t SeekFile(FileHandle file, int64_t offset, SeekFrom from) {
  if (!ValidHandle(file)) {
    SetLastError(kErrorInvalidHandle);
    return -1;
  }
  int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
  off_t base = 0;
  if (whence != SEEK_SET) {
    struct stat st;
    base = whence == SEEK_CUR ? ::lseek(Fd(file), 0, SEEK_CUR)
                              : (::fstat(Fd(file), &st) == 0 ? st.st_size : -1);
    if (base < 0) {
      SetLastError(posix::ErrorFromErrno(errno));
      return -1;
    }
    // A position query (the most frequent seek of all) needs no second call.
    if (whence == SEEK_CUR && offset == 0) return base;
  }
  if (offset < 0 && -offset > base) {
    SetLastError(kErrorNegativeSeek);
    return -1;
  }
  off_t result = ::lseek(Fd(file), static_cast<off_t>(base + offset), SEEK_SET);
  if (result < 0) {
    SetLastError(posix::ErrorFromErrno(errno));
    return -1;
  }
  return result;
}

int64_t FileSize(FileHandle file) {
  struct stat st;
  if (!ValidHandle(file) || ::fstat(Fd(file), &st) != 0) {
    SetLastError(kErrorInvalidHandle);
    return -1;
  }
  return st.st_size;
}

bool SetEndOfFile(FileHandle file) {
  if (!ValidHandle(file)) return posix::Fail(kErrorInvalidHandle);
  off_t position = ::lseek(Fd(file), 0, SEEK_CUR);
  if (position < 0) return posix::Fail(posix::ErrorFromErrno(errno));
  if (static_cast<uint64_t>(position) > posix::FloppyMaxFileSize(Fd(file))) {
    return posix::Fail(kErrorDiskFull);
  }
  if (::ftruncate(Fd(file), position) != 0) return posix::Fail(posix::ErrorFromErrno(errno));
  return true;
}

bool CloseFile(FileHandle file) {
  if (!ValidHandle(file)) return posix::Fail(kErrorInvalidHandle);
  posix::ForgetHandle(Fd(file));
  if (::close(Fd(file)) != 0) return posix::Fail(posix::ErrorFromErrno(errno));
  return true;
}

bool GetFileTime(FileHandle file, FileTime* creation, FileTime* access, FileTime* lastWrite) {
  struct statx sx;
  if (!ValidHandle(file) ||
      ::statx(Fd(file), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    return posix::Fail(kErrorInvalidHandle);
  }
  auto convert = [](const struct statx_timestamp& t) {
    return posix::FromTimespec(timespec{static_cast<time_t>(t.tv_sec), t.tv_nsec});
  };
  if (lastWrite != nullptr) *lastWrite = convert(sx.stx_mtime);
  if (access != nullptr) *access = convert(sx.stx_atime);
  if (creation != nullptr) {
    // Without a birth time the change time is the nearest the host keeps.
    *creation = convert((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
  }
  return true;
}

bool SetFileTime(FileHandle file, const FileTime* /*creation: the host cannot set it*/,
                 const FileTime* access, const FileTime* lastWrite) {
  if (!ValidHandle(file)) return posix::Fail(kErrorInvalidHandle);
  timespec times[2];
  times[0] = access != nullptr ? posix::ToTimespec(*access) : timespec{0, UTIME_OMIT};
  times[1] = lastWrite != nullptr ? posix::ToTimespec(*lastWrite) : timespec{0, UTIME_OMIT};
  if (::futimens(Fd(file), times) != 0) return posix::Fail(posix::ErrorFromErrno(errno));
  return true;
}

}  // namespace kestrel::os
