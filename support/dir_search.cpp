// dir_search.cpp — the level stack of the directory search. The stack grows with the tree
// (no fixed depth limit), so deep trees lose nothing.
#include "support/dir_search.h"

#include "classlib/ansi_string.h"
#include "platform/platform.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/file_ops.h"
#include "support/string_helpers.h"
#include "support/wildcard.h"

namespace kestrel::support {

using classlib::faAnyFile;
using classlib::faDirectory;

namespace {

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

bool IsSubdirectory(const classlib::SearchRec& entry) {
  return (entry.Attr & faDirectory) != 0 && !IsDotEntry(entry.Name);
}

}  // namespace

TSearchData::TSearchData(const std::string& dir)
    : directory(dir.empty() ? dir : classlib::IncludeTrailingBackslash(dir)) {
  lastResult = classlib::FindFirst(directory + "*.*", faAnyFile, entry);
  listingFailed = lastResult != 0;
}

TSearchData::~TSearchData() {
  if (!listingFailed) classlib::FindClose(entry);
}

void TSearchData::FindNext() {
  if (lastResult == 0) lastResult = classlib::FindNext(entry);
}

TDirSearch::TDirSearch(const std::string& startDir, const std::string& fileMask, bool recurse,
                       UnlistableHandler onUnlistable)
    : fileMask_(fileMask), recurse_(recurse), onUnlistable_(std::move(onUnlistable)) {
  const std::string start = startDir.empty() ? startDir : classlib::IncludeTrailingBackslash(startDir);
  // Characters, not bytes: a trail byte 0x5C or 0x7C of a two-byte character is neither a
  // separator nor a wildcard.
  // A directory whose name holds a wildcard character (Linux) is itself, not a pattern.
  const size_t wildcard = IsLiteralName(start) ? std::string::npos
                                               : classlib::AnsiFindFirstOf(start, kWildcardChars);
  if (wildcard == std::string::npos) {
    fixedDir_ = start;
  } else {
    // The fixed part ends at the "\" before the first wildcard; a relative start such as
    // "x*\" has none, and its patterns are looked for in the current directory.
    const size_t cut = classlib::AnsiFindLast(start.substr(0, wildcard), '\\');
    const size_t rest = cut == std::string::npos ? 0 : cut + 1;
    fixedDir_ = start.substr(0, rest);
    for (size_t pos = rest; pos < start.size();) {
      const size_t end = classlib::AnsiFindFirstOf(start, "\\", pos);
      patterns_.push_back(start.substr(pos, end - pos));
      if (end == std::string::npos) break;
      pos = end + 1;
    }
    patternIndex_ = 0;
  }
  Push(fixedDir_);
}

TDirSearch::~TDirSearch() = default;

void TDirSearch::Push(const std::string& directory) {
  levels_.push_back(std::make_unique<TSearchData>(directory));
  const TSearchData& level = *levels_.back();
  const auto error = static_cast<uint32_t>(level.lastResult);
  if (level.listingFailed && onUnlistable_ && error != os::kErrorFileNotFound &&
      error != os::kErrorNoMoreFiles)
    onUnlistable_(level.directory, error);
}

void TDirSearch::Pop() { levels_.pop_back(); }

bool TDirSearch::EntersLink(const std::string& path) {
  if (os::ResolvesInside(path, fixedDir_.empty() ? "." : fixedDir_)) return false;
  os::UnixStat st;
  return !os::GetUnixStat(path, st, true) || outside_.emplace(st.device, st.inode).second;
}

void TDirSearch::Next(classlib::SearchRec& record, std::string& name) {
  const auto patternCount = static_cast<int>(patterns_.size());
  for (;;) {
    if (levels_.empty()) {
      name.clear();
      return;
    }
    TSearchData* top = levels_.back().get();
    if (top->lastResult != 0) {
      Pop();
      if (levels_.empty()) continue;
      if (static_cast<int>(levels_.size()) - 1 < patternCount) --patternIndex_;
      levels_.back()->FindNext();
      continue;
    }
    const int level = static_cast<int>(levels_.size()) - 1;
    if (level < patternCount) {
      // Directory pattern part: descend into the next matching subdirectory.
      while (top->lastResult == 0 &&
             !(IsSubdirectory(top->entry) &&
               IsMatch(patterns_[static_cast<size_t>(patternIndex_)], top->entry.Name)))
        top->FindNext();
      if (top->lastResult != 0) continue;
      ++patternIndex_;
      Push(top->directory + top->entry.Name);
      // Skip the new directory's own "." entry (only when the system lists one first).
      TSearchData* child = levels_.back().get();
      if (child->lastResult == 0 && child->entry.Name == ".") child->FindNext();
      continue;
    }
    // File part.
    if (!recurse_)
      while (top->lastResult == 0 && (top->entry.Attr & faDirectory) != 0) top->FindNext();
    if (top->lastResult != 0) continue;
    const classlib::SearchRec& entry = top->entry;
    const bool linkAsFile = linksAsFiles_ && entry.FindData.symbolicLink;
    if (IsSubdirectory(entry) && recurse_ && !linkAsFile) {
      name = top->directory + entry.Name;
      if (entry.FindData.symbolicLink && !EntersLink(name)) {
        if (OnRevisit) OnRevisit(name + "\\");
        top->FindNext();
        continue;
      }
      Push(name);
      name += "\\";
      return;
    }
    if ((entry.Attr & faDirectory) == 0 || linkAsFile) {
      // A name without an extension is tested with a "." appended, so "*.*" takes it.
      const std::string tested =
          classlib::ExtractFileExt(entry.Name).empty() ? entry.Name + "." : entry.Name;
      if (IsMatch(fileMask_, tested)) {
        record.Size = entry.Size;
        name = top->directory + entry.Name;
        top->FindNext();
        return;
      }
    }
    top->FindNext();
  }
}

}  // namespace kestrel::support
