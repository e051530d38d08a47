// api_reader_call.cpp — per-call engine settings of the reader handle, and the translation of
// the engine's entry results into the interface's codes and messages.
#include "exports/api_reader_call.h"

#include <algorithm>
#include <cstdint>

#include "exports/unpack_walk.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"

#if !defined(_WIN32)

namespace kestrel::exports {

ReaderCall::ReaderCall(kestrel_reader* reader, uint64_t bytesTotal)
    : reader_(reader), bytesTotal_(bytesTotal),
      // A call from inside a callback finds the engine busy and is refused: it must leave
      // the settings of the call in progress alone.
      engaged_(!reader::State().busy), hold_(reader->archivePath) {
  if (!engaged_) return;
  reader::SetPassword(reader->password ? &*reader->password : nullptr);
  reader::SetProgressHook(reader->progress != nullptr ? &ReaderCall::OnBytes : nullptr, this);
}

ReaderCall::~ReaderCall() {
  if (!engaged_) return;
  reader::SetPassword(nullptr);
  reader::SetProgressHook(nullptr, nullptr);
}

void ReaderCall::StartEntry(const ReaderEntry& entry) { entryName_ = &entry.name; }

bool ReaderCall::FinishEntry(const ReaderEntry& entry) {
  bytesDone_ += entry.uncompressedSize;
  if (reader_->progress == nullptr) return true;
  return reader_->progress(reader_->progressContext, entry.name.c_str(), bytesDone_,
                           bytesTotal_) == 0;
}

bool ReaderCall::Progress(const ReaderEntry& entry, uint64_t entryBytes) {
  if (reader_->progress == nullptr) return false;
  return reader_->progress(reader_->progressContext, entry.name.c_str(), bytesDone_ + entryBytes,
                           bytesTotal_) != 0;
}

bool ReaderCall::OnBytes(void* context, uint64_t entryBytes) {
  auto* call = static_cast<ReaderCall*>(context);
  const char* name = call->entryName_ != nullptr ? call->entryName_->c_str() : "";
  return call->reader_->progress(call->reader_->progressContext, name,
                                 call->bytesDone_ + entryBytes, call->bytesTotal_) != 0;
}

reader::DirectorySizes SizesOf(const ReaderEntry& entry) {
  // The full-width values make the driver read zip64 entries and bound each entry's output
  // by its declared size, as the walk does.
  reader::DirectorySizes sizes;
  sizes.compressed = uint32_t(std::min<uint64_t>(entry.compressedSize, UINT32_MAX));
  sizes.uncompressed = uint32_t(std::min<uint64_t>(entry.uncompressedSize, UINT32_MAX));
  sizes.compressed64 = entry.compressedSize;
  sizes.uncompressed64 = entry.uncompressedSize;
  sizes.headerPosition = int64_t(std::min<uint64_t>(entry.localHeaderPosition, INT64_MAX));
  return sizes;
}

UnixEntry UnixEntryOf(const ReaderEntry& entry, const std::string& name) {
  UnixEntry of;
  of.name = name;
  of.mode = entry.UnixMode();
  of.mtime = entry.unixTime;
  of.attributes = entry.attributes;
  of.size = entry.uncompressedSize;
  of.headerOffset = entry.localHeaderOffset;
  return of;
}

int EntryCode(int engineResult, std::string& message) {
  message = engineResult == reader::ExtractOk ? "" : EntryResultText(engineResult);
  switch (engineResult) {
    case reader::ExtractOk: return KESTREL_OK;
    case reader::ExtractCrcError:
    case reader::ExtractFormatError: return KESTREL_E_FORMAT;
    case reader::ExtractWriteError:
    case reader::ExtractReadError: return KESTREL_E_IO;
    case reader::ExtractCancelled: return KESTREL_E_CANCELLED;
    case reader::ExtractUnsupported: return KESTREL_E_UNSUPPORTED;
    case reader::ExtractEncrypted:
    case reader::ExtractBadPassword: return KESTREL_E_PASSWORD;
    case kEntryUnsafeName:
    case kEntryUnsafeLink:
    case kEntryThroughLink: return KESTREL_E_UNSAFE;
    case kEntryNotAFile: return KESTREL_E_UNSUPPORTED;
    case kEntryPathTooLong: return KESTREL_E_LIMIT;
    case kEntryOverlapping: return KESTREL_E_OVERLAP;
    case kEntryBadValues: return KESTREL_E_FORMAT;
    default: return KESTREL_E_INVALID;  // busy: a nested call on this thread
  }
}

}  // namespace kestrel::exports

#endif
