// extract_entry.h — extracts one entry of a zip archive into one file (the extraction
// driver). Results are the ExtractResult codes of reader/unzip_state.h.
//
// Not re-entrant: one state per thread serves every call on it; a call made while another is
// in progress on the same thread (from a window procedure run by the message pump) returns
// ExtractBusy. Threads extracting at once each have their own state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace kestrel::reader {

// An entry's sizes as its central directory record gives them. The driver falls back on them
// where the local header lacks the sizes: a stored entry written with a data descriptor
// (zeros there; stored data has no end marker of its own) and sizes that only a zip64 extra
// field holds (0xFFFFFFFF there). They also tell a data descriptor without its optional
// signature from one with it.
struct DirectorySizes {
  uint32_t compressed = 0;
  uint32_t uncompressed = 0;
  // Filled from a walk's entry (DirectorySizesOf): the sizes at full width and where the local
  // header stands in the file, which then replaces the 32-bit headerOffset argument. The
  // output is then bounded too: an entry that produces more than its declared uncompressed
  // size stops with ExtractFormatError.
  uint64_t compressed64 = 0;
  uint64_t uncompressed64 = 0;
  int64_t headerPosition = -1;  // -1: not from a walk
};

struct ZipDirEntry;
DirectorySizes DirectorySizesOf(const ZipDirEntry& entry);

// What an entry made on Unix carries beyond the DOS fields, for hosts that keep it: the
// permission bits to give the file (already masked as the caller wants) and its exact
// modification time, which then replaces the DOS time.
struct UnixMetadata {
  std::optional<uint32_t> permissions;
  std::optional<int64_t> modificationTime;  // seconds since 1970 UTC
};

// Re-reads the local header at headerOffset of archivePath, creates outputPath (and the
// directories on its way; a directory entry, attribute bit 4 or a trailing "\", creates the
// directory only), decodes the data, checks the CRC and stamps time and attributes. A failed
// entry leaves no new file behind, and an existing file of that name as it was: it is
// replaced only by a file that checked out (written beside it first). progressWindow receives WM_COMMAND(notifyId, &percent); with
// no window, notifyId is a virtual-key code that cancels while held down (0: none).
// directory: the entry's sizes from the central directory; null when there is none (the
// local header alone then decides).
// unixMetadata: null, or what to apply besides (or instead of) the DOS attributes and time.
int ExtractEntry(const char* archivePath, const char* outputPath, uint16_t attributes,
                 int32_t headerOffset, os::WindowHandle progressWindow, int16_t notifyId,
                 const DirectorySizes* directory,
                 const UnixMetadata* unixMetadata = nullptr);

// True when a file or directory named name could clash with the temporary file that a
// replacement is written to beside its target ("kst", a number, ".tmp", in any case).
bool IsReplacementName(const std::string& name);

// Tests one entry: the same steps and results as ExtractEntry, but the data is decoded and
// checked without creating or writing anything.
int TestEntry(const char* archivePath, uint16_t attributes, int32_t headerOffset,
              int16_t notifyId, const DirectorySizes* directory);

// Where StreamEntry hands the data; returning false stops the entry with ExtractWriteError.
using OutputSink = bool (*)(void* context, const uint8_t* bytes, uint32_t n);

// Streams one entry's data to sink: the same steps and results as TestEntry, with the
// decoded bytes handed over in order (a directory entry gives none). No cancel key.
int StreamEntry(const char* archivePath, OutputSink sink, void* context, uint16_t attributes,
                int32_t headerOffset, const DirectorySizes* directory);

// Keeps archivePath open across the ExtractEntry / TestEntry calls of one walk, so that an
// entry costs no open and close of the archive, and its read buffer and the conversions of the
// entries' times serve the following entries. All of it ends with the hold.
class ArchiveHold {
 public:
  explicit ArchiveHold(const std::string& archivePath);
  ~ArchiveHold();
  ArchiveHold(const ArchiveHold&) = delete;
  ArchiveHold& operator=(const ArchiveHold&) = delete;

 private:
  bool owner_ = false;
};

// Called on the calling thread whenever an entry's percentage changes, with the uncompressed
// bytes produced so far for it; returning true cancels the entry (ExtractCancelled). Applies
// to the calling thread's later calls. Null: none.
using ProgressHook = bool (*)(void* context, uint64_t entryBytes);
void SetProgressHook(ProgressHook hook, void* context);

// The password for enciphered entries in the calling thread's later calls (kept by pointer,
// the caller keeps it alive); null: they fail with ExtractEncrypted. A wrong one gives
// ExtractBadPassword.
void SetPassword(const std::string* password);

// A short English description of a result, for messages ("CRC error", "encrypted", ...).
const char* ExtractResultText(int result);

}  // namespace kestrel::reader
