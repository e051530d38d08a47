// spool_buffer.h — the compressed data of one file packed ahead of the archive's writer: held
// in memory while a budget shared by all files in flight allows it, in an unnamed temporary
// file beyond it, and handed back in the order it was appended.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kestrel::writer {

// Bytes that the buffers of all files in flight may hold in memory together.
class MemoryBudget {
 public:
  explicit MemoryBudget(uint64_t cap) : cap_(cap) {}
  // Takes n bytes of the budget; false (nothing taken) when that would pass the cap.
  bool TryTake(uint64_t n);
  void Give(uint64_t n) { used_.fetch_sub(n); }
  uint64_t InUse() const { return used_.load(); }
  uint64_t Cap() const { return cap_; }

 private:
  const uint64_t cap_;
  std::atomic<uint64_t> used_{0};
};

class SpoolBuffer {
 public:
  // Spills into a temporary file created in spillDirectory (a drive path ending in "\").
  SpoolBuffer(std::shared_ptr<MemoryBudget> budget, std::string spillDirectory);
  ~SpoolBuffer();
  SpoolBuffer(const SpoolBuffer&) = delete;
  SpoolBuffer& operator=(const SpoolBuffer&) = delete;

  // Raises classlib::Exception when the temporary file cannot be created or written.
  void Append(const uint8_t* data, uint32_t n);
  // Hands everything appended, in order, to take in pieces; take may change a piece in place.
  // Raises classlib::Exception when the temporary file cannot be read back.
  void Drain(const std::function<void(uint8_t* data, uint32_t n)>& take);
  uint64_t Size() const { return size_; }

 private:
  void Spill(const uint8_t* data, uint32_t n);

  std::shared_ptr<MemoryBudget> budget_;
  std::string spillDirectory_;
  struct Chunk {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t capacity = 0;
    uint32_t fill = 0;
  };
  std::vector<Chunk> chunks_;
  uint64_t taken_ = 0;  // of the budget
  os::FileHandle spill_ = os::kInvalidFile;
  std::string spillName_;  // set while the file still has a name (where deleting it open fails)
  uint64_t size_ = 0;
};

}  // namespace kestrel::writer
