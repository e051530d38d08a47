// api_reader.cpp — the reader handle's life and its listing side: creating, options, opening
// a path or a caller's stream, the comment and the entries.
#include "exports/api_reader.h"

#include <algorithm>
#include <exception>
#include <new>

#include "archive/entry_name.h"
#include "exports/block_set.h"
#include "platform/platform.h"
#include "reader/dos_time.h"
#include "reader/zip_walker.h"

#if !defined(_WIN32)

using kestrel::exports::ReaderEntry;
namespace os = kestrel::os;

namespace {

constexpr int64_t kUnixEpochTicks = 116444736000000000;  // 1970-01-01 in FILETIME ticks
constexpr uint32_t kSpoolChunk = 65536;  // copying a caller's stream into the spool file

// The DOS date and time, read as local time, in Unix seconds (0 when it is no valid time).
int64_t UnixTime(uint32_t dosDateTime) {
  const os::SystemTime system = kestrel::reader::DosToSystemTime(dosDateTime);
  os::FileTime local, utc;
  if (!os::SystemTimeToFileTime(system, local) || !os::LocalFileTimeToFileTime(local, utc)) {
    return 0;
  }
  return (int64_t(utc.ticks) - kUnixEpochTicks) / 10000000;
}

// Stored text (a comment) as UTF-8, with the name's rules (extra: the header's extra field,
// for a Unicode comment field); the stored bytes, made printable, when it has no UTF-8 form.
std::string TextAsUtf8(const std::string& raw, uint16_t flags, int legacyCodePage,
                       const std::string& extra = {}) {
  std::string text;
  if (kestrel::archive::InternalEntryComment(raw, flags,
                                             reinterpret_cast<const uint8_t*>(extra.data()),
                                             extra.size(), legacyCodePage, text) ==
      kestrel::archive::NameProblem::None) {
    return text;
  }
  os::host::CodePageToUtf8(legacyCodePage, raw, text);
  return text;
}

ReaderEntry FromWalker(const kestrel::reader::ZipDirEntry& e, int legacyCodePage) {
  ReaderEntry entry;
  entry.storedName = e.name;  // UTF-8 under the reader's code page scope, "\" separators
  entry.nameProblem = e.nameProblem;
  entry.name = e.name;
  // A name without a UTF-8 form holds its stored bytes: shown with "?" for what cannot be read.
  if (e.nameProblem != kestrel::archive::NameProblem::None) {
    os::host::CodePageToUtf8(legacyCodePage, e.name, entry.name);
  }
  std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
  entry.comment = TextAsUtf8(e.comment, e.flags, legacyCodePage, e.commentExtra);
  entry.compressedSize = e.compressedSize64;
  entry.uncompressedSize = e.uncompressedSize64;
  entry.crc32 = e.crc32;
  entry.method = e.method;
  entry.flags = e.flags;
  entry.dosDateTime = e.dateTime;
  entry.attributes = e.attributes;
  entry.versionMadeBy = e.versionMadeBy;
  entry.externalAttributes = e.externalAttributes;
  entry.localHeaderOffset = e.localHeaderOffset;
  entry.localHeaderPosition = e.localHeaderPosition;
  if (e.hasUnixTime) entry.unixTime = e.unixTime;
  entry.mtime = entry.unixTime.value_or(UnixTime(e.dateTime));
  return entry;
}

// Reads the central directory of reader->archivePath into the reader.
int LoadDirectory(kestrel_reader* reader, const std::string& shownPath) {
  kestrel::reader::ZipDirEntry walk;
  walk.legacyCodePage = reader->legacyCodePage;
  int32_t result = kestrel::reader::FirstZipEntry(reader->archivePath, walk);
  if (result == 1 || (result == -1 && kestrel::reader::IsZipArchive(reader->archivePath))) {
    // It starts like an archive, but its directory is missing or broken at the first record.
    return reader->Fail(KESTREL_E_FORMAT, shownPath + ": the archive's directory cannot be read");
  }
  if (result == -1) return reader->Fail(KESTREL_E_NOT_ZIP, shownPath + ": not a zip archive");
  reader->comment = TextAsUtf8(walk.archiveComment, 0, reader->legacyCodePage);
  while (result == 0) {
    reader->entries.push_back(FromWalker(walk, reader->legacyCodePage));
    result = kestrel::reader::NextZipEntry(walk);
  }
  reader->opened = true;
  return reader->Succeed();
}

bool Usable(kestrel_reader* reader) {
  if (reader == nullptr) return false;
  if (!reader->opened) {
    reader->Fail(KESTREL_E_INVALID, "the reader has no archive open");
    return false;
  }
  return true;
}

// Copies the caller's stream into a temporary file, which becomes the archive read.
int Spool(kestrel_reader* reader, kestrel_read_fn read, void* context) {
  const std::string dir = os::TempPath();
  reader->spoolPath = dir.empty() ? std::string() : os::TempFileName(dir, "kst", 0);
  if (reader->spoolPath.empty()) {
    return reader->Fail(KESTREL_E_IO, "no temporary file for the archive's copy");
  }
  const os::FileHandle file =
      os::OpenFile(reader->spoolPath, os::Access::Write, os::Disposition::CreateAlways);
  if (file == os::kInvalidFile) {
    return reader->Fail(KESTREL_E_IO, "cannot write the archive's temporary copy");
  }
  std::vector<uint8_t> chunk(kSpoolChunk);
  int code = KESTREL_OK;
  for (;;) {
    const int64_t got = read(context, chunk.data(), chunk.size());
    if (got < 0 || got > int64_t(chunk.size())) {
      code = reader->Fail(KESTREL_E_CALLBACK, "the read callback reported a failure");
      break;
    }
    if (got == 0) break;
    uint32_t done = 0;
    if (!os::WriteFile(file, chunk.data(), uint32_t(got), done) || done != uint32_t(got)) {
      code = reader->Fail(KESTREL_E_IO, "cannot write the archive's temporary copy");
      break;
    }
  }
  os::CloseFile(file);
  return code;
}

}  // namespace

