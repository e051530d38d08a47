// unpack_walk.cpp — UnZipFile's walk over an archive's central directory.
#include "exports/unpack_walk.h"

#include <exception>

#include "exports/directory_chain.h"
#include "exports/entry_path.h"
#include "exports/volume_source.h"
#include "reader/extract_entry.h"
#include "reader/unzip_state.h"

namespace kestrel::exports {

namespace {

constexpr int16_t kEscapeKey = 27;  // held down, it cancels an extraction

int NameProblemResult(archive::NameProblem problem) {
  switch (problem) {
    case archive::NameProblem::None: return 0;
    case archive::NameProblem::BadUtf8: return kEntryBadUtf8Name;
    case archive::NameProblem::NoAnsiForm: return kEntryNameNotInCodePage;
    case archive::NameProblem::UnknownCodePage: return kEntryUnknownCodePage;
  }
  return kEntryBadUtf8Name;
}

int EntryResult(const std::string& archivePath, const std::string& destDir, WalkMode mode,
                const reader::ZipDirEntry& entry) {
  // Such a name is never used in place of the right one: the entry fails with its reason.
  if (const int refused = NameProblemResult(entry.nameProblem)) return refused;
  const std::string name = entry.name;
  const reader::DirectorySizes sizes{entry.compressedSize, entry.uncompressedSize};
  if (mode == WalkMode::Test) {
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
  return reader::ExtractEntry(archivePath.c_str(), outputPath.c_str(), entry.attributes,
                              int32_t(entry.localHeaderOffset), nullptr, kEscapeKey, &sizes);
}

void Walk(const std::string& archivePath, const std::string& destDir, WalkMode mode,
          WalkObserver* observer, int legacyCodePage, WalkSummary& summary) {
  reader::ArchiveHold hold(archivePath);
  // The walk creates every file and directory under destDir itself, one after the other.
  os::NameLookupScope names;
  reader::ZipDirEntry entry;
  entry.legacyCodePage = legacyCodePage;
  summary.directoryResult = reader::FirstZipEntry(archivePath, entry);
  if (summary.directoryResult != 0) return;  // an unreadable directory is not a failure
  for (;;) {
    if (observer != nullptr) observer->BeforeEntry(entry);
    const int result = EntryResult(archivePath, destDir, mode, entry);
    const bool goOn = observer == nullptr || observer->AfterEntry(entry, result);
    if (StopsWalk(result)) {
      summary.stopResult = result;
      break;
    }
    if (!goOn) {
      summary.stoppedByObserver = true;
      break;
    }
    if (reader::NextZipEntry(entry) != 0) break;
  }
  reader::CloseZipEntries(entry);
}

}  // namespace

const char* EntryResultText(int result) {
  switch (result) {
    case kEntryUnsafeName: return "unsafe name (would be written outside the destination)";
    case kEntryPathTooLong: return "output path longer than 259 characters";
    case kEntryBadUtf8Name: return archive::NameProblemText(archive::NameProblem::BadUtf8);
    case kEntryNameNotInCodePage:
      return archive::NameProblemText(archive::NameProblem::NoAnsiForm);
    case kEntryUnknownCodePage:
      return archive::NameProblemText(archive::NameProblem::UnknownCodePage);
    default: return reader::ExtractResultText(result);
  }
}

bool StopsWalk(int result) {
  return result == reader::ExtractReadError || result == reader::ExtractFormatError ||
         result == reader::ExtractCancelled || result == reader::ExtractBusy;
}

WalkSummary UnpackArchive(const std::string& source, const std::string& destDir,
                          WalkMode mode, WalkObserver* observer, int legacyCodePage) {
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
  if (!reader::IsZipArchive(joined.path())) {
    summary.failure = "not a zip archive";
    return summary;
  }
  if (observer != nullptr) observer->Begin(joined.path());
  try {
    Walk(joined.path(), destDir, mode, observer, legacyCodePage, summary);
  } catch (const std::exception&) {
    // A failure inside the walker (memory, a size it cannot read) ends the walk, as the end of
    // the directory would.
  }
  summary.result = 1;
  return summary;
}

}  // namespace kestrel::exports
