// api_reader.cpp — the reader handle's life and its listing side: creating, options, opening
// a path or a caller's stream, the comment and the entries.
#include "exports/api_reader.h"

#include <algorithm>
#include <exception>
#include <new>

#include "exports/block_set.h"
#include "exports/spanned_set.h"
#include "exports/unix_mode.h"
#include "exports/volume_set.h"
#include "platform/call_scope.h"
#include "platform/platform.h"

#if !defined(_WIN32)

using kestrel::exports::LoadDirectory;
using kestrel::exports::ReaderEntry;
namespace os = kestrel::os;

namespace {

constexpr uint32_t kSpoolChunk = 65536;  // copying a caller's stream into the spool file

bool Usable(kestrel_reader* reader) {
  if (reader == nullptr) return false;
  if (!reader->opened) {
    reader->Fail(KESTREL_E_INVALID, "the reader has no archive open");
    return false;
  }
  return true;
}

// The progress callback asked while the archive engine reads a directory (a long repair scan).
bool OpenCancelled(void* context) {
  const auto* reader = static_cast<const kestrel_reader*>(context);
  return reader->progress != nullptr && reader->progress(reader->progressContext, "", 0, 0) != 0;
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

// A disk of a spanned set at reader->archivePath: the set joined into the spool file, which
// becomes the archive read.
int JoinSpanned(kestrel_reader* reader, const std::string& shownPath) {
  if (reader->joined && reader->joined->outcome() == kestrel::exports::JoinedArchive::Outcome::Joined) {
    return KESTREL_OK;
  }
  kestrel::exports::AskDisk ask;
  if (reader->disk != nullptr) {
    ask = [reader](int n) { return reader->disk(reader->diskContext, n) == 0; };
  }
  std::string error;
  switch (kestrel::exports::JoinSpannedSet(reader->archivePath, ask, reader->spoolPath, error)) {
    case kestrel::exports::SpanJoin::NotSpanned: return KESTREL_OK;
    case kestrel::exports::SpanJoin::Joined:
      reader->archivePath = reader->spoolPath;
      return KESTREL_OK;
    case kestrel::exports::SpanJoin::NeedsDisks:
      return reader->Fail(KESTREL_E_UNSUPPORTED,
                          shownPath + ": " + error + " (reading it needs a disk callback)");
    case kestrel::exports::SpanJoin::Cancelled:
      return reader->Fail(KESTREL_E_CANCELLED, shownPath + ": cancelled while asking for a disk");
    case kestrel::exports::SpanJoin::Failed: break;
  }
  return reader->Fail(KESTREL_E_FORMAT, shownPath + ": " + error);
}

}  // namespace

namespace kestrel::exports {

bool ReaderEntry::IsDirectory() const {
  return (!name.empty() && name.back() == '/') || (attributes & os::kAttrDirectory) ||
         FileType(UnixMode()) == kTypeDirectory;
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
  out.is_symlink = FileType(UnixMode()) == kTypeLink;
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

int kestrel_reader_set_special_modes(kestrel_reader* reader, int keep) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  reader->keepSpecialModes = keep != 0;
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

int kestrel_reader_set_directory_source(kestrel_reader* reader, int source) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  if (reader->opened) return reader->Fail(KESTREL_E_INVALID, "set the directory source before opening");
  if (source != KESTREL_DIRECTORY_WALKER && source != KESTREL_DIRECTORY_COMPONENT &&
      source != KESTREL_DIRECTORY_REPAIR) {
    return reader->Fail(KESTREL_E_INVALID, "unknown directory source " + std::to_string(source));
  }
  reader->directorySource = source;
  return reader->Succeed();
}

int kestrel_reader_set_disk_callback(kestrel_reader* reader, kestrel_disk_fn disk, void* context) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  if (reader->opened) return reader->Fail(KESTREL_E_INVALID, "set the disk callback before opening");
  reader->disk = disk;
  reader->diskContext = context;
  return reader->Succeed();
}

int kestrel_reader_set_floppy_dir(kestrel_reader* reader, const char* dir) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  std::string folder;
  if (dir != nullptr && *dir != '\0' && !os::host::DriveFolder(dir, folder)) {
    return reader->Fail(KESTREL_E_NOT_FOUND, std::string(dir) + ": not a directory");
  }
  reader->floppyDir = std::move(folder);
  return reader->Succeed();
}

int kestrel_reader_directory_status(kestrel_reader* reader, kestrel_directory_status* status) {
  if (!Usable(reader)) return KESTREL_E_INVALID;
  if (status == nullptr) return reader->Fail(KESTREL_E_INVALID, "no place for the status");
  *status = reader->status;
  return reader->Succeed();
}

int kestrel_reader_set_threads(kestrel_reader* reader, int threads) {
  constexpr int kMaxThreads = 256;
  if (reader == nullptr) return KESTREL_E_INVALID;
  if (threads < 0 || threads > kMaxThreads) {
    return reader->Fail(KESTREL_E_INVALID, "threads must be 0 (one per processor) to 256");
  }
  reader->threads = unsigned(threads);
  return reader->Succeed();
}

int kestrel_reader_open(kestrel_reader* reader, const char* path) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  reader->legacyCodePage = reader->codePage != 0 ? reader->codePage : os::AnsiCodePage();
  // The reader's floppy folder is drive A: while it opens; its progress callback may cancel.
  const kestrel::exports::Utf8Names utf8({&reader->floppyDir}, {&OpenCancelled, reader});
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
    // Without a floppy folder of its own, a volume set, or a spanned set whose disks the
    // callback changes, is read from the floppy drive the host set up (kestrel_map_drive) when
    // the file lies in it, as it always was.
    std::optional<os::host::CallScope> hostFloppy;
    if (reader->floppyDir.empty() &&
        (reader->disk != nullptr || kestrel::exports::IsVolumeSetFile(drivePath))) {
      hostFloppy.emplace(os::host::CallFloppy{nullptr, true});
      std::string onFloppy;
      if (os::host::DrivePath(path, onFloppy)) drivePath = onFloppy;
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
    const int spanned = JoinSpanned(reader, path);
    return spanned != KESTREL_OK ? spanned : LoadDirectory(reader, path);
  } catch (const std::exception&) {
    reader->entries.clear();
    return reader->Fail(KESTREL_E_NOMEM, "out of memory");
  }
}

int kestrel_reader_open_callbacks(kestrel_reader* reader, kestrel_read_fn read,
                                  kestrel_seek_fn seek, void* context) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  reader->legacyCodePage = reader->codePage != 0 ? reader->codePage : os::AnsiCodePage();
  const kestrel::exports::Utf8Names utf8({}, {&OpenCancelled, reader});
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
