// zip_gather.cpp — expanding FilesList before a run: explicit names are checked and completed
// with RootDir, masks are replaced by the files the directory search finds under them; and the
// two ways a source name maps to a stored directory (for writing, and for matching entries).
#include <algorithm>

#include "classlib/ansi_string.h"
#include "classlib/file_utils.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/code_page.h"
#include "support/dir_search.h"
#include "support/file_ops.h"
#include "support/mask_list.h"
#include "support/os_error_text.h"
#include "support/string_helpers.h"
#include "writer/lyn_zip.h"

namespace kestrel::writer {

namespace {

constexpr const char* kWildcardOrLostCharacter =
    "name holds a wildcard (* ? < > |) or a character the code page lacks";

}  // namespace

using classlib::AnsiSameText;
using classlib::EndsWithBackslash;
using classlib::ExtractFileDir;
using classlib::ExtractFileDrive;
using classlib::ExtractFileName;
using classlib::ExtractFilePath;

bool TLynZip::IsExcluded(const std::string& name) const {
  return support::MatchesMaskList(*excludeList_, name);
}

bool TLynZip::IsNoCompress(const std::string& name) const {
  return support::MatchesMaskList(*noCompressList_, name);
}

void TLynZip::GatherFiles() {
  totalBytes_ = 0;
  bytesProcessed_ = 0;
  const bool freshen = zipAction_ == zaFreshen;
  if (freshen) {
    // Freshening looks names up in the archive's directory, so it must be loaded first.
    if (EntryList() == nullptr && !replaceExisting_ && support::FileExistsAt(ZipName())) OpenZip();
    ApplySortMode(archive::ByName);
  }
  classlib::StringList masks;
  GatherExplicitNames(masks);
  for (const std::string& mask : masks.Items()) ExpandMask(mask);
  if (freshen) ApplySortMode(archive::ByNone);
}

void TLynZip::GatherExplicitNames(classlib::StringList& masks) {
  classlib::StringList& files = FilesList();
  for (int i = 0; i < files.Count();) {
    std::string item = files[i];
    if (EndsWithBackslash(item)) {  // a directory entry
      ++i;
      continue;
    }
    if (support::HasWildcards(item)) {
      masks.Add(item);
      files.Delete(i);
      continue;
    }
    if (ExtractFilePath(item).empty()) {
      item = RootDir() + item;
      files.Put(i, item);
    }
    bool keep = !IsExcluded(item);
    classlib::SearchRec found;
    const int error = keep ? classlib::FindFirst(item, classlib::faAnyFile, found) : 0;
    if (error != 0) {
      if (OnNoSuchFile) OnNoSuchFile(this, item);
      PassOver(item, support::OsErrorText(static_cast<uint32_t>(error)));
      keep = false;
    } else if (keep) {
      classlib::FindClose(found);
      keep = !(skipIfArchiveBitNotSet_ && (found.Attr & classlib::faArchive) == 0) &&
             !(zipAction_ == zaFreshen && !InArchiveForFreshen(item));
    }
    if (!keep) {
      files.Delete(i);
      continue;
    }
    totalBytes_ += found.Size;
    ++i;
  }
}

void TLynZip::ExpandMask(const std::string& given) {
  std::string mask = given;
  bool recurse = recurse_;
  if (mask.front() == '|' || mask.front() == '>') {
    recurse = mask.front() == '>';
    mask.erase(0, 1);
  }
  std::string dir = ExtractFileDir(mask);
  if (dir.empty()) dir = RootDir();
  if (!support::HasWildcards(dir) && !support::DirectoryExistsAt(dir)) return;
  std::string fileMask = ExtractFileName(mask);
  if (fileMask == "*.*") fileMask = "*";

  const bool dirHasWildcards = support::HasWildcards(dir);
  // A directory that cannot be listed (no permission, a path too long for the system) hides
  // its files: they are reported as passed over, through the directory's name. One whose
  // name the code page cannot hold was already reported when it was found.
  std::string empty;     // the last directory entered, while nothing was found under it
  std::string unlisted;  // the last directory that could not be listed: not known to be empty
  support::TDirSearch search(dir, fileMask, recurse,
                             [this, &dir, &unlisted](const std::string& directory,
                                                     uint32_t error) {
                               if (support::HasWildcards(
                                       directory.substr(std::min(directory.size(), dir.size()))))
                                 return;
                               bool retry = false;
                               if (OnSkippingFile)
                                 OnSkippingFile(this, archive::srFileOpenError, directory, -1,
                                                retry);
                               PassOver(directory, support::OsErrorText(error));
                               unlisted = classlib::ExcludeTrailingBackslash(directory);
                             });
  search.SetLinksAsFiles(storeSymbolicLinks_ && os::KeepsUnixMetadata());
  search.OnRevisit = [this](const std::string& directory) {
    PassOver(directory, kLinkNotFollowed);
    if (OnLinkLoop) OnLinkLoop(this, directory);
  };
  // Where the host keeps Unix metadata, a directory under which the search finds nothing is
  // stored as an entry of its own, so that it comes back on unpacking.
  const bool keepEmpty = recurse && !addDirEntriesOnRecurse_ && zipAction_ != zaFreshen &&
                         os::KeepsUnixMetadata();
  classlib::SearchRec record;
  std::string name;
  for (search.Next(record, name); !name.empty(); search.Next(record, name)) {
    if (OnRecursingFile) OnRecursingFile(this, name);
    if (!empty.empty() && name.compare(0, empty.size(), empty) != 0) FilesList().Add(empty);
    empty.clear();
    // The search puts "?" for a character the ANSI code page lacks, and the file lists take
    // "* ? < > |" as wildcards: such a name could be neither opened nor searched as itself,
    // so say so instead of losing it in silence.
    const std::string below = dirHasWildcards ? ExtractFileName(name)
                                              : name.substr(std::min(name.size(), dir.size()));
    if (support::HasWildcards(below)) {
      bool retry = false;
      if (OnSkippingFile) OnSkippingFile(this, archive::srNameNotConvertible, name, -1, retry);
      PassOver(name, kWildcardOrLostCharacter);
      continue;
    }
    if (EndsWithBackslash(name)) {
      if (recurse && addDirEntriesOnRecurse_) FilesList().Add(name);
      if (keepEmpty && classlib::ExcludeTrailingBackslash(name) != unlisted) empty = name;
      continue;
    }
    if (IsExcluded(name)) continue;
    ProcessMessagesAndCheckCancel();
    if (AnsiSameText(name, ZipName())) continue;  // never take the archive into itself
    if (skipIfArchiveBitNotSet_ && (classlib::FileGetAttr(name) & classlib::faArchive) == 0)
      continue;
    if (zipAction_ == zaFreshen && !InArchiveForFreshen(name)) continue;
    FilesList().Add(name);
    totalBytes_ += record.Size;
  }
  if (!empty.empty()) FilesList().Add(empty);
}

bool TLynZip::InArchiveForFreshen(const std::string& item) const {
  if (SortedView() == nullptr) return false;
  std::string name = item;
  if (OEMConvert()) support::OemRoundTrip(name);
  auto probe = NewHeader();
  probe->SetFileName(ExtractFileName(name));
  probe->SetDirectory(MatchDirectory(name));
  int32_t index = 0;
  return SortedView()->Find(probe.get(), index);
}

std::string TLynZip::MatchDirectory(const std::string& name) const {
  if (!storePaths_) return std::string();
  std::string dir = ExtractFilePath(name);
  if (relativePaths_) {
    dir.erase(0, std::min(RootDir().size(), dir.size()));
  } else if (!storeVolumes_) {
    const std::string drive = ExtractFileDrive(name);
    if (!drive.empty()) dir.erase(0, std::min(drive.size() + 1, dir.size()));
  }
  return dir;
}

std::string TLynZip::StoredDirectory(const std::string& name, const std::string& root) const {
  std::string dir = ExtractFileDir(name) + "\\";
  if (dir.size() >= 2 && dir.compare(dir.size() - 2, 2, "\\\\") == 0) dir.pop_back();
  if (!root.empty() && relativePaths_ && dir.size() >= root.size() &&
      AnsiSameText(dir.substr(0, root.size()), root)) {
    dir.erase(0, root.size());
  }
  if (!storeVolumes_ && !dir.empty()) {
    dir.erase(0, ExtractFileDrive(dir).size());
    if (!dir.empty() && dir.front() == '\\') dir.erase(0, 1);
  }
  return dir;
}

bool TLynZip::EntryMatchesFile(std::string item, const archive::TZipHeaderInfo& header) const {
  if (OEMConvert()) support::OemRoundTrip(item);
  const std::string stored = MatchDirectory(item) + ExtractFileName(item);
  const std::string entry = header.Directory() + header.FileName();
  // Where names differing only in case are different files, such a file is not this entry's:
  // it meets the entry's name as a collision when it is gathered, and is reported there.
  if (os::CaseSensitiveNames()) return stored == entry;
  return classlib::AsciiLowerCase(stored) == classlib::AsciiLowerCase(entry);
}

}  // namespace kestrel::writer
