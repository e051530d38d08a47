// zip_gather.cpp — expanding FilesList before a run: explicit names are checked and completed
// with RootDir, masks are replaced by the files the directory search finds under them; and the
// two ways a source name maps to a stored directory (for writing, and for matching entries).
#include <algorithm>
#include <set>

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
#include "support/wildcard.h"
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
  utf8Files_.clear();
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
    if (support::HasWildcards(item) &&
        !support::IsLiteralName(ExtractFilePath(item).empty() ? RootDir() + item : item)) {
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
  const bool dirHasWildcards = support::HasWildcards(dir) && !support::IsLiteralName(dir);
  if (!dirHasWildcards && !support::DirectoryExistsAt(dir)) return;
  std::string fileMask = ExtractFileName(mask);
  if (fileMask == "*.*") fileMask = "*";

  // A directory that cannot be listed (no permission, a path too long for the system) hides
  // its files: they are reported as passed over, through the directory's name. One whose
  // name the code page cannot hold was already reported when it was found.
  std::string empty;     // the last directory entered, while nothing was found under it
  std::string unlisted;  // the last directory that could not be listed: not known to be empty
  support::TDirSearch search(dir, fileMask, recurse,
                             [this, &dir, &unlisted](const std::string& directory,
                                                     uint32_t error) {
                               if (support::HasWildcards(directory.substr(
                                       std::min(directory.size(), dir.size()))) &&
                                   !support::IsLiteralName(directory))
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
  std::set<std::string> listedInUtf8;
  std::vector<std::string> wildcardNames;  // names that truly hold a wildcard, as found
  auto holdsWildcard = [&wildcardNames](const std::string& found) {
    return std::any_of(wildcardNames.begin(), wildcardNames.end(),
                       [&found](const std::string& held) {
                         return found.compare(0, held.size(), held) == 0;
                       });
  };
  for (search.Next(record, name); !name.empty(); search.Next(record, name)) {
    if (OnRecursingFile) OnRecursingFile(this, name);
    if (!empty.empty() && name.compare(0, empty.size(), empty) != 0) FilesList().Add(empty);
    empty.clear();
    // The search puts "?" for a character the ANSI code page lacks; no file has such a name.
    // Its directory is listed again in UTF-8, and such names are gathered from there. On Linux
    // a name may truly hold "* ? < > |": found as written, it is stored as it is. Elsewhere (or
    // where it is not found as written) it could be neither opened nor searched as itself, nor
    // could a name below such a directory, or one met where the UTF-8 listing fails: say so
    // instead of losing it in silence.
    const std::string below = dirHasWildcards ? ExtractFileName(name)
                                              : name.substr(std::min(name.size(), dir.size()));
    if (support::HasWildcards(below) && !support::IsLiteralName(name)) {
      const std::string parent = ExtractFilePath(classlib::ExcludeTrailingBackslash(name));
      if (!holdsWildcard(name) && !listedInUtf8.contains(parent) &&
          GatherUtf8Names(parent, fileMask, recurse, wildcardNames)) {
        listedInUtf8.insert(parent);
      }
      if (!holdsWildcard(name) && listedInUtf8.contains(parent)) continue;
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
    if (!WantsFound(name)) continue;
    if (AnsiSameText(name, ZipName())) continue;  // never take the archive into itself
    if (zipAction_ == zaFreshen && !InArchiveForFreshen(name)) continue;
    FilesList().Add(name);
    totalBytes_ += record.Size;
  }
  if (!empty.empty()) FilesList().Add(empty);
}

bool TLynZip::WantsFound(const std::string& name) {
  if (IsExcluded(name)) return false;
  ProcessMessagesAndCheckCancel();
  return !(skipIfArchiveBitNotSet_ && (classlib::FileGetAttr(name) & classlib::faArchive) == 0);
}

// The names in directory (ANSI) that the ANSI code page cannot hold, listed in UTF-8 and
// gathered into utf8Files_ (with, for a directory, all it holds when recursing). Freshening
// passes them by: no entry of the archive can be found for them by name. The names the code
// page holds that contain a wildcard are added to wildcardNames (a directory's with its
// trailing backslash). False when the directory's own name cannot be had in UTF-8.
bool TLynZip::GatherUtf8Names(const std::string& directory, const std::string& fileMask,
                              bool recurse, std::vector<std::string>& wildcardNames) {
  const int ansi = os::AnsiCodePage();
  std::string dirUtf8, maskUtf8;
  if (!os::ConvertCodePage(ansi, os::kUtf8CodePage, directory, dirUtf8) ||
      !os::ConvertCodePage(ansi, os::kUtf8CodePage, fileMask, maskUtf8)) {
    return false;
  }
  const bool keepEmpty = !addDirEntriesOnRecurse_ && os::KeepsUnixMetadata();
  const os::CodePageScope utf8(os::kUtf8CodePage, os::kUtf8CodePage);
  auto gather = [this](const std::string& name, const classlib::SearchRec& record) {
    if (OnRecursingFile) OnRecursingFile(this, name);
    if (EndsWithBackslash(name)) {
      if (addDirEntriesOnRecurse_) utf8Files_.push_back(name);
    } else if (WantsFound(name)) {
      utf8Files_.push_back(name);
      totalBytes_ += record.Size;
    }
  };
  support::TSearchData listing(dirUtf8);
  for (; listing.lastResult == 0; listing.FindNext()) {
    const classlib::SearchRec& found = listing.entry;
    std::string inAnsi;
    if (found.Name == "." || found.Name == "..") continue;
    if (os::ConvertCodePage(os::kUtf8CodePage, ansi, found.Name, inAnsi)) {
      // Gathered already through the ANSI code page, unless it holds a wildcard.
      if (support::HasWildcards(inAnsi)) {
        wildcardNames.push_back(directory + inAnsi +
                                ((found.Attr & classlib::faDirectory) != 0 ? "\\" : ""));
      }
      continue;
    }
    if (zipAction_ == zaFreshen) continue;
    const std::string path = listing.directory + found.Name;
    if ((found.Attr & classlib::faDirectory) == 0) {
      const std::string tested =
          classlib::ExtractFileExt(found.Name).empty() ? found.Name + "." : found.Name;
      if (support::IsMatch(maskUtf8, tested)) gather(path, found);
      continue;
    }
    if (!recurse) continue;
    gather(path + "\\", found);
    std::string unlisted;
    support::TDirSearch below(path, maskUtf8, true,
                              [this, &unlisted](const std::string& dir, uint32_t error) {
                                bool retry = false;
                                if (OnSkippingFile)
                                  OnSkippingFile(this, archive::srFileOpenError, dir, -1, retry);
                                PassOver(dir, support::OsErrorText(error));
                                unlisted = dir;
                              });
    below.SetLinksAsFiles(storeSymbolicLinks_ && os::KeepsUnixMetadata());
    // Empty directories are kept as ExpandMask keeps them.
    std::string empty = keepEmpty ? path + "\\" : std::string();
    classlib::SearchRec record;
    std::string name;
    for (below.Next(record, name); !name.empty(); below.Next(record, name)) {
      if (!empty.empty() && name.compare(0, empty.size(), empty) != 0) utf8Files_.push_back(empty);
      empty.clear();
      gather(name, record);
      if (keepEmpty && EndsWithBackslash(name) && name != unlisted) empty = name;
    }
    if (!empty.empty() && empty != unlisted) utf8Files_.push_back(empty);
  }
  return true;
}

int TLynZip::GatheredCount() const {
  return FilesList().Count() + static_cast<int>(utf8Files_.size());
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

bool TLynZip::EntryMatchesFile(const std::string& item,
                               const archive::TZipHeaderInfo& header) const {
  return FileMatchKey(item) == EntryMatchKey(header);
}

std::string TLynZip::FileMatchKey(std::string item) const {
  if (OEMConvert()) support::OemRoundTrip(item);
  return CaseFolded(MatchDirectory(item) + ExtractFileName(item));
}

std::string TLynZip::EntryMatchKey(const archive::TZipHeaderInfo& header) const {
  return CaseFolded(header.Directory() + header.FileName());
}

// Where names differing only in case are different files, such a file is not this entry's:
// it meets the entry's name as a collision when it is gathered, and is reported there.
std::string TLynZip::CaseFolded(std::string name) {
  return os::CaseSensitiveNames() ? name : classlib::AsciiLowerCase(name);
}

}  // namespace kestrel::writer
