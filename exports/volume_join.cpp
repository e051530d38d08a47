// volume_join.cpp — JoinVolumes, ReadVolumes and IsVolumeSetFile: reading a volume set back
// from disk after disk and gluing the volumes into one file.
//
// The join trusts nothing it reads: the stored name must be a plain file name, the sizes must
// describe a set, and every volume must carry exactly the data bytes the set says it does (a
// disk with a truncated volume, or with the same-numbered volume of another set, is treated
// as a disk the program does not support). The output file exists under its final name only
// once the join is complete; every failure after its creation removes it again.
#include <cctype>
#include <cstdint>
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

bool HasDriveColon(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

struct SetHeader {
  int32_t total = 0;
  int32_t volumeSize = 0;
  int32_t nameLength = 0;
};

// Reads the first volume's header after its tag and number, and the stored name.
SetHeader ReadSetHeader(VolumeFile& first, std::string& storedName) {
  unsigned char fields[12];
  if (!first.ReadExact(fields, sizeof fields)) throw EIOError(vt::kErrNotVolumeSet);
  SetHeader header{DecodeInt32(fields), DecodeInt32(fields + 4), DecodeInt32(fields + 8)};
  if (header.nameLength < 0 || header.nameLength > kMaxStoredName) {
    throw EIOError(vt::kErrNotVolumeSet);
  }
  char name[kMaxStoredName] = {};
  if (!first.ReadExact(name, static_cast<uint32_t>(header.nameLength))) {
    throw EIOError(vt::kErrNotVolumeSet);
  }
  std::string stored(name, static_cast<size_t>(header.nameLength));
  stored = stored.substr(0, stored.find('\0'));
  if (!IsSafeStoredName(stored)) throw EIOError(vt::kErrNotVolumeSet);
  storedName = stored;
  if (header.total < 0 || header.volumeSize <= 0) throw EIOError(vt::kErrNotVolumeSet);
  return header;
}

enum class DiskCheck { Good, Foreign, WrongOrder };

// Checks the volume k just opened: tag, number and data length; leaves it after its header.
DiskCheck CheckVolume(VolumeFile& volume, int32_t k, int64_t expectedData) {
  char tag[kTagBytes];
  if (!volume.ReadExact(tag, kTagBytes) || std::string(tag, kTagBytes) != std::string(kVolumeTag, kTagBytes)) {
    return DiskCheck::Foreign;
  }
  unsigned char number[4];
  if (!volume.ReadExact(number, sizeof number) || DecodeInt32(number) != k) {
    return DiskCheck::WrongOrder;
  }
  if (volume.Size() - kVolumeHeaderBytes != expectedData) return DiskCheck::Foreign;
  return DiskCheck::Good;
}

// Copies the rest of volume into output; the copy must come to exactly expectedData bytes.
void CopyVolumeData(VolumeFile& volume, VolumeFile& output, int64_t expectedData,
                    std::vector<unsigned char>& buffer) {
  int64_t copied = 0;
  for (;;) {
    uint32_t got = 0;
    if (!volume.Read(buffer.data(), kCopyBlock, got)) throw EIOError(vt::kErrReadVolume);
    if (got > 0 && !output.WriteAll(buffer.data(), got)) throw EIOError(vt::kErrWrite);
    copied += got;
    if (got < kCopyBlock) break;
  }
  // The volume changed under us (or the disk was swapped mid-read).
  if (copied != expectedData) throw EIOError(vt::kErrVolumeLength);
}

}  // namespace

bool IsVolumeSetFile(const std::string& path) {
  uint32_t attributes = os::GetFileAttributes(path);
  if (attributes == os::kInvalidAttributes || (attributes & os::kAttrDirectory)) return false;
  VolumeFile file = VolumeFile::OpenRead(path);
  if (!file) return false;
  char tag[kTagBytes];
  uint32_t done = 0;
  if (!file.Read(tag, kTagBytes, done)) return false;
  return done == kTagBytes && std::string(tag, kTagBytes) == std::string(kVolumeTag, kTagBytes);
}

