// spool_buffer.cpp — memory chunks within the shared budget, then an unnamed temporary file.
#include "writer/spool_buffer.h"

#include <algorithm>
#include <cstring>

#include "classlib/exception.h"
#include "support/file_ops.h"

namespace kestrel::writer {

namespace {

// Memory is taken from the budget in chunks that double from the first size to the last: the
// many tiny files of a source tree take little of it, a big file needs few allocations.
constexpr uint32_t kFirstChunk = 16 * 1024;
constexpr uint32_t kLargestChunk = 1024 * 1024;
constexpr uint32_t kReadBackBlock = 65536;

}  // namespace

bool MemoryBudget::TryTake(uint64_t n) {
  uint64_t used = used_.load();
  do {
    if (used + n > cap_) return false;
  } while (!used_.compare_exchange_weak(used, used + n));
  return true;
}

SpoolBuffer::SpoolBuffer(std::shared_ptr<MemoryBudget> budget, std::string spillDirectory)
    : budget_(std::move(budget)), spillDirectory_(std::move(spillDirectory)) {}

SpoolBuffer::~SpoolBuffer() {
  budget_->Give(taken_);
  if (spill_ != os::kInvalidFile) os::CloseFile(spill_);
  if (!spillName_.empty()) os::DeleteFile(spillName_);
}

void SpoolBuffer::Append(const uint8_t* data, uint32_t n) {
  size_ += n;
  while (n != 0 && spill_ == os::kInvalidFile) {
    if (chunks_.empty() || chunks_.back().fill == chunks_.back().capacity) {
      const uint32_t capacity =
          chunks_.empty() ? kFirstChunk : std::min(2 * chunks_.back().capacity, kLargestChunk);
      if (!budget_->TryTake(capacity)) break;
      taken_ += capacity;
      chunks_.push_back({std::make_unique<uint8_t[]>(capacity), capacity, 0});
    }
    Chunk& last = chunks_.back();
    const uint32_t part = std::min(n, last.capacity - last.fill);
    std::memcpy(last.bytes.get() + last.fill, data, part);
    last.fill += part;
    data += part;
    n -= part;
  }
  // Once spilling, everything after goes to the file, so the order is memory then file.
  if (n != 0) Spill(data, n);
}

void SpoolBuffer::Spill(const uint8_t* data, uint32_t n) {
  if (spill_ == os::kInvalidFile) {
    const std::string name = support::TempFileName(spillDirectory_);
    if (name.empty())
      throw classlib::Exception("Cannot create a temporary file in " + spillDirectory_);
    spill_ = os::OpenFile(name, os::Access::ReadWrite, os::Disposition::OpenExisting);
    if (spill_ == os::kInvalidFile) {
      os::DeleteFile(name);
      throw classlib::Exception("Cannot open the temporary file " + name);
    }
    // Unnamed from now on where the system allows it, so nothing is left behind by a crash.
    if (!os::DeleteFile(name)) spillName_ = name;
  }
  uint32_t written = 0;
  if (!os::WriteFile(spill_, data, n, written) || written != n)
    throw classlib::Exception("Cannot write the temporary file in " + spillDirectory_);
}

void SpoolBuffer::Drain(const std::function<void(uint8_t* data, uint32_t n)>& take) {
  for (Chunk& chunk : chunks_) {
    if (chunk.fill != 0) take(chunk.bytes.get(), chunk.fill);
  }
  if (spill_ == os::kInvalidFile) return;
  if (os::SeekFile(spill_, 0, os::SeekFrom::Begin) != 0)
    throw classlib::Exception("Cannot read the temporary file back");
  std::vector<uint8_t> block(kReadBackBlock);
  for (;;) {
    uint32_t got = 0;
    if (!os::ReadFile(spill_, block.data(), kReadBackBlock, got))
      throw classlib::Exception("Cannot read the temporary file back");
    if (got == 0) break;
    take(block.data(), got);
  }
}

}  // namespace kestrel::writer
