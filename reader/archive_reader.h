// archive_reader.h — reads the archive for the extraction driver through one large buffer:
// the local header, the compressed data behind it and the next entry's header usually come
// from a single read, and a seek inside the buffered bytes costs nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace kestrel::reader {

class ArchiveReader {
 public:
  // Reads file from now on, starting at position 0; the buffered bytes of any earlier file
  // are forgotten.
  void Attach(os::FileHandle file);
  // Moves to position (a negative one fails, as a seek before the start does).
  bool Seek(int64_t position);
  // Reads up to count bytes at the position and moves past them; done tells how many (fewer
  // at the end of the file). False on an I/O error.
  bool Read(void* buffer, uint32_t count, uint32_t& done);

 private:
  bool Refill();

  os::FileHandle file_ = os::kInvalidFile;
  std::vector<uint8_t> buffer_;
  int64_t bufferStart_ = 0;    // file position of buffer_[0]
  uint32_t bufferFill_ = 0;    // valid bytes in buffer_
  int64_t position_ = 0;       // the reader's position
  int64_t filePosition_ = -1;  // the system's file pointer, -1 when unknown
};

}  // namespace kestrel::reader
