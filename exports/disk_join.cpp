// disk_join.cpp — appending the pieces of a multi-volume archive and rebasing its directory.
#include "exports/disk_join.h"

#include <algorithm>

#include "archive/zip_records.h"

namespace kestrel::exports {

namespace {

using archive::LoadLe16;
using archive::LoadLe32;

constexpr uint32_t kCopyChunk = 65536;
constexpr int64_t kEndSearch = 22 + 65535;  // end record plus the longest comment

bool ReadAt(os::FileHandle file, int64_t at, uint8_t* buffer, uint32_t count) {
  uint32_t done = 0;
  return os::SeekFile(file, at, os::SeekFrom::Begin) == at && os::ReadFile(file, buffer, count, done) &&
         done == count;
}

bool WriteAt(os::FileHandle file, int64_t at, const uint8_t* buffer, uint32_t count) {
  uint32_t done = 0;
  return os::SeekFile(file, at, os::SeekFrom::Begin) == at && os::WriteFile(file, buffer, count, done) &&
         done == count;
}

}  // namespace

bool AppendFile(const std::string& path, os::FileHandle out) {
  const os::FileHandle in = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (in == os::kInvalidFile) return false;
  std::vector<uint8_t> chunk(kCopyChunk);
  bool ok = true;
  for (;;) {
    uint32_t got = 0, written = 0;
    if (!os::ReadFile(in, chunk.data(), kCopyChunk, got)) ok = false;
    if (!ok || got == 0) break;
    if (!os::WriteFile(out, chunk.data(), got, written) || written != got) ok = false;
  }
  os::CloseFile(in);
  return ok;
}

bool RebaseDirectory(os::FileHandle joined, const std::vector<int64_t>& starts, int64_t endAt, int64_t size) {
  uint8_t end[archive::kEndCentralSize];
  if (!ReadAt(joined, endAt, end, sizeof end)) return false;
  const uint16_t directoryBlock = LoadLe16(end + 6);
  const uint32_t directorySize = LoadLe32(end + 12);
  if (directoryBlock >= starts.size()) return false;
  const int64_t directoryAt = starts[directoryBlock] + LoadLe32(end + 16);
  if (directoryAt + directorySize > endAt || directoryAt + directorySize > size ||
      directoryAt > UINT32_MAX) {
    return false;
  }
  std::vector<uint8_t> directory(directorySize);
  if (!ReadAt(joined, directoryAt, directory.data(), directorySize)) return false;
  for (size_t at = 0; at + archive::kCentralHeaderSize <= directory.size();) {
    uint8_t* record = directory.data() + at;
    if (LoadLe32(record) != archive::kCentralHeaderSignature) break;
    const uint16_t block = LoadLe16(record + 34);
    if (block >= starts.size() || starts[block] + LoadLe32(record + 42) > UINT32_MAX) return false;
    archive::StoreLe16(record + 34, 0);
    archive::StoreLe32(record + 42, uint32_t(starts[block] + LoadLe32(record + 42)));
    at += archive::kCentralHeaderSize + LoadLe16(record + 28) + LoadLe16(record + 30) + LoadLe16(record + 32);
  }
  archive::StoreLe16(end + 4, 0);
  archive::StoreLe16(end + 6, 0);
  archive::StoreLe16(end + 8, LoadLe16(end + 10));
  archive::StoreLe32(end + 16, uint32_t(directoryAt));
  return WriteAt(joined, directoryAt, directory.data(), directorySize) &&
         WriteAt(joined, endAt, end, sizeof end);
}

int64_t FindEndRecord(const std::string& path) {
  const os::FileHandle file = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (file == os::kInvalidFile) return -1;
  const int64_t size = os::FileSize(file);
  const int64_t from = std::max<int64_t>(0, size - kEndSearch);
  std::vector<uint8_t> tail(size_t(std::max<int64_t>(size - from, 0)));
  int64_t found = -1;
  if (tail.size() >= archive::kEndCentralSize && ReadAt(file, from, tail.data(), uint32_t(tail.size()))) {
    for (size_t i = tail.size() - archive::kEndCentralSize + 1; i-- > 0;) {
      if (LoadLe32(&tail[i]) == archive::kEndCentralSignature) {
        found = from + int64_t(i);
        break;
      }
    }
  }
  os::CloseFile(file);
  return found;
}


int32_t EndRecordDisk(const std::string& path, int64_t endAt) {
  const os::FileHandle file = os::OpenFile(path, os::Access::Read, os::Disposition::OpenExisting);
  if (file == os::kInvalidFile) return -1;
  uint8_t end[archive::kEndCentralSize];
  const bool read = ReadAt(file, endAt, end, sizeof end);
  os::CloseFile(file);
  return read ? int32_t(LoadLe16(end + 4)) : -1;
}

os::FileHandle CreateJoinFile(std::string& path) {
  const std::string dir = os::TempPath();
  path = dir.empty() ? std::string() : os::TempFileName(dir, "kst", 0);
  const os::FileHandle file = path.empty() ? os::kInvalidFile
      : os::OpenFile(path, os::Access::ReadWrite, os::Disposition::CreateAlways);
  if (file == os::kInvalidFile) {
    if (!path.empty()) os::DeleteFile(path);
    path.clear();
  }
  return file;
}

}  // namespace kestrel::exports
