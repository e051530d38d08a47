// file_stream.cpp — handle-based streams on the platform layer's file calls.
#include "classlib/file_stream.h"

#include "classlib/exception.h"
#include "classlib/format.h"
#include "classlib/os_error_text.h"

namespace kestrel::classlib {

int32_t HandleStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  uint32_t done = 0;
  if (!os::ReadFile(handle_, buffer, static_cast<uint32_t>(count), done))
    throw EReadError(WithOsReason("Stream read error"));
  return static_cast<int32_t>(done);
}

int32_t HandleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  uint32_t done = 0;
  os::WriteFile(handle_, buffer, static_cast<uint32_t>(count), done);
  return static_cast<int32_t>(done);
}

int64_t HandleStream::Seek(int64_t offset, SeekOrigin origin) {
  os::SeekFrom from;
  switch (origin) {
    case soFromBeginning: from = os::SeekFrom::Begin; break;
    case soFromCurrent: from = os::SeekFrom::Current; break;
    case soFromEnd: from = os::SeekFrom::End; break;
    default: throw EStreamError(Format("Invalid seek origin (%d)", static_cast<int>(origin)));
  }
  const int64_t position = os::SeekFile(handle_, offset, from);
  if (position < 0) throw EStreamError("Stream seek error");
  return position;
}

int64_t HandleStream::Size() {
  const int64_t size = os::FileSize(handle_);
  if (size < 0) throw EStreamError("Stream size error");
  return size;
}

void HandleStream::SetSize(int64_t size) {
  const int64_t position = Seek(0, soFromCurrent);
  Seek(size, soFromBeginning);
  if (!os::SetEndOfFile(handle_)) throw EStreamError("Stream size error");
  Seek(position < size ? position : size, soFromBeginning);
}

FileStream::FileStream(const std::string& fileName, uint16_t mode)
    : HandleStream(os::kInvalidFile), fileName_(fileName) {
  if (mode == fmCreate) {
    handle_ = os::OpenFile(fileName, os::Access::ReadWrite, os::Disposition::CreateAlways);
    if (handle_ == os::kInvalidFile)
      throw EFCreateError(WithOsReason(Format("Cannot create file %s", fileName.c_str())));
    return;
  }
  os::Access access = os::Access::Read;
  if ((mode & 3) == fmOpenWrite) access = os::Access::Write;
  if ((mode & 3) == fmOpenReadWrite) access = os::Access::ReadWrite;
  handle_ = os::OpenFile(fileName, access, os::Disposition::OpenExisting);
  if (handle_ == os::kInvalidFile)
    throw EFOpenError(WithOsReason(Format("Cannot open file %s", fileName.c_str())));
}

FileStream::~FileStream() {
  if (handle_ != os::kInvalidFile) os::CloseFile(handle_);
}

}  // namespace kestrel::classlib
