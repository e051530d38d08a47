// lfn_file_stream.cpp — the buffered file stream that owns its file.
#include "support/lfn_file_stream.h"

#include "classlib/file_stream.h"

namespace kestrel::support {

TLFNFileStream::TLFNFileStream(const std::string& fileName, uint16_t mode, bool flushOnDestroy,
                               int32_t bufferSize)
    : OwnedFileStream(std::make_unique<classlib::FileStream>(fileName, mode)),
      TS_BufferStream(nullptr, bufferSize) {
  SetUnderlyingStream(file.get());
  // fmCreate (0xFFFF) has the access bits set too: a created file was opened for writing.
  SetFlushOnDestroy(flushOnDestroy && (mode & 3) != 0);
}

}  // namespace kestrel::support