int32_t ReadVolumes(const std::string& firstVolume, const std::string& destDir,
                    std::string& storedName) {
  VolumeFile first = VolumeFile::OpenRead(firstVolume);
  if (!first) throw EIOError(vt::kErrFirstVolumeOpen);
  char tag[kTagBytes];
  if (!first.ReadExact(tag, kTagBytes) || std::string(tag, kTagBytes) != std::string(kVolumeTag, kTagBytes)) {
    throw EIOError(vt::kErrNotVolumeSet);
  }
  unsigned char number[4];
  if (!first.ReadExact(number, sizeof number) || DecodeInt32(number) != 1) {
    throw EIOError(vt::kErrNotFirstDisk);
  }
  const SetHeader set = ReadSetHeader(first, storedName);
  const int32_t count = VolumeCount(set.total, set.volumeSize);
  const int64_t firstData = VolumeDataLength(set.total, set.volumeSize, 1);
  if (first.Size() - kFirstVolumeHeaderBytes - set.nameLength != firstData) {
    throw EIOError(vt::kErrVolumeLength);
  }

  const std::string outputPath = destDir + storedName;
  if (PathExists(outputPath)) {
    if (Show(vt::kOutputExists, vt::kConfirm, os::kMbYesNo) != os::kIdYes) {
      throw EIOError(vt::kErrOutputKept);
    }
    os::DeleteFile(outputPath);
  }
  RemoveUnlessKept incomplete;  // declared before output: the file is closed, then removed
  VolumeFile output = VolumeFile::Create(outputPath);
  if (!output) throw EIOError(vt::kErrCreateOutput);
  incomplete.Arm(outputPath);

  const std::string base = VolumeBase(firstVolume);
  const bool floppy = !firstVolume.empty() && std::toupper(static_cast<unsigned char>(firstVolume[0])) == 'A';
  std::vector<unsigned char> buffer(kCopyBlock);
  for (int32_t k = 1; k <= count; ++k) {
    const int64_t expected = VolumeDataLength(set.total, set.volumeSize, k);
    VolumeFile volume;
    for (;;) {
      const std::string name = VolumeName(base, k);
      if (!PathExists(name)) {
        if (Show(vt::kVolumeMissing, vt::kNotice, os::kMbYesNo) != os::kIdYes) {
          throw EIOError(vt::kErrUserCancelled);
        }
        Show(vt::kSwapToRightDisk, vt::kNotice, os::kMbOk);
        continue;
      }
      if (k == 1) {
        volume = std::move(first);  // still open, positioned after its header
        break;
      }
      volume = VolumeFile::OpenRead(name);
      if (!volume) throw EIOError(vt::kErrReadVolume);
      DiskCheck check = CheckVolume(volume, k, expected);
      if (check == DiskCheck::Good) break;
      const std::string question =
          check == DiskCheck::WrongOrder
              ? std::string(vt::kWrongOrderBefore) + std::to_string(k) + vt::kWrongOrderAfter
              : std::string(vt::kForeignDisk);
      if (Show(question, vt::kNotice, os::kMbYesNo) != os::kIdYes) {
        throw EIOError(vt::kErrUserCancelled);
      }
      Show(vt::kSwapToRightDisk, vt::kNotice, os::kMbOk);
      volume.Close();
      VolumeFile probe = VolumeFile::OpenRead(name);
      if (!probe) throw EIOError(vt::kErrReopenVolume);
    }
    CopyVolumeData(volume, output, expected, buffer);
    volume.Close();
    if (floppy && k < count) Show(vt::kInsertNextDisk, vt::kNotice, os::kMbOk);
  }
  if (!output.Close()) throw EIOError(vt::kErrWrite);
  incomplete.Keep();
  return 1;
}

int32_t JoinVolumes(const std::string& firstVolume, const std::string& destDir,
                    std::string& storedName) {
  if (!HasDriveColon(firstVolume) || !HasDriveColon(destDir)) {
    Show(vt::kJoinNeedFullPath, vt::kNotice, os::kMbOk);
    return 0;
  }
  std::string dir = destDir;
  if (!EndsWithSeparator(dir)) dir += '\\';
  if (!PathExists(firstVolume)) {
    Show(vt::kInputMissing, vt::kNotice, os::kMbOk);
    return 0;
  }
  try {
    uint32_t attributes = os::GetFileAttributes(dir);
    if (attributes == os::kInvalidAttributes || !(attributes & os::kAttrDirectory)) {
      throw EIOError(vt::kErrNotDirectory);
    }
    ForceDirectoryChain(dir);
    return ReadVolumes(firstVolume, dir, storedName);
  } catch (...) {
    Show(vt::kJoinIoError, vt::kWarning, os::kMbOk);
    return 0;
  }
}

}  // namespace kestrel::exports
