// volumes.cpp — drive type, free space and volume labels of the mapped drives. An emulated
// floppy has 1,474,560 bytes, of which its directory tree uses whole 512-byte clusters; its
// label lives in the file "<directory>.label" beside the directory, so a host that swaps
// disks by remapping or refilling the directory swaps the label with it.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/posix/posix_internal.h"

namespace kestrel::os {

namespace {

inline constexpr size_t kMaxLabel = 11;  // FAT volume labels

// The drive named by a root such as "A:\" (or "A:"); an empty root is the current drive.
bool DriveOfRoot(const std::string& root, posix::Drive& drive) {
  char letter = 0;
  if (root.empty()) {
    letter = posix::CurrentDriveLetter();
  } else if (root.size() >= 2 && root[1] == ':' &&
             (root.size() == 2 || root[2] == '\\' || root[2] == '/')) {
    letter = root[0];
  } else {
    return false;
  }
  drive = posix::DriveOf(letter);
  return drive.mapped;
}

bool DirectoryPresent(const std::string& dir) {
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LabelFile(const posix::Drive& drive) { return drive.hostDir + ".label"; }

uint32_t SerialOf(const std::string& hostDir) {
  uint32_t hash = 2166136261u;  // FNV-1a: stable across runs, differs between directories
  for (unsigned char c : hostDir) hash = (hash ^ c) * 16777619u;
  return hash;
}

bool ValidLabelChar(unsigned char c) {
  static const std::string forbidden = "*?/\\|.,;:+=[]<>\"";
  return c >= 0x20 && forbidden.find(static_cast<char>(c)) == std::string::npos;
}

}  // namespace

uint32_t GetDriveType(const std::string& root) {
  posix::Drive drive;
  if (!DriveOfRoot(root, drive)) return kDriveNoRootDir;
  return drive.removable ? kDriveRemovable : kDriveFixed;
}

bool GetDiskFreeSpace(const std::string& root, uint64_t& freeBytes, uint64_t& totalBytes) {
  posix::Drive drive;
  if (!DriveOfRoot(root, drive)) return posix::Fail(kErrorPathNotFound);
  if (!DirectoryPresent(drive.hostDir)) return posix::Fail(kErrorNotReady);
  if (drive.removable) {
    uint64_t used = posix::FloppyBytesUsed(drive.hostDir);
    totalBytes = host::kFloppyCapacity;
    freeBytes = used >= totalBytes ? 0 : totalBytes - used;
    return true;
  }
  struct statvfs vfs;
  if (::statvfs(drive.hostDir.c_str(), &vfs) != 0) return posix::Fail(kErrorNotReady);
  freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  totalBytes = static_cast<uint64_t>(vfs.f_blocks) * vfs.f_frsize;
  return true;
}

bool GetVolumeLabel(const std::string& root, std::string& label, uint32_t* serial) {
  posix::Drive drive;
  if (!DriveOfRoot(root, drive)) return posix::Fail(kErrorPathNotFound);
  if (!DirectoryPresent(drive.hostDir)) return posix::Fail(kErrorNotReady);
  label.clear();
  if (drive.hostDir != "/") {
    std::ifstream in(LabelFile(drive), std::ios::binary);
    if (in) label.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (label.size() > kMaxLabel) label.resize(kMaxLabel);
  }
  if (serial != nullptr) *serial = SerialOf(drive.hostDir);
  return true;
}

// Like a FAT volume: the label is stored in upper case; an empty label removes it.
bool SetVolumeLabel(const std::string& root, const std::string& label) {
  posix::Drive drive;
  if (!DriveOfRoot(root, drive)) return posix::Fail(kErrorPathNotFound);
  if (!DirectoryPresent(drive.hostDir)) return posix::Fail(kErrorNotReady);
  if (drive.hostDir == "/") return posix::Fail(kErrorAccessDenied);
  if (label.size() > kMaxLabel) return posix::Fail(kErrorLabelTooLong);
  std::string upper;
  for (unsigned char c : label) {
    if (!ValidLabelChar(c)) return posix::Fail(kErrorInvalidName);
    upper.push_back(static_cast<char>(c < 0x80 ? std::toupper(c) : c));
  }
  std::string file = LabelFile(drive);
  if (upper.empty()) {
    std::remove(file.c_str());
    return true;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << upper;
  if (!out.flush()) return posix::Fail(kErrorAccessDenied);
  return true;
}

uint32_t SetCriticalErrorMode(bool quiet) {
  static uint32_t mode = 0;  // the host never shows "insert a disk" dialogs; the mode is kept
  uint32_t old = mode;
  mode = quiet ? 1u : 0u;  // SEM_FAILCRITICALERRORS
  return old;
}

}  // namespace kestrel::os
