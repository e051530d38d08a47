// block_set.cpp — finding the blocks of a block set (".001" is disk 0) and joining them.
#include "exports/block_set.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "exports/disk_join.h"
#include "platform/platform.h"

namespace kestrel::exports {

namespace {

constexpr uint32_t kMostBlocks = 999;  // ".001" to ".999"

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
  const int64_t endInLast = FindEndRecord(BlockName(stem, blocks));
  if (endInLast < 0) {
    error = "the last block, " + Shown(BlockName(stem, blocks)) + ", holds no end of the archive (a block is missing)";
    return BlockSetJoin::Failed;
  }
  const os::FileHandle joined = CreateJoinFile(joinedPath);
  if (joined == os::kInvalidFile) {
    error = "no temporary file to join the blocks in";
    return BlockSetJoin::Failed;
  }
  std::vector<int64_t> starts;
  bool ok = true;
  for (uint32_t n = 1; ok && n <= blocks; ++n) {
    starts.push_back(os::FileSize(joined));
    ok = starts.back() >= 0 && AppendFile(BlockName(stem, n), joined);
  }
  const int64_t size = ok ? os::FileSize(joined) : -1;
  ok = ok && RebaseDirectory(joined, starts, starts.back() + endInLast, size);
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
