// zip_file.cpp — the exported ZipFile: packs one file or one directory into a zip archive,
// asking before an existing archive is replaced, and carries an A: archive onto floppies.
//
// The old archive stays in place until the new one is complete (the component writes beside
// it and renames over it), and no exception leaves the library: a failure returns -1 with
// its message for kestrel_last_error.
#include "exports/zip_file.h"

#include <exception>

#include "classlib/ansi_string.h"
#include "classlib/path_utils.h"
#include "exports/host_hooks.h"
#include "exports/volume_set.h"
#include "kestrel.h"
#include "platform/platform.h"
#include "support/file_ops.h"
#include "writer/lyn_zip.h"

namespace kestrel::exports {

namespace {

// "目标文件存在,是否覆盖?" and "提示" in code page 936.
constexpr char kOverwritePrompt[] =
    "\xC4\xBF\xB1\xEA\xCE\xC4\xBC\xFE\xB4\xE6\xD4\xDA,\xCA\xC7\xB7\xF1\xB8\xB2\xB8\xC7?";
constexpr char kNoticeCaption[] = "\xCC\xE1\xCA\xBE";
constexpr uint32_t kOkCancelTaskModal = os::kMbTaskModal | os::kMbOkCancel;
constexpr int32_t kFloppyVolumeKiB = 1400;

bool OnDriveA(const std::string& path) {
  return !path.empty() && (path[0] == 'a' || path[0] == 'A');
}

bool PathExists(const std::string& path) {
  return os::GetFileAttributes(path) != os::kInvalidAttributes;
}

// Where an A: archive is built before it is split: the same path on C:, or, when something
// is already there, the same file name in a new directory of its own in the temporary
// directory (the volume set stores the file name, so it must stay).
class FloppyStaging {
 public:
  explicit FloppyStaging(const std::string& zipName) {
    archive_ = "c" + zipName.substr(1);
    if (!PathExists(archive_)) return;
    const std::string claimed = support::TempFileName(os::TempPath());
    if (claimed.empty() || !os::DeleteFile(claimed) || !os::CreateDirectory(claimed)) {
      archive_.clear();
      return;
    }
    directory_ = claimed;
    archive_ = claimed + "\\" + classlib::ExtractFileName(zipName);
  }
  ~FloppyStaging() {
    if (archive_.empty()) return;
    os::SetFileAttributes(archive_, os::kAttrNormal);
    os::DeleteFile(archive_);
    if (!directory_.empty()) os::RemoveDirectory(directory_);
  }
  FloppyStaging(const FloppyStaging&) = delete;
  FloppyStaging& operator=(const FloppyStaging&) = delete;
  const std::string& archive() const { return archive_; }

 private:
  std::string archive_;
  std::string directory_;
};

void Configure(writer::TLynZip& zip, const std::string& sourceArg, const std::string& archive,
               int32_t packLevel, bool recurse) {
  zip.SetPackLevel(packLevel);
  zip.SetZipName(archive);
  zip.SetRelativePaths(true);
  zip.SetRecurse(recurse);
  zip.SetReplaceExisting(true);  // a new archive: never the old archive's entries
  std::string source = sourceArg;
  const uint32_t attributes = os::GetFileAttributes(source);
  if (attributes == os::kInvalidAttributes || (attributes & os::kAttrDirectory) != 0) {
    zip.SetRootDir(classlib::IncludeTrailingBackslash(source));
    zip.FilesList().Add("*.*");
  } else {
    zip.SetRootDir(classlib::ExtractFilePath(source));
    zip.FilesList().Add(classlib::ExtractFileName(source));
  }
}

// Files named in full in the message; the rest are counted.
constexpr size_t kNamedInMessage = 3;

int32_t RunComponent(const std::string& source, const std::string& archive, int32_t packLevel,
                     bool recurse, ZipFileOutcome& outcome) {
  writer::TLynZip zip;
  try {
    Configure(zip, source, archive, packLevel, recurse);
    zip.SetWriteEmptyArchive(false);
    const int32_t packed = zip.RunZip();
    outcome.passedOver = zip.PassedOver();
    // A new archive with no entries is not written (see SetWriteEmptyArchive).
    outcome.nothingToPack = packed == 0;
    return packed;
  } catch (const std::exception& e) {
    outcome.failure = e.what();
  } catch (...) {
    outcome.failure = "Unexpected failure while packing";
  }
  outcome.passedOver = zip.PassedOver();
  return -1;
}

}  // namespace

std::string OutcomeMessage(const ZipFileOutcome& outcome) {
  if (!outcome.failure.empty()) return outcome.failure;
  std::string text;
  const auto& files = outcome.passedOver;
  if (!files.empty()) {
    text = std::to_string(files.size()) +
           (files.size() == 1 ? " file was not packed: " : " files were not packed: ");
    for (size_t i = 0; i < files.size() && i < kNamedInMessage; ++i)
      text += (i ? "; " : "") + files[i].name + " (" + files[i].reason + ")";
    if (files.size() > kNamedInMessage)
      text += "; and " + std::to_string(files.size() - kNamedInMessage) + " more";
  }
  if (outcome.nothingToPack)
    text += std::string(text.empty() ? "" : ". ") + "Nothing to pack: no archive was written";
  return text;
}

ZipFileOutcome PackSource(const std::string& source, const std::string& zipName, int32_t packLevel,
                          bool recurse) {
  ZipFileOutcome outcome;
  // An empty source would be taken for the root of the current drive.
  if (classlib::Trim(source).empty()) {
    outcome.result = -1;
    outcome.failure = "no source given";
    return outcome;
  }
  bool overwrite = false;
  if (support::FileExistsAt(zipName)) {
    if (os::MessageBox(kOverwritePrompt, kNoticeCaption, kOkCancelTaskModal) != os::kIdOk) {
      outcome.result = -1;
      outcome.failure = "The archive exists and was not overwritten";
      return outcome;
    }
    overwrite = true;
  }
  if (!OnDriveA(zipName)) {
    outcome.result = RunComponent(source, zipName, packLevel, recurse, outcome);
    return outcome;
  }
  FloppyStaging staging(zipName);
  if (staging.archive().empty()) {
    outcome.result = -1;
    outcome.failure = "No place on drive C: to build the archive for the floppy disks";
    return outcome;
  }
  outcome.result = RunComponent(source, staging.archive(), packLevel, recurse, outcome);
  if (outcome.result < 0 || outcome.nothingToPack) return outcome;
  // The old file on A: is replaced by the volume set only now that the archive exists.
  if (overwrite) os::DeleteFile(zipName);
  outcome.splitFailed = SplitToVolumes(staging.archive(), zipName, kFloppyVolumeKiB) < 0;
  return outcome;
}

}  // namespace kestrel::exports

extern "C" int32_t KESTREL_CALL ZipFile(const char* source, const char* zipName,
                                        const char* /*reserved*/, int32_t packLevel,
                                        int32_t recurse) {
  try {
    const auto outcome = kestrel::exports::PackSource(source ? source : "", zipName ? zipName : "",
                                                      packLevel, (recurse & 0xFF) != 0);
    kestrel::exports::SetLastFailure(
        kestrel::os::host::AnsiToHostText(kestrel::exports::OutcomeMessage(outcome)));
    return outcome.result;
  } catch (...) {
    // Even a failure to allocate the message must not reach a foreign caller.
    return -1;
  }
}