namespace kestrel::exports {

bool ReaderEntry::IsDirectory() const {
  return (!name.empty() && name.back() == '/') || (attributes & os::kAttrDirectory) ||
         (UnixMode() & 0170000) == 0040000;
}

uint32_t ReaderEntry::UnixMode() const {
  constexpr uint16_t kUnixHost = 3;
  return (versionMadeBy >> 8) == kUnixHost ? externalAttributes >> 16 : 0;
}

void ReaderEntry::Fill(uint64_t index, kestrel_entry& out) const {
  out.index = index;
  out.name = name.c_str();
  out.comment = comment.c_str();
  out.compressed_size = compressedSize;
  out.uncompressed_size = uncompressedSize;
  out.crc32 = crc32;
  out.method = method;
  out.flags = flags;
  out.mtime = mtime;
  out.dos_attributes = attributes;
  out.unix_mode = UnixMode();
  out.encrypted = (flags & 1) != 0;
  out.is_directory = IsDirectory();
  out.is_symlink = (UnixMode() & 0170000) == 0120000;
}

}  // namespace kestrel::exports

extern "C" {

kestrel_reader* kestrel_reader_new(void) { return new (std::nothrow) kestrel_reader; }

void kestrel_reader_close(kestrel_reader* reader) {
  if (reader == nullptr) return;
  if (!reader->spoolPath.empty()) os::DeleteFile(reader->spoolPath);
  delete reader;
}

const char* kestrel_reader_error(const kestrel_reader* reader) {
  return reader == nullptr ? "no reader (null handle)" : reader->error.c_str();
}

int kestrel_reader_set_code_page(kestrel_reader* reader, int code_page) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  if (reader->opened) return reader->Fail(KESTREL_E_INVALID, "set the code page before opening");
  if (code_page < 0 || (code_page != 0 && !os::IsCodePageSupported(code_page))) {
    return reader->Fail(KESTREL_E_INVALID,
                        "code page " + std::to_string(code_page) + " cannot be converted");
  }
  reader->codePage = code_page;
  return reader->Succeed();
}

int kestrel_reader_set_password(kestrel_reader* reader, const char* password) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  try {
    if (password == nullptr) {
      reader->password.reset();
    } else {
      reader->password = password;
    }
  } catch (const std::bad_alloc&) {
    return reader->Fail(KESTREL_E_NOMEM, "out of memory");
  }
  return reader->Succeed();
}

int kestrel_reader_set_progress(kestrel_reader* reader, kestrel_progress_fn progress,
                                void* context) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  reader->progress = progress;
  reader->progressContext = context;
  return reader->Succeed();
}

