// dir_search.h — TDirSearch: the files under a start directory that match a mask, optionally
// recursing (each subdirectory is returned as "path\" right before its contents), with
// wildcards allowed in the directory part ("C:\data\2*\logs\"). TSearchData is one level: one
// open directory listing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "classlib/file_utils.h"
#include "classlib/object.h"

namespace kestrel::support {

class TSearchData : public classlib::Object {
 public:
  // Lists directory ("\" appended unless empty or present) with every attribute admitted.
  explicit TSearchData(const std::string& directory);
  ~TSearchData() override;  // closes the listing unless it failed to start
  TSearchData(const TSearchData&) = delete;
  TSearchData& operator=(const TSearchData&) = delete;
  std::string ClassName() const override { return "TSearchData"; }

  // Advances while the listing is valid; does nothing once it is exhausted.
  void FindNext();

  std::string directory;
  int lastResult = 0;  // 0 while entry is valid
  classlib::SearchRec entry;
  bool listingFailed = false;
};

class TDirSearch : public classlib::Object {
 public:
  // Told of each directory the search meets but cannot list (path with "\" appended, and the
  // platform error), since whatever it holds is then missed. An empty directory is not one.
  using UnlistableHandler = std::function<void(const std::string& directory, uint32_t error)>;

  TDirSearch(const std::string& startDir, const std::string& fileMask, bool recurse,
             UnlistableHandler onUnlistable = {});
  ~TDirSearch() override;
  std::string ClassName() const override { return "TDirSearch"; }

  // name := the next file path or (when recursing) subdirectory path ending in "\"; empty at
  // the end (and on every later call). For a file, record.Size receives its size.
  void Next(classlib::SearchRec& record, std::string& name);

  // With links as files, a symbolic link to a directory is returned as a file name instead
  // of being entered (the caller stores the link itself).
  void SetLinksAsFiles(bool v) { linksAsFiles_ = v; }
  // Told of each symbolic link to a directory that the search does not enter because the
  // directory is reached anyway: it lies inside the start directory (a loop back to an
  // ancestor, or a second way to a directory listed under its own name), or another link
  // led there before. So loops end and nothing is gathered twice.
  std::function<void(const std::string& directory)> OnRevisit;

  // The parts of the start directory: the fixed directory that is listed first, and one
  // pattern per wildcard level below it.
  const std::string& FixedDirectory() const { return fixedDir_; }
  const std::vector<std::string>& DirectoryPatterns() const { return patterns_; }

 private:
  void Push(const std::string& directory);
  void Pop();
  // False when the subdirectory path, reached through a symbolic link, is gathered anyway.
  bool EntersLink(const std::string& path);

  std::vector<std::unique_ptr<TSearchData>> levels_;  // levels_.back() is the top
  std::string fileMask_;
  bool recurse_;
  UnlistableHandler onUnlistable_;
  std::vector<std::string> patterns_;
  int patternIndex_ = -1;
  std::string fixedDir_;
  bool linksAsFiles_ = false;
  // Device and inode of the directories entered through links that lead out of the start.
  std::set<std::pair<uint64_t, uint64_t>> outside_;
};

}  // namespace kestrel::support
