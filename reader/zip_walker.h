// zip_walker.h — the procedural reader's front end: tells a zip archive from other files and
// walks its central directory one record at a time, without decompressing anything.
//
// All state of a walk lives in the caller's ZipDirEntry (no module-level state), so several
// walks may be open at once, each with its own record. The directory is held in one window of
// at most 64000 bytes; a larger directory streams through it from the still-open archive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/entry_name.h"
#include "platform/platform.h"

namespace kestrel::reader {

inline constexpr uint16_t kMaxWalkerWindow = 64000;
// Windows' 260-byte paths cannot take a longer name, so longer stored names are cut there;
// elsewhere a name is delivered whole (the format's 16-bit length is its only limit).
inline constexpr size_t kMaxEntryName = os::kMaxPath <= 260 ? os::kMaxPath - 1 : 0xFFFF;
// The length an entry name keeps: a zero byte ends it (the engines and hosts take it as a C
// string), and no more than kMaxEntryName bytes.
inline size_t KeptNameLength(const std::string& name) {
  return std::min({name.size(), name.find('\0'), kMaxEntryName});
}
inline constexpr size_t kMaxIsZipPath = os::kMaxPath - 1;  // longer isZip paths are refused

// One walk and the entry it last delivered. Owned by the caller; not copyable, since an open
// walk owns its window (and, streaming, the archive file).
struct ZipDirEntry {
  std::unique_ptr<uint8_t[]> window;  // empty when the walk is closed
  uint16_t windowSize = 0;
  uint16_t position = 0;            // offset in the window of the next record to parse
  uint32_t dateTime = 0;            // DOS time in the low 16 bits, DOS date in the high 16
  uint32_t uncompressedSize = 0;
  uint32_t compressedSize = 0;
  uint32_t localHeaderOffset = 0;
  uint32_t crc32 = 0;
  // "/" already turned into "\": the internal name (ANSI code page in force), from the UTF-8
  // of bit 11 or a Unicode-path field, else from legacyCodePage; at most kMaxEntryName bytes.
  // When nameProblem is set it holds the stored bytes as they are, only to be shown.
  std::string name;
  archive::NameProblem nameProblem = archive::NameProblem::None;
  // Set, with nameProblem NoAnsiForm, when the name has a UTF-8 form: name then holds that,
  // under which a caller may still create the file (through a UTF-8 CodePageScope).
  bool nameInUtf8 = false;
  // Set by the caller before FirstZipEntry: the code page of names without the UTF-8 mark
  // (0: the ANSI code page, bytes taken as they are).
  int legacyCodePage = 0;
  uint16_t method = 0;
  uint16_t attributes = 0;  // low byte of the external attributes for DOS/NTFS hosts, else 0
  uint16_t flags = 0;
  // The record's fields beyond what the extraction needs, for callers that list entries.
  uint16_t versionMadeBy = 0;        // high byte: the system that made it (3 = Unix)
  uint32_t externalAttributes = 0;   // all 32 bits (a Unix mode in the high 16)
  std::string comment;               // the entry's comment, as stored
  std::string commentExtra;          // the central extra field, kept only when it holds a
                                     // Unicode comment field (0x6375)
  std::string archiveComment;        // set by FirstZipEntry: the end record's comment
  bool hasUnixTime = false;          // the central record has an extended timestamp
  int64_t unixTime = 0;              // its modification time, seconds since 1970 UTC
  os::FileHandle file = os::kInvalidFile;  // the open archive, in streaming mode only

  // Beside the fields above, which keep the record's own 32-bit values: the entry's values at
  // full width (zip64), its local header's place in the file (any data in front of the
  // archive accounted for), and whether those cannot be had (its zip64 extra field lacks a value it
  // must carry, or its offset falls before the file).
  uint64_t uncompressedSize64 = 0;
  uint64_t compressedSize64 = 0;
  uint64_t localHeaderPosition = 0;
  bool invalidValues = false;
  // The walk's account of the directory, kept after the walk closes: the entries the end
  // record declares, those delivered, and whether the walk ended where the directory should.
  uint64_t entriesDeclared = 0;
  uint64_t entriesRead = 0;
  bool reachedDirectoryEnd = false;
  int64_t windowStart = 0;   // file position of window[0]
  int64_t directoryEnd = 0;  // file position of the record that follows the directory
  int64_t offsetShift = 0;   // added to recorded offsets: the bytes in front of the archive

  ZipDirEntry() = default;
  ZipDirEntry(const ZipDirEntry&) = delete;
  ZipDirEntry& operator=(const ZipDirEntry&) = delete;
  ~ZipDirEntry();  // closes a walk left open
  // st_mode of an entry made on Unix, else 0.
  uint32_t UnixMode() const { return versionMadeBy >> 8 == 3 ? externalAttributes >> 16 : 0; }
};

// True for a zip archive or a DOS self-extracting zip archive. Never changes the current
// directory: a directory is told from a file by its attributes. Paths over kMaxIsZipPath
// characters are refused (false).
bool IsZipArchive(const std::string& path);

// 0: the first entry is in entry; 1: the directory ends (or is malformed) at its first record;
// -1: the file cannot be opened or read, is empty, has no end record, or its end record points
// outside the file; -2: the end record lies before file offset 46.
int32_t FirstZipEntry(const std::string& path, ZipDirEntry& entry);

// 0: the next entry is in entry; 1: end of the directory, a malformed record or a read error;
// -2: the walk is not open.
int32_t NextZipEntry(ZipDirEntry& entry);

// True when a walk that has ended stopped before the directory the end record declares: a
// malformed or cut record, or fewer (or more) records than it counts.
bool DirectoryDamaged(const ZipDirEntry& entry);

// Ends the walk; harmless when it is already closed. Every non-zero result of FirstZipEntry
// and NextZipEntry has already closed it.
void CloseZipEntries(ZipDirEntry& entry);

}  // namespace kestrel::reader
