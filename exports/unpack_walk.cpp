// unpack_walk.cpp — UnZipFile's walk over an archive's central directory.
#include "exports/unpack_walk.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "archive/lyn_unzip.h"
#include "exports/directory_chain.h"
#include "exports/entry_path.h"
#include "exports/local_ranges.h"
#include "exports/unix_extraction.h"
#include "exports/volume_source.h"
#include "reader/extract_entry.h"
#include "reader/unzip_state.h"

namespace kestrel::exports {

namespace {

constexpr uint64_t kLocalHeaderSize = 30;

int NameProblemResult(archive::NameProblem problem) {
  switch (problem) {
    case archive::NameProblem::None: return 0;
    case archive::NameProblem::BadUtf8: return kEntryBadUtf8Name;
    case archive::NameProblem::NoAnsiForm: return kEntryNameNotInCodePage;
    case archive::NameProblem::UnknownCodePage: return kEntryUnknownCodePage;
  }
  return kEntryBadUtf8Name;
}

// An entry's local header and data, as far as the directory tells (the header's name and extra
// field not counted), must not meet those of the entries before it.
bool TakeRange(LocalRanges& ranges, const reader::ZipDirEntry& entry) {
  const uint64_t start = entry.localHeaderPosition;
  return ranges.Take(start, start + kLocalHeaderSize + entry.compressedSize64);
}

// Values a file cannot hold: a zip64 value missing, or a range past what 63 bits count.
bool UnusableValues(const reader::ZipDirEntry& entry) {
  constexpr uint64_t kLimit = uint64_t{1} << 62;
  return entry.invalidValues || entry.localHeaderPosition >= kLimit ||
         entry.compressedSize64 >= kLimit || entry.uncompressedSize64 >= kLimit;
}

// What every entry of one walk shares.
struct WalkContext {
  const std::string& archivePath;
  const std::string& destDir;
  WalkMode mode;
  WalkObserver* observer;
  int legacyCodePage;
  LocalRanges ranges;
  std::optional<UnixExtraction> unixSide;  // extracting on hosts that keep Unix metadata
};

// The entry, the walk's paths being archivePath and destDir (in the ANSI code page in force).
int RunEntry(WalkContext& walk, const std::string& archivePath, const std::string& destDir,
             const reader::ZipDirEntry& entry) {
  const std::string name = entry.name;
  const reader::DirectorySizes sizes = reader::DirectorySizesOf(entry);
  if (walk.mode == WalkMode::Test) {
    if (!IsSafeEntryName(name)) return kEntryUnsafeName;
    return reader::TestEntry(archivePath.c_str(), entry.attributes,
                             int32_t(entry.localHeaderOffset), kEscapeKey, &sizes);
  }
  std::string outputPath;
  switch (OutputPathFor(destDir, name, outputPath)) {
    case EntryPath::Unsafe: return kEntryUnsafeName;
    case EntryPath::TooLong: return kEntryPathTooLong;
    case EntryPath::Ok: break;
  }
  if (walk.unixSide) {
    return walk.unixSide->Extract(archivePath, UnixEntry::Of(entry), outputPath, sizes);
  }
  return reader::ExtractEntry(archivePath.c_str(), outputPath.c_str(), entry.attributes,
                              int32_t(entry.localHeaderOffset), nullptr, kEscapeKey, &sizes);
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A name with no form in the ANSI code page is still created under its own name: the entry
// runs with UTF-8 as the code page (the platform layer then takes every name as UTF-8, on
// Windows through the wide-character calls), the walk's paths converted to match. The Unix
// side checks for links below the destination as it was given, so it takes part only while
// that is plain ASCII, the same in both pages.
int RunEntryInUtf8(WalkContext& walk, const reader::ZipDirEntry& entry) {
  const int ansi = os::AnsiCodePage();
  std::string archiveUtf8, destUtf8;
  if ((walk.unixSide && !IsAscii(walk.destDir)) ||
      !os::ConvertCodePage(ansi, os::kUtf8CodePage, walk.archivePath, archiveUtf8) ||
      !os::ConvertCodePage(ansi, os::kUtf8CodePage, walk.destDir, destUtf8)) {
    return kEntryNameNotInCodePage;
  }
  const os::CodePageScope utf8(os::kUtf8CodePage, os::kUtf8CodePage);
  return RunEntry(walk, archiveUtf8, destUtf8, entry);
}

int EntryResult(WalkContext& walk, const reader::ZipDirEntry& entry) {
  // Any other name without an internal form is never used in place of the right one: the
  // entry fails with its reason.
  if (!entry.nameInUtf8) {
    if (const int refused = NameProblemResult(entry.nameProblem)) return refused;
  }
  if (UnusableValues(entry)) return kEntryBadValues;
  if (!TakeRange(walk.ranges, entry)) return kEntryOverlapping;
  if (entry.nameInUtf8) return RunEntryInUtf8(walk, entry);
  return RunEntry(walk, walk.archivePath, walk.destDir, entry);
}

// Runs one entry; false when the walk stops after it (summary says why).
bool VisitEntry(WalkContext& walk, const reader::ZipDirEntry& entry, WalkSummary& summary) {
  if (walk.observer != nullptr) walk.observer->BeforeEntry(entry);
  const int result = EntryResult(walk, entry);
  const bool goOn = walk.observer == nullptr || walk.observer->AfterEntry(entry, result);
  if (StopsWalk(result)) {
    summary.stopResult = result;
    return false;
  }
  if (!goOn) {
    summary.stoppedByObserver = true;
    return false;
  }
  return true;
}

void Walk(WalkContext& walk, WalkSummary& summary) {
  reader::ArchiveHold hold(walk.archivePath);
  // The walk creates every file and directory under destDir itself, one after the other.
  os::NameLookupScope names;
  reader::ZipDirEntry entry;
  entry.legacyCodePage = walk.legacyCodePage;
  bool directoryOver = true;  // the walk ended because the directory did
  summary.directoryResult = reader::FirstZipEntry(walk.archivePath, entry);
  if (summary.directoryResult < 0) return;  // an unreadable directory is not a failure
  for (; summary.directoryResult == 0;) {
    if (!VisitEntry(walk, entry, summary)) {
      directoryOver = false;
      break;
    }
    if (reader::NextZipEntry(entry) != 0) break;
  }
  reader::CloseZipEntries(entry);
  summary.entriesDeclared = entry.entriesDeclared;
  summary.entriesRead = entry.entriesRead;
  summary.directoryDamaged = directoryOver && reader::DirectoryDamaged(entry);
}

// The entries as the component's repair scan finds them: the local headers in file order,
// completed by whatever central records can be read.
void WalkRepaired(WalkContext& walk, WalkSummary& summary) {
  archive::TLynUnZip zip;
  zip.SetIncompleteZipMode(archive::izAssumeBad);
  zip.SetSortMode(archive::ByNone);
  zip.SetZipName(walk.archivePath);
  try {
    zip.OpenZip();
  } catch (const classlib::Exception&) {
    summary.directoryResult = -1;
    return;
  }
  reader::ArchiveHold hold(walk.archivePath);
  os::NameLookupScope names;
  reader::ZipDirEntry entry;
  const int32_t count = zip.EntryList()->Count();
  summary.entriesDeclared = uint64_t(count);
  for (int32_t i = 0; i < count; ++i) {
    EntryFromHeader(entry, *zip.EntryList()->Header(i));
    ++summary.entriesRead;
    if (!VisitEntry(walk, entry, summary)) break;
  }
  zip.CloseZip();
}

// An archive behind data that isZip does not know (a script, a stub of another kind) is
// recognised by its directory instead.
bool HasDirectory(const std::string& archivePath) {
  reader::ZipDirEntry entry;
  return reader::FirstZipEntry(archivePath, entry) == 0;
}

}  // namespace

const char* EntryResultText(int result) {
  switch (result) {
    case kEntryUnsafeName: return "unsafe name (would be written outside the destination)";
    case kEntryPathTooLong: return kOutputPathTooLong;
    case kEntryBadUtf8Name: return archive::NameProblemText(archive::NameProblem::BadUtf8);
    case kEntryNameNotInCodePage:
      return archive::NameProblemText(archive::NameProblem::NoAnsiForm);
    case kEntryUnknownCodePage:
      return archive::NameProblemText(archive::NameProblem::UnknownCodePage);
    case kEntryOverlapping: return "overlaps another entry (possible zip bomb)";
    case kEntryBadValues: return "sizes or offset unreadable (zip64 field missing or short)";
    case kEntryUnsafeLink:
      return "unsafe link (target absolute, outside the destination, or longer than a path)";
    case kEntryNotAFile: return "device, FIFO or socket: nothing created";
    case kEntryThroughLink: return "a symbolic link is in the way (nothing is written through one)";
    default: return reader::ExtractResultText(result);
  }
}

bool StopsWalk(int result) {
  return result == reader::ExtractReadError || result == reader::ExtractFormatError ||
         result == reader::ExtractCancelled || result == reader::ExtractBusy;
}

WalkSummary UnpackArchive(const std::string& source, const std::string& destDir,
                          WalkMode mode, WalkObserver* observer, int legacyCodePage,
                          EntrySource from, const UnpackOptions& options) {
  WalkSummary summary;
  if (source.size() > kMaxArchivePath) {
    summary.failure = "the archive path is longer than 200 characters";
    return summary;
  }
  if (mode == WalkMode::Extract) {
    try {
      ForceDirectoryChain(destDir);  // its result is not looked at, only a failure by throwing
    } catch (const std::exception&) {
      summary.failure = "the destination directory cannot be created";
      return summary;
    }
  }
  JoinedArchive joined(source);  // removes a joined volume set on every path out
  if (joined.outcome() == JoinedArchive::Outcome::Failed) {
    summary.failure = "the volume set could not be joined";
    return summary;
  }
  const bool repair = from == EntrySource::RepairScan;
  if (!repair && !reader::IsZipArchive(joined.path()) && !HasDirectory(joined.path())) {
    summary.failure = "not a zip archive";
    return summary;
  }
  if (observer != nullptr) observer->Begin(joined.path());
  WalkContext walk{joined.path(), destDir, mode, observer, legacyCodePage, {}, {}};
  if (mode == WalkMode::Extract && os::KeepsUnixMetadata()) {
    walk.unixSide.emplace(destDir, options.keepSpecialModeBits, kEscapeKey);
  }
  try {
    if (repair) {
      WalkRepaired(walk, summary);
    } else {
      Walk(walk, summary);
    }
  } catch (const std::exception&) {
    // A failure inside the walker (memory, a size it cannot read) ends the walk, as the end of
    // the directory would.
  }
  // Directories get their modes and times once nothing more is written into them.
  if (walk.unixSide) walk.unixSide->Finish();
  summary.result = 1;
  if (repair && summary.directoryResult != 0) {
    summary.result = 0;
    summary.failure = "not a zip archive: no entry found by the repair scan";
  }
  if (summary.directoryDamaged) {
    // What the directory held is unpacked, but the rest of it is lost: not a success.
    summary.result = 0;
    summary.failure = DamageText(summary.entriesRead, summary.entriesDeclared);
  }
  return summary;
}

void EntryFromHeader(reader::ZipDirEntry& entry, const archive::TZipHeaderInfo& h) {
  const std::string name = h.FullName();
  entry.name = name.substr(0, reader::KeptNameLength(name));  // as the walker keeps names
  entry.dateTime = h.dateTime;
  entry.crc32 = h.crc32;
  entry.method = h.method;
  entry.flags = h.flags;
  archive::CentralFileHeader host;
  host.versionMadeBy = h.versionMadeBy;
  entry.attributes = host.KeepsDosAttributes() ? uint16_t(h.externalAttributes & 0xFF) : 0;
  entry.compressedSize = h.compressedSize;
  entry.uncompressedSize = h.uncompressedSize;
  entry.localHeaderOffset = h.localHeaderOffset;
  entry.compressedSize64 = h.compressedSize64;
  entry.uncompressedSize64 = h.uncompressedSize64;
  entry.localHeaderPosition = h.localHeaderOffset64;
  entry.invalidValues = false;
  entry.nameProblem = h.nameProblem;
  entry.nameInUtf8 = false;
  entry.versionMadeBy = h.versionMadeBy;
  entry.externalAttributes = h.externalAttributes;
}

std::string DamageText(uint64_t entriesRead, uint64_t entriesDeclared) {
  return "central directory damaged after entry " + std::to_string(entriesRead) + " of " +
         std::to_string(entriesDeclared);
}

}  // namespace kestrel::exports
