// api_reader_call.h — what one extract or test call of a reader sets up on the calling
// thread's extraction engine (the reader's password and a progress hook that can cancel),
// undone when the call ends, and how an entry is handed to the engine.
#pragma once

// The reading interface exists on Linux hosts only (kestrel.h declares it there).
#if !defined(_WIN32)

#include <cstdint>
#include <string>

#include "exports/api_reader.h"
#include "exports/unix_extraction.h"
#include "reader/extract_entry.h"

namespace kestrel::exports {

class ReaderCall {
 public:
  // bytesTotal: the uncompressed bytes the whole call will produce (for the progress).
  ReaderCall(kestrel_reader* reader, uint64_t bytesTotal);
  ~ReaderCall();
  ReaderCall(const ReaderCall&) = delete;
  ReaderCall& operator=(const ReaderCall&) = delete;

  // The entry about to be decoded (progress names it).
  void StartEntry(const ReaderEntry& entry);
  // The entry is done: its bytes count as done, and progress hears of it. False when the
  // progress callback asked to cancel.
  bool FinishEntry(const ReaderEntry& entry);
  // Tells the progress callback that entryBytes of entry are done beside the finished entries;
  // true when it asks to cancel. False at once when there is no callback.
  bool Progress(const ReaderEntry& entry, uint64_t entryBytes);
  bool HasProgress() const { return reader_->progress != nullptr; }

 private:
  static bool OnBytes(void* context, uint64_t entryBytes);

  kestrel_reader* reader_;
  const std::string* entryName_ = nullptr;
  uint64_t bytesDone_ = 0;
  uint64_t bytesTotal_;
  Utf8Names utf8_;
  bool engaged_;  // this call owns the engine's settings
  reader::ArchiveHold hold_;
};

// The entry's sizes for the driver, from the central directory.
reader::DirectorySizes SizesOf(const ReaderEntry& entry);

// The entry for the Unix side of an extraction, created under name ("\" separators).
UnixEntry UnixEntryOf(const ReaderEntry& entry, const std::string& name);

}  // namespace kestrel::exports

#endif
