// volume_set.h — carrying one file across floppy disks in drive A: as a volume set.
//
// SplitToVolumes cuts a file into volumes <base>.m01, .m02 … of at most volumeKiB × 1024 data
// bytes, prompting for each disk; JoinVolumes asks for the disks in order and glues the
// volumes back into one file. Both talk to the user only through task-modal message boxes
// (code page 936 texts) and never throw: the inner WriteVolumes / ReadVolumes report every
// failure as an EIOError, which the outer operations turn into one message and a failure
// result. Every file they open is closed before they return; files they created but could not
// complete are removed.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace kestrel::exports {

// The volume set's failure: a message text (code page 936) and nothing else.
class EIOError : public std::exception {
 public:
  explicit EIOError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Splits source (a full path) into volumes named after target's base (target cut before its
// first "."). Returns -1 on failure (after a message box), else the data bytes on the last
// volume when the size is not a multiple of the volume size, or 0.
int32_t SplitToVolumes(const std::string& source, const std::string& target, int32_t volumeKiB);
// The split itself; raises EIOError. volumeBytes must be positive.
int32_t WriteVolumes(const std::string& source, const std::string& target, int32_t volumeBytes);

// Joins the set whose first volume is firstVolume into destDir + storedName. Returns 1 on
// success, 0 on failure (after a message box). storedName receives the carried file's name as
// soon as it has been read and found safe, also when the join fails later. A failed or
// cancelled join leaves no output file behind.
int32_t JoinVolumes(const std::string& firstVolume, const std::string& destDir,
                    std::string& storedName);
// The join itself; destDir must end in "\". Raises EIOError.
int32_t ReadVolumes(const std::string& firstVolume, const std::string& destDir,
                    std::string& storedName);

// True when path is a readable file that starts with the volume tag "xml".
bool IsVolumeSetFile(const std::string& path);

// True when the drive of path (its first three characters, e.g. "A:\") has bytes + 50 bytes
// free. Shows "the path is invalid" and returns false when the drive cannot be asked.
bool HasFreeSpace(const std::string& path, int64_t bytes);

}  // namespace kestrel::exports
