// stream.h — the abstract byte stream of the class library: Read returns the count delivered,
// Write the count accepted, Seek moves from the beginning, the current position or the end.
// ReadBuffer/WriteBuffer raise EReadError/EWriteError on a short transfer.
#pragma once

#include <cstdint>

#include "classlib/object.h"

namespace kestrel::classlib {

// The numeric values are the documented origins (0, 1, 2); a stream given any other value
// raises its own error.
enum SeekOrigin : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class Stream : public Object {
 public:
  std::string ClassName() const override { return "TStream"; }

  // Reads up to count bytes into buffer; returns how many were delivered (0 at the end).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Writes up to count bytes; returns how many were accepted (fewer when the medium is full).
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves the position; returns the new position from the beginning.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, soFromBeginning); }
  // The default measures with Seek and puts the position back.
  virtual int64_t Size();
  // The default raises EStreamError: a stream that can change its size overrides it.
  virtual void SetSize(int64_t size);

  // Exactly count bytes or EReadError "Stream read error".
  void ReadBuffer(void* buffer, int32_t count);
  // Exactly count bytes or EWriteError "Stream write error".
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies exactly count bytes from source's current position (count <= 0 copies nothing);
  // raises EReadError/EWriteError when source ends early or this stream refuses bytes.
  // Returns count.
  int64_t CopyFrom(Stream& source, int64_t count);
  // Copies the whole of source, from its beginning; returns the number of bytes copied.
  int64_t CopyAllFrom(Stream& source);
};

}  // namespace kestrel::classlib