int kestrel_reader_open(kestrel_reader* reader, const char* path) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  reader->legacyCodePage = reader->codePage != 0 ? reader->codePage : os::AnsiCodePage();
  const kestrel::exports::Utf8Names utf8;
  if (path == nullptr || *path == '\0') return reader->Fail(KESTREL_E_INVALID, "no archive path");
  if (reader->opened || !reader->spoolPath.empty()) {
    return reader->Fail(KESTREL_E_INVALID, "the reader has an archive open already");
  }
  try {
    std::string drivePath;
    if (!os::host::DrivePath(path, drivePath)) {
      return reader->Fail(KESTREL_E_INVALID,
                          std::string(path) + ": a name has no form in the library's code page");
    }
    std::string joinError;
    switch (kestrel::exports::JoinBlockSet(drivePath, reader->spoolPath, joinError)) {
      case kestrel::exports::BlockSetJoin::Joined:
        reader->archivePath = reader->spoolPath;
        return LoadDirectory(reader, path);
      case kestrel::exports::BlockSetJoin::Failed:
        return reader->Fail(KESTREL_E_FORMAT, std::string(path) + ": " + joinError);
      case kestrel::exports::BlockSetJoin::NotABlockSet:
        break;
    }
    const uint32_t attributes = os::GetFileAttributes(drivePath);
    if (attributes == os::kInvalidAttributes) {
      return reader->Fail(KESTREL_E_NOT_FOUND, std::string(path) + ": no such file");
    }
    if (attributes & os::kAttrDirectory) {
      return reader->Fail(KESTREL_E_NOT_ZIP, std::string(path) + ": is a directory");
    }
    reader->archivePath = drivePath;
    if (drivePath.size() > 1 && (drivePath[0] == 'A' || drivePath[0] == 'a') && drivePath[1] == ':') {
      reader->joined = std::make_unique<kestrel::exports::JoinedArchive>(drivePath);
      if (reader->joined->outcome() == kestrel::exports::JoinedArchive::Outcome::Failed) {
        return reader->Fail(KESTREL_E_IO, std::string(path) + ": the volume set could not be joined");
      }
      reader->archivePath = reader->joined->path();
    }
    return LoadDirectory(reader, path);
  } catch (const std::exception&) {
    reader->entries.clear();
    return reader->Fail(KESTREL_E_NOMEM, "out of memory");
  }
}

int kestrel_reader_open_callbacks(kestrel_reader* reader, kestrel_read_fn read,
                                  kestrel_seek_fn seek, void* context) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  reader->legacyCodePage = reader->codePage != 0 ? reader->codePage : os::AnsiCodePage();
  const kestrel::exports::Utf8Names utf8;
  if (read == nullptr) return reader->Fail(KESTREL_E_INVALID, "no read callback");
  if (reader->opened || !reader->spoolPath.empty()) {
    return reader->Fail(KESTREL_E_INVALID, "the reader has an archive open already");
  }
  if (seek != nullptr && seek(context, 0, 0 /* SEEK_SET */) != 0) {
    return reader->Fail(KESTREL_E_CALLBACK, "the seek callback could not go to the start");
  }
  try {
    const int spooled = Spool(reader, read, context);
    if (spooled != KESTREL_OK) return spooled;
    reader->archivePath = reader->spoolPath;
    return LoadDirectory(reader, "the archive");
  } catch (const std::exception&) {
    reader->entries.clear();
    return reader->Fail(KESTREL_E_NOMEM, "out of memory");
  }
}

int kestrel_reader_comment(kestrel_reader* reader, const char** comment) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  if (comment == nullptr) return reader->Fail(KESTREL_E_INVALID, "no place for the comment");
  *comment = reader->comment.c_str();
  return reader->Succeed();
}

int kestrel_reader_count(kestrel_reader* reader, uint64_t* count) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  if (count == nullptr) return reader->Fail(KESTREL_E_INVALID, "no place for the count");
  *count = reader->entries.size();
  return reader->Succeed();
}

int kestrel_reader_entry(kestrel_reader* reader, uint64_t index, kestrel_entry* entry) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  if (entry == nullptr) return reader->Fail(KESTREL_E_INVALID, "no place for the entry");
  if (index >= reader->entries.size()) {
    return reader->Fail(KESTREL_E_NOT_FOUND, "no entry " + std::to_string(index));
  }
  reader->entries[index].Fill(index, *entry);
  return reader->Succeed();
}

int kestrel_reader_next(kestrel_reader* reader, kestrel_entry* entry) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  if (entry == nullptr) return reader->Fail(KESTREL_E_INVALID, "no place for the entry");
  if (reader->cursor >= reader->entries.size()) {
    reader->error.clear();
    return KESTREL_END;
  }
  reader->entries[reader->cursor].Fill(reader->cursor, *entry);
  ++reader->cursor;
  return reader->Succeed();
}

int kestrel_reader_rewind(kestrel_reader* reader) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  reader->cursor = 0;
  return reader->Succeed();
}

int kestrel_reader_find(kestrel_reader* reader, const char* name, kestrel_entry* entry) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  if (name == nullptr || entry == nullptr) return reader->Fail(KESTREL_E_INVALID, "no name or entry");
  for (size_t i = 0; i < reader->entries.size(); ++i) {
    if (reader->entries[i].name == name) {
      reader->entries[i].Fill(i, *entry);
      return reader->Succeed();
    }
  }
  return reader->Fail(KESTREL_E_NOT_FOUND, std::string(name) + ": no such entry");
}

}  // extern "C"

#endif
