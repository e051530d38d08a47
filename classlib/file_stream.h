// file_stream.h — streams over operating-system file handles: HandleStream works on a handle
// it is given (and does not close); FileStream opens or creates a file by name and owns the
// handle. Open modes keep the class library's values: access in bits 0-1, sharing above,
// fmCreate (0xFFFF) creates or truncates.
#pragma once

#include <cstdint>
#include <string>

#include "classlib/stream.h"
#include "platform/platform.h"

namespace kestrel::classlib {

enum FileMode : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

class HandleStream : public Stream {
 public:
  explicit HandleStream(os::FileHandle handle) : handle_(handle) {}
  std::string ClassName() const override { return "THandleStream"; }

  // Raises EReadError when the system reports a read failure (end of file is a count of 0).
  int32_t Read(void* buffer, int32_t count) override;
  // Returns the count the system accepted: fewer than count when the disk is full.
  int32_t Write(const void* buffer, int32_t count) override;
  // Raises EStreamError for an unknown origin or when the system refuses the position.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;
  // Truncates or extends the file; the position stays where it was (or at the new end).
  void SetSize(int64_t size) override;

  os::FileHandle Handle() const { return handle_; }

 protected:
  os::FileHandle handle_;
};

class FileStream : public HandleStream {
 public:
  // Opens fileName in mode (FileMode values). Raises EFCreateError "Cannot create file <name>"
  // for fmCreate, EFOpenError "Cannot open file <name>" otherwise.
  FileStream(const std::string& fileName, uint16_t mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  std::string ClassName() const override { return "TFileStream"; }

  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

}  // namespace kestrel::classlib
