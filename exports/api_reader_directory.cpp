// api_reader_directory.cpp — the reader handle's directory: read at opening through the
// walker (the extraction engine's view) or through the archive component (its plain reading
// or its repair scan), with the entries that may not be read marked, and the damage counted.
#include <algorithm>

#include "archive/lyn_unzip.h"
#include "archive/zip_exceptions.h"
#include "exports/api_reader.h"
#include "exports/local_ranges.h"
#include "exports/unpack_walk.h"
#include "reader/dos_time.h"
#include "reader/zip_walker.h"

#if !defined(_WIN32)

namespace kestrel::exports {

namespace {

constexpr int64_t kUnixEpochTicks = 116444736000000000;  // 1970-01-01 in FILETIME ticks
constexpr uint64_t kLocalHeaderSize = 30;

// The DOS date and time, read as local time, in Unix seconds (0 when it is no valid time).
int64_t UnixTime(uint32_t dosDateTime) {
  const os::SystemTime system = reader::DosToSystemTime(dosDateTime);
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
  if (archive::InternalEntryComment(raw, flags, reinterpret_cast<const uint8_t*>(extra.data()),
                                    extra.size(), legacyCodePage, text) == archive::NameProblem::None) {
    return text;
  }
  os::host::CodePageToUtf8(legacyCodePage, raw, text);
  return text;
}

ReaderEntry FromWalker(const reader::ZipDirEntry& e, int legacyCodePage) {
  ReaderEntry entry;
  entry.storedName = e.name;  // UTF-8 under the reader's code page scope, "\" separators
  entry.nameProblem = e.nameProblem;
  entry.name = e.name;
  // A name without a UTF-8 form holds its stored bytes: shown with "?" for what cannot be read.
  if (e.nameProblem != archive::NameProblem::None) {
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
  if (e.invalidValues) entry.refusal = kEntryBadValues;
  return entry;
}

ReaderEntry FromComponent(archive::TLynUnZip& zip, int32_t index) {
  reader::ZipDirEntry walked;
  EntryFromHeader(walked, zip.Entry(index));
  ReaderEntry entry = FromWalker(walked, zip.LegacyCodePage());
  entry.comment = zip.FileCommentOf(index);
  return entry;
}

int LoadThroughWalker(kestrel_reader* reader, const std::string& shownPath) {
  reader::ZipDirEntry walk;
  walk.legacyCodePage = reader->legacyCodePage;
  int32_t result = reader::FirstZipEntry(reader->archivePath, walk);
  if (result == 1 || (result == -1 && reader::IsZipArchive(reader->archivePath))) {
    // It starts like an archive, but its directory is missing or broken at the first record.
    return reader->Fail(KESTREL_E_FORMAT, shownPath + ": the archive's directory cannot be read");
  }
  if (result == -1) return reader->Fail(KESTREL_E_NOT_ZIP, shownPath + ": not a zip archive");
  reader->comment = TextAsUtf8(walk.archiveComment, 0, reader->legacyCodePage);
  const bool walked = result == 0;  // otherwise an empty directory: nothing to account for
  while (result == 0) {
    reader->entries.push_back(FromWalker(walk, reader->legacyCodePage));
    result = reader::NextZipEntry(walk);
  }
  reader::CloseZipEntries(walk);
  reader->status.entries_declared = walk.entriesDeclared;
  reader->status.damaged = walked && reader::DirectoryDamaged(walk);
  return KESTREL_OK;
}

int LoadThroughComponent(kestrel_reader* reader, const std::string& shownPath) {
  archive::TLynUnZip zip;
  zip.SetLegacyCodePage(reader->legacyCodePage);
  zip.SetSortMode(archive::ByNone);  // directory order, as the walker gives it
  if (reader->directorySource == KESTREL_DIRECTORY_REPAIR) {
    zip.SetIncompleteZipMode(archive::izAssumeBad);
  }
  zip.SetZipName(reader->archivePath);
  try {
    zip.OpenZip();
    reader->comment = TextAsUtf8(zip.ZipComment(), 0, reader->legacyCodePage);
    for (int32_t i = 0; i < zip.Count(); ++i) reader->entries.push_back(FromComponent(zip, i));
  } catch (const archive::EUserCanceled&) {
    reader->entries.clear();
    return reader->Fail(KESTREL_E_CANCELLED, shownPath + ": cancelled");
  } catch (const classlib::Exception&) {
    reader->entries.clear();
    if (reader->directorySource == KESTREL_DIRECTORY_REPAIR) {
      return reader->Fail(KESTREL_E_NOT_ZIP, shownPath + ": not a zip archive: the repair scan found no entry");
    }
    if (!reader::IsZipArchive(reader->archivePath)) {
      return reader->Fail(KESTREL_E_NOT_ZIP, shownPath + ": not a zip archive");
    }
    return reader->Fail(KESTREL_E_FORMAT, shownPath + ": the archive's directory cannot be read");
  }
  reader->status.entries_declared = reader->entries.size();
  reader->status.repaired = zip.Repaired();
  return KESTREL_OK;
}

// Entries whose local data meets that of an entry before them in the directory are refused,
// as the walk refuses them; the first keeps its data.
void MarkOverlaps(std::vector<ReaderEntry>& entries) {
  LocalRanges ranges;
  for (ReaderEntry& entry : entries) {
    const uint64_t start = entry.localHeaderPosition;
    if (entry.refusal == 0 && !ranges.Take(start, start + kLocalHeaderSize + entry.compressedSize)) {
      entry.refusal = kEntryOverlapping;
    }
  }
}

}  // namespace

int LoadDirectory(kestrel_reader* reader, const std::string& shownPath) {
  reader->status = {};
  const int loaded = reader->directorySource == KESTREL_DIRECTORY_WALKER
                         ? LoadThroughWalker(reader, shownPath)
                         : LoadThroughComponent(reader, shownPath);
  if (loaded != KESTREL_OK) return loaded;
  MarkOverlaps(reader->entries);
  reader->status.entries_read = reader->entries.size();
  reader->opened = true;
  return reader->Succeed();
}

}  // namespace kestrel::exports

#endif
