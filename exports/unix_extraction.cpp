// unix_extraction.cpp — the Unix side of an extraction: what an entry's st_mode asks for
// (file, directory, symbolic link, or a kind that is never created), the checks that keep
// every write and every link inside the destination, and the deferred directory metadata.
#include "exports/unix_extraction.h"

#include <algorithm>
#include <iterator>

#include "exports/unix_mode.h"
#include "exports/unpack_walk.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"

namespace kestrel::exports {

namespace {

std::string ParentOf(const std::string& relative) {
  const size_t cut = relative.rfind('\\');
  return cut == std::string::npos ? std::string() : relative.substr(0, cut);
}

std::string WithoutTrailingSeparator(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

std::string Joined(const std::string& dir, const std::string& relative) {
  return !dir.empty() && dir.back() == '\\' ? dir + relative : dir + "\\" + relative;
}

// The sink that reads a link's target: more than a path can hold stops it.
bool AppendUpToPathLength(void* context, const uint8_t* bytes, uint32_t n) {
  auto& target = *static_cast<std::string*>(context);
  if (n > kMaxLinkTarget - target.size()) return false;
  target.append(reinterpret_cast<const char*>(bytes), n);
  return true;
}

}  // namespace

bool LinkTargetStaysInside(const std::string& name, const std::string& target) {
  if (target.empty() || target.front() == '/' || target.find('\0') != std::string::npos)
    return false;
  auto levels = std::count(name.begin(), name.end(), '\\');  // directories above the link
  bool descended = false;
  for (size_t start = 0; start <= target.size();) {
    size_t end = target.find('/', start);
    if (end == std::string::npos) end = target.size();
    const std::string part = target.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      descended = true;
    } else if (descended || levels-- == 0) {
      // Climbing after a name could climb out of whatever that name is a link to.
      return false;
    }
  }
  return true;
}

UnixEntry UnixEntry::Of(const reader::ZipDirEntry& entry) {
  UnixEntry of;
  of.name = entry.name;
  of.mode = entry.UnixMode();
  if (entry.hasUnixTime) of.mtime = entry.unixTime;
  of.attributes = entry.attributes;
  of.size = entry.uncompressedSize64;
  of.headerOffset = entry.localHeaderOffset;
  return of;
}

uint32_t KeptModeBits(bool keepSpecialBits) {
  return (keepSpecialBits ? 07777u : 0777u) & ~os::CreationMask();
}

reader::UnixMetadata MetadataOf(const UnixEntry& entry, uint32_t keptBits) {
  reader::UnixMetadata metadata;
  // A link's own mode is no file's: where its target is written as data, that file keeps
  // the mode it was created with.
  if (entry.mode != 0 && FileType(entry.mode) != kTypeLink) {
    metadata.permissions = entry.mode & keptBits;
  }
  metadata.modificationTime = entry.mtime;
  return metadata;
}

void StampDirectory(const std::string& path, const reader::UnixMetadata& metadata) {
  const uint32_t* mode = metadata.permissions ? &*metadata.permissions : nullptr;
  const int64_t* time = metadata.modificationTime ? &*metadata.modificationTime : nullptr;
  if (mode != nullptr || time != nullptr) {
    os::SetUnixModeAndTime(WithoutTrailingSeparator(path), mode, time);  // not reported
  }
}

UnixExtraction::UnixExtraction(const std::string& destDir, bool keepSpecialBits,
                               int16_t cancelKey)
    : destDir_(destDir), keptBits_(KeptModeBits(keepSpecialBits)), cancelKey_(cancelKey) {}

int UnixExtraction::Extract(const std::string& archivePath, const UnixEntry& entry,
                            const std::string& outputPath, const reader::DirectorySizes& sizes) {
  const std::string& name = entry.name;
  const uint32_t mode = entry.mode;
  uint32_t type = FileType(mode);
  // zip reading its standard input from a pipe stores the pipe's mode with the data read:
  // that data is a file's content, unpacked as a regular file (as unzip does).
  if (type == kTypeFifo && entry.size != 0) type = kTypeFile;
  if (type != 0 && type != kTypeFile && type != kTypeDirectory && type != kTypeLink)
    return kEntryNotAFile;
  const bool link = type == kTypeLink;
  const bool directory =
      type == kTypeDirectory || (!name.empty() && name.back() == '\\') ||
      (entry.attributes & os::kAttrDirectory);
  // A link entry may replace a link of its name; nothing is written through one on the way.
  const std::string path = WithoutTrailingSeparator(name);
  if (link ? LinkOnTheWay(ParentOf(path)) : LinkOnTheWay(path)) return kEntryThroughLink;

  const reader::UnixMetadata metadata = MetadataOf(entry, keptBits_);
  if (link) return ExtractLink(archivePath, entry, outputPath, sizes, metadata);
  const uint16_t attributes =
      entry.attributes | (directory ? uint16_t{os::kAttrDirectory} : uint16_t{0});
  int result =
      reader::ExtractEntry(archivePath.c_str(), outputPath.c_str(), attributes,
                           int32_t(entry.headerOffset), nullptr, cancelKey_, &sizes,
                           directory ? nullptr : &metadata);
  // Making a directory succeeds when anything of its name is there: a file in its way would
  // pass for it and take its mode and time.
  os::UnixStat made;
  if (result == reader::ExtractOk && directory &&
      !(os::GetUnixStat(WithoutTrailingSeparator(outputPath), made, false) &&
        FileType(made.mode) == kTypeDirectory)) {
    os::SetLastError(os::kErrorDirectory);
    result = reader::ExtractWriteError;
  }
  if (result == reader::ExtractOk) {
    NoteRealDirectories(directory ? path : ParentOf(path));
    const std::lock_guard<std::mutex> lock(mutex_);
    if (directory) directories_.push_back({path, metadata});
  }
  return result;
}

void UnixExtraction::Forget(const UnixEntry& entry) {
  const std::string path = WithoutTrailingSeparator(entry.name);
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto last = std::find_if(directories_.rbegin(), directories_.rend(),
                                 [&path](const Directory& d) { return d.relative == path; });
  if (last != directories_.rend()) directories_.erase(std::next(last).base());
}

bool UnixExtraction::LinkOnTheWay(const std::string& relative) {
  if (relative.empty()) return false;
  const std::string parent = ParentOf(relative);
  if (!parent.empty()) {
    bool real;
    std::string known;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      real = realDirectories_.count(parent) != 0;
      // Only the components below the deepest directory already known real need a look: a
      // new directory's parent is nearly always one, so this is one component, not the path.
      known = ParentOf(parent);
      while (!known.empty() && realDirectories_.count(known) == 0) known = ParentOf(known);
    }
    const std::string base = known.empty() ? destDir_ : Joined(destDir_, known);
    if (!real && os::LinkInPath(base, known.empty() ? parent : parent.substr(known.size() + 1)))
      return true;
  }
  os::UnixStat st;
  return os::GetUnixStat(Joined(destDir_, relative), st, false) &&
         FileType(st.mode) == kTypeLink;
}

