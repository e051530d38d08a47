// block_set.cpp — joining a block set: copy the blocks one after the other, then rewrite the
// central directory in place, where each record's local header offset counts from the start
// of its own block (numbered from 0 for ".001") and the end record names the block that holds
// the directory.
#include "exports/block_set.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "archive/zip_records.h"
#include "platform/platform.h"

namespace kestrel::exports {

namespace {

using archive::LoadLe16;
using archive::LoadLe32;

constexpr uint32_t kCopyChunk = 65536;
constexpr uint32_t kMostBlocks = 999;              // ".001" to ".999"
constexpr int64_t kEndSearch = 22 + 65535;          // end record plus the longest comment

std::string BlockName(const std::string& stem, uint32_t n) {
  char extension[8];
  std::snprintf(extension, sizeof extension, ".%03u", n);
  return stem + extension;
}

// A drive path as the host names it, for messages.
std::string Shown(const std::string& drivePath) {
  std::string host;
  return os::host::HostPath(drivePath, host) ? host : drivePath;
}

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

// Appends the file at path to out; false on any read or write failure.
bool Append(const std::string& path, os::FileHandle out) {
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

// Rewrites the joined file's directory: starts[i] is where block i begins in it, endAt where
// its end record is. False when the directory does not lie inside the file or names a block
// that is not there.
bool Rebase(os::FileHandle joined, const std::vector<int64_t>& starts, int64_t endAt, int64_t size) {
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

// Offset of the end record in the last block, relative to the block; -1 when there is none.
int64_t FindEnd(const std::string& lastBlock) {
  const os::FileHandle file = os::OpenFile(lastBlock, os::Access::Read, os::Disposition::OpenExisting);
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

}  // namespace

BlockSetJoin JoinBlockSet(const std::string& drivePath, std::string& joinedPath, std::string& error) {
  const size_t dot = drivePath.find_last_of(".\\");
  const std::string stem = dot != std::string::npos && drivePath[dot] == '.' ? drivePath.substr(0, dot) : drivePath;
  const bool missing = os::GetFileAttributes(drivePath) == os::kInvalidAttributes;
  if (!(missing || drivePath == BlockName(stem, 1)) ||
      os::GetFileAttributes(BlockName(stem, 1)) == os::kInvalidAttributes) {
    return BlockSetJoin::NotABlockSet;
  }
  uint32_t blocks = 1;
  while (blocks < kMostBlocks && os::GetFileAttributes(BlockName(stem, blocks + 1)) != os::kInvalidAttributes) {
    ++blocks;
  }
  const int64_t endInLast = FindEnd(BlockName(stem, blocks));
  if (endInLast < 0) {
    error = "the last block, " + Shown(BlockName(stem, blocks)) + ", holds no end of the archive (a block is missing)";
    return BlockSetJoin::Failed;
  }
  const std::string dir = os::TempPath();
  joinedPath = dir.empty() ? std::string() : os::TempFileName(dir, "kst", 0);
  const os::FileHandle joined = joinedPath.empty() ? os::kInvalidFile
      : os::OpenFile(joinedPath, os::Access::ReadWrite, os::Disposition::CreateAlways);
  if (joined == os::kInvalidFile) {
    error = "no temporary file to join the blocks in";
    if (!joinedPath.empty()) os::DeleteFile(joinedPath);
    joinedPath.clear();
    return BlockSetJoin::Failed;
  }
  std::vector<int64_t> starts;
  bool ok = true;
  for (uint32_t n = 1; ok && n <= blocks; ++n) {
    starts.push_back(os::FileSize(joined));
    ok = starts.back() >= 0 && Append(BlockName(stem, n), joined);
  }
  const int64_t size = ok ? os::FileSize(joined) : -1;
  ok = ok && Rebase(joined, starts, starts.back() + endInLast, size);
  os::CloseFile(joined);
  if (!ok) {
    error = "the blocks cannot be joined (unreadable, or their directory does not fit them)";
    os::DeleteFile(joinedPath);
    joinedPath.clear();
    return BlockSetJoin::Failed;
  }
  return BlockSetJoin::Joined;
}

}  // namespace kestrel::exports
