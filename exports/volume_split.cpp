// volume_split.cpp — SplitToVolumes, WriteVolumes and HasFreeSpace: cutting a file into
// floppy volumes, one disk after another, with the user's prompts in between.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <vector>

#include "exports/directory_chain.h"
#include "exports/volume_file.h"
#include "exports/volume_format.h"
#include "exports/volume_messages.h"
#include "exports/volume_set.h"
#include "platform/platform.h"

namespace kestrel::exports {

namespace vt = volume_text;

namespace {

int Show(const std::string& text, const char* caption, uint32_t buttons) {
  return os::MessageBox(text, caption, os::kMbTaskModal | buttons);
}

bool OnDriveA(const std::string& path) {
  return !path.empty() && std::toupper(static_cast<unsigned char>(path[0])) == 'A';
}

bool HasDriveColon(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

// Size of source as the directory search reports it. The format keeps sizes in signed 32-bit
// fields, so a file of 2 GiB or more is refused rather than described wrongly.
int32_t SourceSize(const std::string& source) {
  os::FindData found;
  os::FindHandle find = os::FindFirstFile(source, found);
  if (find == os::kInvalidFind) throw EIOError(vt::kErrSourceSize);
  os::FindClose(find);
  if (found.attributes & os::kAttrDirectory) throw EIOError(vt::kErrSourceOpen);
  if (found.size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    throw EIOError(vt::kErrSourceSize);
  }
  return static_cast<int32_t>(found.size);
}

// Writes volume k: header, then up to volumeBytes data bytes from source. A volume that could
// not be completed is removed again, so no truncated volume is left looking like a good one.
void WriteOneVolume(VolumeFile& source, const std::string& name, int32_t k, int32_t total,
                    int32_t volumeBytes, const std::string& storedName,
                    std::vector<unsigned char>& buffer) {
  RemoveUnlessKept partial;
  VolumeFile volume = VolumeFile::Create(name);
  if (!volume) throw EIOError(vt::kErrWrite);
  partial.Arm(name);

  std::string header = k == 1 ? FirstVolumeHeader(total, volumeBytes, storedName) : VolumeHeader(k);
  if (!volume.WriteAll(header.data(), static_cast<uint32_t>(header.size()))) {
    throw EIOError(vt::kErrWrite);
  }

  uint32_t copied = 0;
  uint32_t lastRead = kCopyBlock;
  const uint32_t limit = static_cast<uint32_t>(volumeBytes);
  while (copied < limit && lastRead == kCopyBlock) {
    uint32_t want = std::min(kCopyBlock, limit - copied);
    uint32_t got = 0;
    if (!source.Read(buffer.data(), want, got)) throw EIOError(vt::kErrWrite);
    if (got > 0 && !volume.WriteAll(buffer.data(), got)) throw EIOError(vt::kErrWrite);
    copied += got;
    lastRead = got;
  }
  if (!volume.Close()) throw EIOError(vt::kErrWrite);
  partial.Keep();
}

}  // namespace

bool HasFreeSpace(const std::string& path, int64_t bytes) {
  if (path.size() < 2) {
    Show(vt::kBadPath, vt::kWarning, os::kMbOk);
    return false;
  }
  uint64_t freeBytes = 0;
  uint64_t totalBytes = 0;
  if (!os::GetDiskFreeSpace(path.substr(0, 3), freeBytes, totalBytes)) {
    Show(vt::kBadPath, vt::kWarning, os::kMbOk);
    return false;
  }
  // The free space is a 32-bit quantity; a larger disk counts as 4 GiB free rather than
  // wrapping around to a small number.
  freeBytes = std::min<uint64_t>(freeBytes, std::numeric_limits<uint32_t>::max());
  return bytes >= 0 && static_cast<uint64_t>(bytes) + kHeaderReserve <= freeBytes;
}

int32_t WriteVolumes(const std::string& source, const std::string& target, int32_t volumeBytes) {
  if (volumeBytes <= 0) throw EIOError(vt::kErrWrite);
  const int32_t size = SourceSize(source);
  VolumeFile in = VolumeFile::OpenRead(source);
  if (!in) throw EIOError(vt::kErrSourceOpen);
  const std::string storedName = FileNamePart(source);
  if (storedName.size() > static_cast<size_t>(kMaxStoredName)) throw EIOError(vt::kErrNameTooLong);

  const int32_t count = VolumeCount(size, volumeBytes);
  const bool floppy = OnDriveA(target);
  if (floppy) {
    Show(std::string(vt::kDisksNeededBefore) + std::to_string(count) + vt::kDisksNeededAfter,
         vt::kNotice, os::kMbOk);
  }

  const std::string base = VolumeBase(target);
  try {
    ForceDirectoryChain(DirectoryPart(base));
  } catch (...) {
    // A directory that cannot be made shows up when the volume file cannot be created.
  }

  std::vector<unsigned char> buffer(kCopyBlock);
  for (int32_t k = 1; k <= count; ++k) {
    for (;;) {
      if (floppy) {
        Show(std::string(vt::kInsertDiskBefore) + std::to_string(k) + vt::kInsertDiskAfter,
             vt::kNotice, os::kMbOk);
      }
      if (HasFreeSpace(base, volumeBytes)) break;
      if (Show(vt::kDiskFullSwap, vt::kWarning, os::kMbYesNo) != os::kIdYes) {
        throw EIOError(vt::kErrUserCancelled);
      }
    }
    const std::string name = VolumeName(base, k);
    if (PathExists(name)) {
      if (Show(vt::kVolumeExists, vt::kConfirm, os::kMbOkCancel) != os::kIdOk) {
        throw EIOError(k <= 9 ? vt::kErrOverwriteCancelled : vt::kErrOverwriteCancelledLate);
      }
      os::DeleteFile(name);
    }
    WriteOneVolume(in, name, k, size, volumeBytes, storedName, buffer);
  }
  return size % volumeBytes;
}

int32_t SplitToVolumes(const std::string& source, const std::string& target, int32_t volumeKiB) {
  if (!HasDriveColon(source) || !HasDriveColon(target)) {
    Show(vt::kSplitNeedFullPath, vt::kNotice, os::kMbOk);
    return -1;
  }
  if (!PathExists(source)) {
    Show(vt::kInputMissing, vt::kNotice, os::kMbOk);
    return -1;
  }
  try {
    // A volume size that is not positive or does not fit the 32-bit header field would make
    // the volume count meaningless.
    if (volumeKiB <= 0 || volumeKiB > std::numeric_limits<int32_t>::max() / 1024) {
      throw EIOError(vt::kErrWrite);
    }
    return WriteVolumes(source, target, volumeKiB * 1024);
  } catch (...) {
    Show(vt::kSplitIoError, vt::kWarning, os::kMbOk);
    return -1;
  }
}

}  // namespace kestrel::exports