void UnixExtraction::NoteRealDirectories(const std::string& relative) {
  // Each prefix is a directory now (checked or made by this walk); a later link entry can
  // replace only a link, so it stays one until the walk ends.
  const std::lock_guard<std::mutex> lock(mutex_);
  for (size_t cut = 0; cut != std::string::npos && !relative.empty();) {
    cut = relative.find('\\', cut + 1);
    realDirectories_.insert(relative.substr(0, cut));
  }
}

int UnixExtraction::ExtractLink(const std::string& archivePath, const UnixEntry& entry,
                                const std::string& outputPath,
                                const reader::DirectorySizes& sizes,
                                const reader::UnixMetadata& metadata) {
  std::string target;
  const int result = reader::StreamEntry(archivePath.c_str(), AppendUpToPathLength, &target, 0,
                                         int32_t(entry.headerOffset), &sizes);
  if (result == reader::ExtractWriteError) return kEntryUnsafeLink;  // longer than a path
  if (result != reader::ExtractOk) return result;
  if (!LinkTargetStaysInside(entry.name, target)) return kEntryUnsafeLink;
  const std::string& name = entry.name;
  for (size_t cut = name.find('\\'); cut != std::string::npos; cut = name.find('\\', cut + 1))
    os::CreateDirectory(Joined(destDir_, name.substr(0, cut)));  // existing ones are fine
  // The target goes to the host as the bytes the archive holds, as it was read on packing.
  if (!os::CreateSymbolicLink(outputPath, target)) return reader::ExtractWriteError;
  NoteRealDirectories(ParentOf(name));
  if (metadata.modificationTime) {
    os::SetUnixModeAndTime(outputPath, nullptr, &*metadata.modificationTime);
  }
  return reader::ExtractOk;
}

void UnixExtraction::Finish() {
  // Deeper directories first, so setting a parent's time is the last change inside it.
  std::stable_sort(directories_.begin(), directories_.end(),
                   [](const Directory& a, const Directory& b) {
                     return std::count(a.relative.begin(), a.relative.end(), '\\') >
                            std::count(b.relative.begin(), b.relative.end(), '\\');
                   });
  for (const Directory& d : directories_) {
    // A directory this walk made or passed stays one (link entries replace only links);
    // any other may have been replaced meanwhile by a link, and is then left alone.
    if (realDirectories_.count(d.relative) == 0 && os::LinkInPath(destDir_, d.relative))
      continue;
    StampDirectory(Joined(destDir_, d.relative), d.metadata);
  }
  directories_.clear();
}

}  // namespace kestrel::exports
