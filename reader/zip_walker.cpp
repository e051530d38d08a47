// zip_walker.cpp — IsZipArchive and the central directory walk.
//
// The end record is the one whose comment ends the file, as the component takes it; failing
// that, it is searched for backwards in 4096-byte blocks that overlap by 22 bytes, so every
// candidate is seen with its whole fixed part. Its zip64 end record and any data in front of
// the archive are accounted for (archive/directory_location.h). The directory is then read into one
// window that ends with the end record's signature; a directory of 64000 bytes or more
// streams through a 64000-byte window that slides forward whenever the next record does not
// lie wholly inside it. windowSize always counts the bytes actually loaded, so no record is
// ever parsed from bytes the walker did not read.
#include "reader/zip_walker.h"

#include <algorithm>
#include <cstring>

#include "archive/directory_location.h"
#include "archive/extended_timestamp.h"
#include "archive/extra_fields.h"
#include "archive/zip64_records.h"
#include "archive/zip_records.h"

namespace kestrel::reader {

namespace {

using archive::LoadLe16;
using archive::LoadLe32;

constexpr uint32_t kSearchBlock = 4096;
constexpr uint32_t kHeaderProbe = 10;   // bytes read from the start of a candidate file
constexpr uint32_t kDosPage = 512;

// Reads until count bytes arrived or the file ends; false on a read error.
bool ReadUpTo(os::FileHandle file, uint8_t* buffer, uint32_t count, uint32_t& got) {
  got = 0;
  while (got < count) {
    uint32_t done = 0;
    if (!os::ReadFile(file, buffer + got, count - got, done)) return false;
    if (done == 0) break;
    got += done;
  }
  return true;
}

bool StartsWithLocalHeader(const uint8_t* bytes) {
  return LoadLe32(bytes) == archive::kLocalHeaderSignature;
}

// A DOS executable whose zip data starts right after its DOS image (or one byte later).
bool IsSelfExtractingZip(const uint8_t* header, os::FileHandle file) {
  const uint16_t lastPageBytes = LoadLe16(header + 2);
  const uint16_t pages = LoadLe16(header + 4);
  const int64_t imageEnd = lastPageBytes == 0
                               ? int64_t{pages} * kDosPage
                               : (int64_t{pages} - 1) * kDosPage + lastPageBytes;
  if (imageEnd <= 0 || os::SeekFile(file, imageEnd, os::SeekFrom::Begin) != imageEnd) {
    return false;
  }
  uint8_t probe[kHeaderProbe] = {};
  uint32_t got = 0;
  if (!ReadUpTo(file, probe, sizeof probe, got) || got < 4) return false;
  return StartsWithLocalHeader(probe) || (got >= 5 && StartsWithLocalHeader(probe + 1));
}

// File offset of the end record nearest the end of the file, or -1 when there is none (or
// the file cannot be read).
int64_t FindEndRecord(os::FileHandle file, int64_t size) {
  const uint32_t block = static_cast<uint32_t>(std::min<int64_t>(size, kSearchBlock));
  auto buffer = std::make_unique<uint8_t[]>(block);
  int64_t start = size - block;
  for (;;) {
    uint32_t got = 0;
    if (os::SeekFile(file, start, os::SeekFrom::Begin) != start ||
        !ReadUpTo(file, buffer.get(), block, got) || got != block) {
      return -1;
    }
    if (block >= archive::kEndCentralSize) {
      for (uint32_t i = block - archive::kEndCentralSize + 1; i-- > 0;) {
        if (buffer[i] == 0x50 && LoadLe32(&buffer[i]) == archive::kEndCentralSignature) {
          return start + i;
        }
      }
    }
    if (start == 0) return -1;
    start = std::max<int64_t>(0, start - (block - archive::kEndCentralSize));
  }
}

// The comment behind the end record at endOffset, cut where the file ends.
std::string ReadArchiveComment(os::FileHandle file, int64_t size, int64_t endOffset) {
  uint8_t lengthBytes[2];
  uint32_t got = 0;
  const int64_t at = endOffset + archive::kEndCentralSize - 2;
  if (os::SeekFile(file, at, os::SeekFrom::Begin) != at || !ReadUpTo(file, lengthBytes, 2, got) ||
      got != 2) {
    return {};
  }
  const int64_t length = std::min<int64_t>(LoadLe16(lengthBytes), size - at - 2);
  std::string comment(size_t(std::max<int64_t>(length, 0)), '\0');
  if (!ReadUpTo(file, reinterpret_cast<uint8_t*>(comment.data()), uint32_t(comment.size()), got)) {
    return {};
  }
  comment.resize(got);
  return comment;
}

// The end record the component takes too: the one whose comment ends the file, else the
// nearest one to the end (searched back to the start of the file).
int64_t ChooseEndRecord(os::FileHandle file, int64_t size) {
  const uint32_t tailSize = static_cast<uint32_t>(std::min<int64_t>(size, archive::kEndRecordReach));
  auto tail = std::make_unique<uint8_t[]>(tailSize);
  uint32_t got = 0;
  const int64_t tailStart = size - tailSize;
  if (os::SeekFile(file, tailStart, os::SeekFrom::Begin) == tailStart &&
      ReadUpTo(file, tail.get(), tailSize, got) && got == tailSize) {
    const std::ptrdiff_t at = archive::FindExactEndCentral(tail.get(), tailSize);
    if (at >= 0) return tailStart + at;
  }
  return FindEndRecord(file, size);
}

archive::ReadAt FileReader(os::FileHandle file) {
  return [file](int64_t position, uint8_t* buffer, uint32_t count) {
    uint32_t got = 0;
    return os::SeekFile(file, position, os::SeekFrom::Begin) == position &&
           ReadUpTo(file, buffer, count, got) && got == count;
  };
}

bool Streaming(const ZipDirEntry& entry) { return entry.file != os::kInvalidFile; }

// Moves the unread bytes to the front of the window and tops it up from the archive.
bool SlideWindow(ZipDirEntry& entry) {
  const uint16_t unread = static_cast<uint16_t>(entry.windowSize - entry.position);
  std::memmove(entry.window.get(), entry.window.get() + entry.position, unread);
  entry.windowStart += entry.position;
  uint32_t got = 0;
  const bool ok = ReadUpTo(entry.file, entry.window.get() + unread, kMaxWalkerWindow - unread, got);
  entry.windowSize = static_cast<uint16_t>(unread + (ok ? got : 0));
  entry.position = 0;
  return ok;
}

// The record's values at full width, from its zip64 extra field where it carries them.
void TakeWideValues(ZipDirEntry& entry, const archive::CentralFileHeader& h, const uint8_t* at) {
  archive::Zip64Values values;
  entry.invalidValues = !archive::ResolveZip64(
      h, at + archive::kCentralHeaderSize + h.nameLength, h.extraLength, values);
  entry.uncompressedSize64 = values.uncompressedSize;
  entry.compressedSize64 = values.compressedSize;
  const int64_t shift = entry.offsetShift;
  if (shift < 0 && values.localHeaderOffset < uint64_t(-shift)) entry.invalidValues = true;
  entry.localHeaderPosition = values.localHeaderOffset + uint64_t(shift);
}

// Parses the record at the window position into entry: 0 on success, 1 at the end record,
// on a malformed or cut record, or on a read error.
int32_t ReadCentralRecord(ZipDirEntry& entry) {
  auto remaining = [&entry] { return static_cast<uint32_t>(entry.windowSize - entry.position); };
  auto recordFits = [&] {
    const uint8_t* at = entry.window.get() + entry.position;
    return remaining() >= archive::kCentralHeaderSize &&
           archive::kCentralHeaderSize + uint32_t{LoadLe16(at + 28)} + LoadLe16(at + 30) +
                   LoadLe16(at + 32) <= remaining();
  };
  if (Streaming(entry) && entry.position > 0 && !recordFits() && !SlideWindow(entry)) return 1;

  const uint8_t* at = entry.window.get() + entry.position;
  if (remaining() >= 4 && (LoadLe32(at) == archive::kEndCentralSignature ||
                           LoadLe32(at) == archive::kZip64EndSignature)) {
    entry.reachedDirectoryEnd = entry.windowStart + entry.position == entry.directoryEnd;
    return 1;
  }
  archive::CentralFileHeader h;
  if (!archive::DecodeCentralHeader(at, remaining(), h) || h.RecordSize() > remaining()) return 1;

  entry.dateTime = h.dateTime;
  entry.uncompressedSize = h.uncompressedSize;
  entry.compressedSize = h.compressedSize;
  entry.localHeaderOffset = h.localHeaderOffset;
  entry.crc32 = h.crc32;
  const uint8_t* stored = at + archive::kCentralHeaderSize;
  const std::string raw(reinterpret_cast<const char*>(stored), h.nameLength);
  std::string name;
  entry.nameProblem = archive::InternalEntryName(raw, h.flags, stored + h.nameLength,
                                                 h.extraLength, entry.legacyCodePage, name);
  entry.nameInUtf8 = false;
  if (entry.nameProblem == archive::NameProblem::NoAnsiForm) {
    const os::CodePageScope utf8(os::kUtf8CodePage, os::kUtf8CodePage);
    entry.nameInUtf8 = archive::InternalEntryName(raw, h.flags, stored + h.nameLength,
                                                  h.extraLength, entry.legacyCodePage,
                                                  name) == archive::NameProblem::None;
  }
  if (entry.nameProblem != archive::NameProblem::None && !entry.nameInUtf8) name = raw;
  name.resize(KeptNameLength(name));
  std::replace(name.begin(), name.end(), '/', '\\');
  entry.name = std::move(name);
  entry.method = h.method;
  entry.attributes = h.KeepsDosAttributes() ? static_cast<uint16_t>(h.externalAttributes & 0xFF) : 0;
  entry.flags = h.flags;
  entry.versionMadeBy = h.versionMadeBy;
  entry.externalAttributes = h.externalAttributes;
  entry.comment.assign(reinterpret_cast<const char*>(at) + archive::kCentralHeaderSize +
                           h.nameLength + h.extraLength,
                       h.commentLength);
  const uint8_t* extra = stored + h.nameLength;
  if (archive::FindExtraField(extra, h.extraLength, archive::kUnicodeCommentField)) {
    entry.commentExtra.assign(reinterpret_cast<const char*>(extra), h.extraLength);
  } else {
    entry.commentExtra.clear();
  }
  TakeWideValues(entry, h, at);
  const auto unixTime = archive::ExtendedModificationTime(
      at + archive::kCentralHeaderSize + h.nameLength, h.extraLength);
  entry.hasUnixTime = unixTime.has_value();
  entry.unixTime = unixTime.value_or(0);
  entry.position = static_cast<uint16_t>(entry.position + h.RecordSize());
  ++entry.entriesRead;
  return 0;
}

}  // namespace

ZipDirEntry::~ZipDirEntry() { CloseZipEntries(*this); }

bool IsZipArchive(const std::string& path) {
  if (path.size() > kMaxIsZipPath || path.find('.') == std::string::npos) return false;
  std::string copy = path;
  if (!copy.empty() && copy.back() == '\\') copy.pop_back();
  // A directory is told by its attributes, so the current directory stays where it was.
  const uint32_t attributes = os::GetFileAttributes(copy);
  if (attributes != os::kInvalidAttributes && (attributes & os::kAttrDirectory) != 0) {
    return false;
  }
  os::FileHandle file = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (file == os::kInvalidFile) return false;
  uint8_t header[kHeaderProbe] = {};
  uint32_t got = 0;
  bool answer = false;
  if (ReadUpTo(file, header, sizeof header, got)) {
    if (got == kHeaderProbe && StartsWithLocalHeader(header)) {
      answer = true;
    } else if (got > 2 && header[0] == 'M' && header[1] == 'Z') {
      answer = IsSelfExtractingZip(header, file);
    }
  }
  os::CloseFile(file);
  return answer;
}

int32_t FirstZipEntry(const std::string& path, ZipDirEntry& entry) {
  CloseZipEntries(entry);  // a record reused without closing keeps nothing open
  os::FileHandle file = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (file == os::kInvalidFile) return -1;
  auto fail = [file](int32_t code) {
    os::CloseFile(file);
    return code;
  };
  const int64_t size = os::FileSize(file);
  if (size <= 0) return fail(-1);

  const int64_t endOffset = ChooseEndRecord(file, size);
  if (endOffset < 0) return fail(-1);
  if (endOffset < archive::kCentralHeaderSize) return fail(-2);
  uint8_t endBytes[archive::kEndCentralSize];
  archive::EndCentralRecord end;
  archive::DirectoryLocation where;
  const archive::ReadAt read = FileReader(file);
  if (!read(endOffset, endBytes, sizeof endBytes) ||
      !archive::DecodeEndCentral(endBytes, sizeof endBytes, end) ||
      !archive::ResolveDirectory(read, endOffset, end, where)) {
    return fail(-1);
  }
  const int64_t start = where.CentralStart();
  const int64_t directoryEnd = where.DirectoryEnd();
  // A directory said to start after its own end record is corrupt.
  if (start < 0 || start > directoryEnd) return fail(-1);

  entry.archiveComment = ReadArchiveComment(file, size, endOffset);
  const int64_t span = directoryEnd - start + 4;  // ends with the end signature
  const bool streaming = span >= kMaxWalkerWindow;
  const uint32_t capacity = streaming ? kMaxWalkerWindow : static_cast<uint32_t>(span);
  entry.window = std::make_unique<uint8_t[]>(capacity);
  uint32_t got = 0;
  if (os::SeekFile(file, start, os::SeekFrom::Begin) != start ||
      !ReadUpTo(file, entry.window.get(), capacity, got)) {
    entry.window.reset();
    return fail(-1);
  }
  entry.windowStart = start;
  entry.directoryEnd = directoryEnd;
  entry.offsetShift = where.shift;
  entry.entriesDeclared = where.totalEntries;
  entry.entriesRead = 0;
  entry.reachedDirectoryEnd = false;
  entry.windowSize = static_cast<uint16_t>(got);
  entry.position = 0;
  if (streaming) {
    entry.file = file;
  } else {
    os::CloseFile(file);
  }
  const int32_t result = ReadCentralRecord(entry);
  if (result != 0) CloseZipEntries(entry);
  return result;
}

int32_t NextZipEntry(ZipDirEntry& entry) {
  if (!entry.window) return -2;
  const int32_t result = ReadCentralRecord(entry);
  if (result != 0) CloseZipEntries(entry);
  return result;
}

bool DirectoryDamaged(const ZipDirEntry& entry) {
  return !entry.reachedDirectoryEnd ||
         !archive::CountAgrees(entry.entriesRead, entry.entriesDeclared);
}

void CloseZipEntries(ZipDirEntry& entry) {
  if (entry.file != os::kInvalidFile) {
    os::CloseFile(entry.file);
    entry.file = os::kInvalidFile;
  }
  entry.window.reset();
  entry.windowSize = 0;
  entry.position = 0;
}

}  // namespace kestrel::reader
