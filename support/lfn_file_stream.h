// lfn_file_stream.h — TLFNFileStream: a buffered stream (TS_BufferStream) over a file stream
// that it opens by name and owns. The component opens archives and source files with it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "classlib/file_stream.h"
#include "support/buffer_stream.h"

namespace kestrel::support {

namespace detail {
// Holds the owned file stream in a base that is built before, and destroyed after, the
// buffered stream: pending bytes are written out before the file closes.
struct OwnedFileStream {
  explicit OwnedFileStream(std::unique_ptr<classlib::FileStream> stream)
      : file(std::move(stream)) {}
  std::unique_ptr<classlib::FileStream> file;
};
}  // namespace detail

class TLFNFileStream : private detail::OwnedFileStream, public TS_BufferStream {
 public:
  // mode: the class library's open mode (fmOpenRead 0, fmOpenWrite 1, fmOpenReadWrite 2, share
  // bits above, fmCreate 0xFFFF). Raises EFOpenError / EFCreateError when the file cannot be
  // opened or created. Flush-on-destroy applies only when the file was opened for writing.
  TLFNFileStream(const std::string& fileName, uint16_t mode, bool flushOnDestroy = false,
                 int32_t bufferSize = 8192);
  ~TLFNFileStream() override = default;
  std::string ClassName() const override { return "TLFNFileStream"; }

  os::FileHandle Handle() const { return file->Handle(); }
  classlib::FileStream& File() const { return *file; }
};

}  // namespace kestrel::support
