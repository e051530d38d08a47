// spanned_set.cpp — asking for the disks of a spanned archive and joining them.
#include "exports/spanned_set.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/zip_records.h"
#include "exports/disk_join.h"
#include "platform/platform.h"

namespace kestrel::exports {

namespace {

constexpr int kMostDisks = 999;               // the writer's labels count to "PKBACK# 999"
constexpr const char* kLabelPrefix = "PKBACK# ";

bool StartsWithLocalHeader(const std::string& path) {
  const os::FileHandle file = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (file == os::kInvalidFile) return false;
  uint8_t start[4];
  uint32_t got = 0;
  const bool read = os::ReadFile(file, start, sizeof start, got) && got == sizeof start;
  os::CloseFile(file);
  return read && archive::LoadLe32(start) == archive::kLocalHeaderSignature;
}

// The disk number the label of the drive holding path gives (the writer labels removable
// disks "PKBACK# 001", ...); 0 when there is no such label.
int LabelledDisk(const std::string& path) {
  std::string label;
  if (path.size() < 3 || path[1] != ':' || !os::GetVolumeLabel(path.substr(0, 3), label) ||
      label.rfind(kLabelPrefix, 0) != 0) {
    return 0;
  }
  return std::atoi(label.c_str() + std::char_traits<char>::length(kLabelPrefix));
}

// One join: the disks appended so far to the temporary file.
class Join {
 public:
  Join(const std::string& drivePath, std::string& joinedPath, std::string& error)
      : path_(drivePath), joinedPath_(joinedPath), error_(error) {}
  ~Join() {
    if (file_ != os::kInvalidFile) os::CloseFile(file_);
    if (!done_ && !joinedPath_.empty()) {
      os::DeleteFile(joinedPath_);
      joinedPath_.clear();
    }
  }

  // Appends the file of the disk in the drive as disk n; false (error set) when it cannot be.
  bool Add(int n) {
    if (file_ == os::kInvalidFile && (file_ = CreateJoinFile(joinedPath_)) == os::kInvalidFile) {
      return Fail("no temporary file to join the disks in");
    }
    const int labelled = LabelledDisk(path_);
    if (labelled != 0 && labelled != n) {
      return Fail("the disk in the drive is disk " + std::to_string(labelled) + ", not disk " +
                  std::to_string(n));
    }
    starts_.push_back(os::FileSize(file_));
    if (starts_.back() < 0 || !AppendFile(path_, file_)) {
      return Fail("disk " + std::to_string(n) + ": the archive's file cannot be read");
    }
    return true;
  }

  // The disk just added holds the end record at endAt (in its file): rebase and finish.
  SpanJoin Finish(int64_t endAt) {
    const int64_t size = os::FileSize(file_);
    if (!RebaseDirectory(file_, starts_, starts_.back() + endAt, size)) {
      Fail("the disks' directory does not fit them (a disk missing or out of order)");
      return SpanJoin::Failed;
    }
    done_ = true;
    return SpanJoin::Joined;
  }

 private:
  bool Fail(const std::string& why) {
    error_ = why;
    return false;
  }

  const std::string& path_;
  std::string& joinedPath_;
  std::string& error_;
  os::FileHandle file_ = os::kInvalidFile;
  std::vector<int64_t> starts_;
  bool done_ = false;
};

}  // namespace

SpanJoin JoinSpannedSet(const std::string& drivePath, const AskDisk& askDisk,
                        std::string& joinedPath, std::string& error) {
  const int64_t endAt = FindEndRecord(drivePath);
  const int32_t endDisk = endAt >= 0 ? EndRecordDisk(drivePath, endAt) : -1;
  // 0xFFFF: the number is in a zip64 end record; spanned sets are never written with one.
  if (endDisk == 0 || endDisk == 0xFFFF || (endAt < 0 && (!askDisk || !StartsWithLocalHeader(drivePath)))) {
    return SpanJoin::NotSpanned;
  }
  if (endDisk > 0 && !askDisk) {
    error = "this is disk " + std::to_string(endDisk + 1) + ", the last, of an archive spanning " +
            std::to_string(endDisk + 1) + " disks";
    return SpanJoin::NeedsDisks;
  }
  Join join(drivePath, joinedPath, error);
  if (endDisk > 0) {
    // The last disk is in the drive: read the set from its first disk on.
    const int last = endDisk + 1;
    for (int n = 1; n <= last; ++n) {
      if (!askDisk(n)) return SpanJoin::Cancelled;
      if (!join.Add(n)) return SpanJoin::Failed;
    }
    if (FindEndRecord(drivePath) != endAt || EndRecordDisk(drivePath, endAt) != endDisk) {
      error = "disk " + std::to_string(last) + " is not the disk the set ended on";
      return SpanJoin::Failed;
    }
    return join.Finish(endAt);
  }
  // The first disk is in the drive: the set ends on the disk whose end record names it.
  if (!join.Add(1)) return SpanJoin::Failed;
  for (int n = 2; n <= kMostDisks; ++n) {
    if (!askDisk(n)) return SpanJoin::Cancelled;
    if (!join.Add(n)) return SpanJoin::Failed;
    const int64_t at = FindEndRecord(drivePath);
    if (at >= 0 && EndRecordDisk(drivePath, at) == n - 1) return join.Finish(at);
  }
  error = "no disk of the set holds its end";
  return SpanJoin::Failed;
}

}  // namespace kestrel::exports
