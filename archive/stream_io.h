// stream_io.h — the few stream operations the archive model uses, as small helpers over the
// class library's Stream: reading what is there, positioning, writing exactly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "classlib/stream.h"

namespace kestrel::archive {

// Reads up to n bytes; returns how many arrived (fewer at the end of the stream).
inline uint32_t ReadUpTo(classlib::Stream& s, void* buffer, uint32_t n) {
  uint32_t done = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (done < n) {
    int32_t got = s.Read(p + done, static_cast<int32_t>(n - done));
    if (got <= 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}
inline int64_t StreamPosition(classlib::Stream& s) { return s.Seek(0, classlib::soFromCurrent); }
inline int64_t StreamSeek(classlib::Stream& s, int64_t position) {
  return s.Seek(position, classlib::soFromBeginning);
}
inline int64_t StreamSize(classlib::Stream& s) { return s.Size(); }
// Exactly n bytes, or the stream's write error.
inline void StreamWrite(classlib::Stream& s, const void* buffer, size_t n) {
  s.WriteBuffer(buffer, static_cast<int32_t>(n));
}

}  // namespace kestrel::archive
