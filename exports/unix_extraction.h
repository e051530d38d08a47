// unix_extraction.h — extracting entries on hosts that keep Unix metadata: modes restored
// from Unix-made entries, exact times, symbolic links created only when they stay inside the
// destination, devices and FIFOs refused, no write through a link in the way, and directory
// modes and times applied after their contents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "reader/extract_entry.h"
#include "reader/zip_walker.h"

namespace kestrel::exports {

// Longest link target accepted: a Linux path (PATH_MAX) less its terminating zero.
inline constexpr size_t kMaxLinkTarget = 4095;

// True when a link stored as name (the walker's form, "\" separators) pointing at target
// (host bytes, "/" separators) stays inside any directory the name is unpacked into: the
// target is relative, its ".." components all lead it and climb no higher than the link's
// own directory, and it holds no zero byte. Loops of links are not a way out and may stay.
bool LinkTargetStaysInside(const std::string& name, const std::string& target);

class UnixExtraction {
 public:
  // keepSpecialBits: restore setuid, setgid and sticky too (otherwise they are dropped).
  UnixExtraction(const std::string& destDir, bool keepSpecialBits);

  // Extracts one entry to outputPath (destDir plus its name); an entry result of the walk.
  int Extract(const std::string& archivePath, const reader::ZipDirEntry& entry,
              const std::string& outputPath, const reader::DirectorySizes& sizes);
  // Gives the directories that entries made their modes and times, deepest first, now that
  // nothing more is written into them.
  void Finish();

 private:
  int ExtractLink(const std::string& archivePath, const reader::ZipDirEntry& entry,
                  const std::string& outputPath, const reader::DirectorySizes& sizes,
                  const reader::UnixMetadata& metadata);

  // True when a symbolic link stands on relative's way below the destination or at it.
  bool LinkOnTheWay(const std::string& relative);
  void NoteRealDirectories(const std::string& relative);

  struct Directory {
    std::string relative;
    reader::UnixMetadata metadata;
  };
  std::string destDir_;
  uint32_t keptBits_;  // the permission bits restored: umask applied, special bits if asked
  std::vector<Directory> directories_;
  // Directories below the destination known to be real ones (no link) during this walk.
  std::unordered_set<std::string> realDirectories_;
};

}  // namespace kestrel::exports
