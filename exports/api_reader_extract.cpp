// api_reader_extract.cpp — single entries of an open reader: extracted to a native path, to a
// file descriptor or through a write callback, or tested, each through the extraction driver.
#include <algorithm>
#include <exception>

#include "exports/api_reader_call.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"

#if !defined(_WIN32)

using namespace kestrel::exports;
namespace os = kestrel::os;

namespace {

constexpr size_t kLargestPiece = 65536;  // the most a write callback receives at once

// Where streamed data goes, and whether the destination (not the data) failed.
struct Destination {
  kestrel_write_fn write = nullptr;
  void* context = nullptr;
  int fd = -1;
  bool failed = false;

  static bool Take(void* self, const uint8_t* bytes, uint32_t n) {
    auto* d = static_cast<Destination*>(self);
    while (n > 0) {
      const uint32_t piece = uint32_t(std::min<size_t>(n, kLargestPiece));
      uint32_t done = 0;
      const bool ok = d->write != nullptr ? d->write(d->context, bytes, piece) == 0
                                          : os::WriteFile(d->fd, bytes, piece, done) && done == piece;
      if (!ok) {
        d->failed = true;
        return false;
      }
      bytes += piece;
      n -= piece;
    }
    return true;
  }
};

// Sets entry to the entry at index and returns KESTREL_OK, or a failure code (with the
// reader's message set).
int Lookup(kestrel_reader* reader, uint64_t index, const ReaderEntry*& entry) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  if (!reader->opened) return reader->Fail(KESTREL_E_INVALID, "the reader has no archive open");
  if (index >= reader->entries.size()) {
    return reader->Fail(KESTREL_E_NOT_FOUND, "no entry " + std::to_string(index));
  }
  entry = &reader->entries[index];
  return KESTREL_OK;
}

// Runs one entry through engine(entry, sizes) inside a call of the reader, and turns the
// engine's result into the reader's code and message. where: what a write error is about.
template <typename Engine>
int RunEntry(kestrel_reader* reader, uint64_t index, const std::string& where, Engine engine,
             const Destination* destination = nullptr) {
  const ReaderEntry* entry = nullptr;
  if (const int found = Lookup(reader, index, entry); found != KESTREL_OK) return found;
  if (entry->refusal != 0) {
    std::string message;
    const int code = EntryCode(entry->refusal, message);
    return reader->Fail(code, entry->name + ": " + message);
  }
  try {
    ReaderCall call(reader, entry->uncompressedSize);
    call.StartEntry(*entry);
    const kestrel::reader::DirectorySizes sizes = SizesOf(*entry);
    const int result = engine(*entry, sizes);
    if (destination != nullptr && destination->failed) {
      return destination->write != nullptr
                 ? reader->Fail(KESTREL_E_CALLBACK, entry->name + ": the write callback reported a failure")
                 : reader->Fail(KESTREL_E_IO, entry->name + ": cannot write to " + where);
    }
    std::string message;
    const int code = EntryCode(result, message);
    if (code == KESTREL_OK) {
      if (!call.FinishEntry(*entry)) return reader->Fail(KESTREL_E_CANCELLED, entry->name + ": cancelled");
      return reader->Succeed();
    }
    if (code == KESTREL_E_IO && !where.empty()) message += ": " + where;
    return reader->Fail(code, entry->name + ": " + message);
  } catch (const std::exception&) {
    return reader->Fail(KESTREL_E_NOMEM, "out of memory");
  }
}

int Stream(kestrel_reader* reader, uint64_t index, Destination& destination, const char* what) {
  return RunEntry(
      reader, index, what,
      [&](const ReaderEntry& entry, const kestrel::reader::DirectorySizes& sizes) {
        // A directory gives no data, whatever bytes it carries, also when only its Unix mode
        // makes it one: extract_all and extract_to_path make just the directory.
        const uint16_t attributes =
            entry.attributes | (entry.IsDirectory() ? uint16_t{os::kAttrDirectory} : uint16_t{0});
        return kestrel::reader::StreamEntry(reader->archivePath.c_str(), &Destination::Take,
                                            &destination, attributes,
                                            int32_t(entry.localHeaderOffset), &sizes);
      },
      &destination);
}

}  // namespace

extern "C" {

int kestrel_reader_extract_to_path(kestrel_reader* reader, uint64_t index, const char* path) {
  if (reader != nullptr && (path == nullptr || *path == '\0')) {
    return reader->Fail(KESTREL_E_INVALID, "no output path");
  }
  const Utf8Names utf8;  // the path in the code page the driver then works in
  std::string drivePath;
  if (reader != nullptr && !os::host::DrivePath(path, drivePath)) {
    return reader->Fail(KESTREL_E_INVALID,
                        std::string(path) + ": a name has no form in the library's code page");
  }
  return RunEntry(reader, index, path != nullptr ? path : "",
                  [&](const ReaderEntry& entry, const kestrel::reader::DirectorySizes& sizes) {
                    // The mode and exact time of a Unix-made entry come back as extract_all
                    // gives them; a link's target is written as a file.
                    const kestrel::reader::UnixMetadata metadata =
                        MetadataOf(UnixEntryOf(entry, entry.storedName),
                                   KeptModeBits(reader->keepSpecialModes));
                    const bool directory = entry.IsDirectory();
                    if (directory) drivePath += '\\';
                    const int result = kestrel::reader::ExtractEntry(
                        reader->archivePath.c_str(), drivePath.c_str(), entry.attributes,
                        int32_t(entry.localHeaderOffset), nullptr, 0, &sizes,
                        directory ? nullptr : &metadata);
                    if (result == kestrel::reader::ExtractOk && directory) {
                      StampDirectory(drivePath, metadata);
                    }
                    return result;
                  });
}

int kestrel_reader_extract_to_fd(kestrel_reader* reader, uint64_t index, int fd) {
  if (reader != nullptr && fd < 0) return reader->Fail(KESTREL_E_INVALID, "invalid file descriptor");
  Destination destination;
  destination.fd = fd;
  return Stream(reader, index, destination, "the file descriptor");
}

int kestrel_reader_extract_to_callback(kestrel_reader* reader, uint64_t index,
                                       kestrel_write_fn write, void* context) {
  if (reader != nullptr && write == nullptr) return reader->Fail(KESTREL_E_INVALID, "no write callback");
  Destination destination;
  destination.write = write;
  destination.context = context;
  return Stream(reader, index, destination, "the callback");
}

int kestrel_reader_test(kestrel_reader* reader, uint64_t index) {
  return RunEntry(reader, index, "",
                  [&](const ReaderEntry& entry, const kestrel::reader::DirectorySizes& sizes) {
                    return kestrel::reader::TestEntry(reader->archivePath.c_str(), entry.attributes,
                                                      int32_t(entry.localHeaderOffset), 0, &sizes);
                  });
}

}  // extern "C"

#endif
