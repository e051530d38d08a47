// Fuzz target for the reading interface: arbitrary bytes are the archive, delivered through
// the read callback, its entries read from the directory and again through the repair scan.
// Every entry is listed, tested and streamed through the write callback (with the password
// "pw", so enciphered entries are deciphered too); the data handed over may never exceed what
// the call ends up reporting, and no call may crash or hang.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kestrel.h"

namespace {

constexpr uint64_t kMostEntries = 64;        // a directory may claim thousands
constexpr uint64_t kMostOutput = 8 << 20;    // stop an entry that inflates without end

struct Input {
  const uint8_t* data;
  size_t size, at;
  static int64_t Read(void* self, void* buffer, size_t size) {
    auto* in = static_cast<Input*>(self);
    const size_t n = size < in->size - in->at ? size : in->size - in->at;
    std::memcpy(buffer, in->data + in->at, n);
    in->at += n;
    return int64_t(n);
  }
};

struct Output {
  uint64_t bytes = 0;
  static int Write(void* self, const void*, size_t size) {
    auto* out = static_cast<Output*>(self);
    if (size == 0 || size > 65536) std::abort();  // pieces are never empty or above 64 KiB
    out->bytes += size;
    return out->bytes > kMostOutput;
  }
};

void ReadAll(const uint8_t* data, size_t size, int source) {
  kestrel_reader* reader = kestrel_reader_new();
  kestrel_reader_set_password(reader, "pw");
  kestrel_reader_set_directory_source(reader, source);
  Input input{data, size, 0};
  if (kestrel_reader_open_callbacks(reader, &Input::Read, nullptr, &input) == KESTREL_OK) {
    const char* comment = nullptr;
    if (kestrel_reader_comment(reader, &comment) != KESTREL_OK || comment == nullptr) std::abort();
    kestrel_directory_status status{};
    uint64_t count = 0;
    if (kestrel_reader_directory_status(reader, &status) != KESTREL_OK ||
        kestrel_reader_count(reader, &count) != KESTREL_OK || status.entries_read != count) {
      std::abort();
    }
    kestrel_entry entry;
    while (kestrel_reader_next(reader, &entry) == KESTREL_OK && entry.index < kMostEntries) {
      if (std::strlen(entry.name) > 4 * 260) std::abort();
      kestrel_reader_test(reader, entry.index);
      Output output;
      const int result = kestrel_reader_extract_to_callback(reader, entry.index, &Output::Write, &output);
      if (result == KESTREL_OK && entry.is_directory && output.bytes != 0) std::abort();
      if (*kestrel_reader_error(reader) == '\0' && result != KESTREL_OK) std::abort();
    }
  }
  kestrel_reader_close(reader);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ReadAll(data, size, KESTREL_DIRECTORY_WALKER);
  ReadAll(data, size, KESTREL_DIRECTORY_REPAIR);
  return 0;
}
