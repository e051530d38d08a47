// unix_extraction.h — extracting entries on hosts that keep Unix metadata: modes restored
// from Unix-made entries, exact times, symbolic links created only when they stay inside the
// destination, devices and FIFOs refused, no write through a link in the way, and directory
// modes and times applied after their contents.
#pragma once

#include <cstdint>
#include <mutex>
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

// What the Unix side needs of an entry, whether the walk or the reading interface read it.
struct UnixEntry {
  std::string name;                   // as created below the destination, "\" separators
  uint32_t mode = 0;                  // st_mode of a Unix-made entry, else 0
  std::optional<int64_t> mtime;       // the extended timestamp's time, seconds since 1970
  uint16_t attributes = 0;            // the DOS attributes the driver takes
  uint64_t size = 0;                  // uncompressed
  uint32_t headerOffset = 0;          // the 32-bit field (sizes carry the full position)

  static UnixEntry Of(const reader::ZipDirEntry& entry);
};

// The permission bits restored from Unix-made entries: the umask applied, setuid, setgid
// and sticky only when keepSpecialBits.
uint32_t KeptModeBits(bool keepSpecialBits);
// What the driver applies to a file or directory made for entry: its permissions masked by
// keptBits (Unix-made entries other than links) and its exact time (when it has one).
reader::UnixMetadata MetadataOf(const UnixEntry& entry, uint32_t keptBits);
// Gives the directory at path (a trailing "\" allowed) the mode and time of metadata, once
// nothing more is written into it.
void StampDirectory(const std::string& path, const reader::UnixMetadata& metadata);

class UnixExtraction {
 public:
  // keepSpecialBits: restore setuid, setgid and sticky too (otherwise they are dropped).
  // cancelKey: the driver's notifyId, a key that cancels while held down (0: none).
  UnixExtraction(const std::string& destDir, bool keepSpecialBits, int16_t cancelKey);

  // Extracts one entry to outputPath (destDir plus its name); an entry result of the walk.
  int Extract(const std::string& archivePath, const UnixEntry& entry,
              const std::string& outputPath, const reader::DirectorySizes& sizes);
  // Gives the directories that entries made their modes and times, deepest first, now that
  // nothing more is written into them.
  void Finish();
  // Forgets the mode and time that the directory entry named as entry.name would get from
  // Finish (an entry extracted ahead of a walk that ended before it).
  void Forget(const UnixEntry& entry);

 private:
  int ExtractLink(const std::string& archivePath, const UnixEntry& entry,
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
  int16_t cancelKey_;
  // Entries may be extracted on several threads at once: the lists below are shared.
  std::mutex mutex_;
  std::vector<Directory> directories_;
  // Directories below the destination known to be real ones (no link) during this walk.
  std::unordered_set<std::string> realDirectories_;
};

}  // namespace kestrel::exports
