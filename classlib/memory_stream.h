// memory_stream.h — a stream over a growable byte vector (headers built in memory, saved
// object lists, tests).
#pragma once

#include <vector>

#include "classlib/stream.h"

namespace kestrel::classlib {

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::string ClassName() const override { return "TMemoryStream"; }

  int32_t Read(void* buffer, int32_t count) override;
  // Writing past the end grows the bytes (a gap is filled with zeros).
  int32_t Write(const void* buffer, int32_t count) override;
  // Raises EStreamError for an unknown origin or a negative target.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  void SetSize(int64_t size) override;

  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
};

}  // namespace kestrel::classlib
