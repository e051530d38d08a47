// zip_merge.cpp — the entries of the existing archive during an update: each is carried over
// as raw bytes (never decompressed), replaced in place by the newer file that matches it, or
// left out when DeleteList names it.
#include <algorithm>
#include <optional>

#include "archive/stream_io.h"
#include "support/dos_date_time.h"
#include "support/string_table.h"
#include "support/wildcard.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

namespace {

constexpr uint32_t kDataDescriptorSignature = 0x08074B50u;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }

[[noreturn]] void BadArchive() {
  throw archive::EBadZipFile(support::LoadStr(support::sNotAValidZip));
}

}  // namespace

void TLynZip::MergeExistingEntries() {
  const archive::TSortedZip* entries = EntryList();
  if (entries == nullptr) return;
  for (int32_t i = 0; i < entries->Count(); ++i) {
    if (!DeletesEntry(i)) MergeEntry(i);
  }
}

bool TLynZip::DeletesEntry(int32_t index) {
  if (deleteList_->Count() == 0) return false;
  const archive::TZipHeaderInfo& header = *EntryList()->Header(index);
  std::string name = header.Directory() + header.FileName();
  std::replace(name.begin(), name.end(), '\\', '/');
  for (const std::string& mask : deleteList_->Items()) {
    if (!support::IsMatch(mask, name)) continue;
    bool skip = false;
    if (OnDeleteEntry) OnDeleteEntry(this, name, skip);
    return !skip;
  }
  return false;
}

std::unique_ptr<archive::TZipHeaderInfo> TLynZip::CopyOfEntry(int32_t index) {
  auto header = NewHeader();
  header->Assign(*EntryList()->Header(index));
  if (header->HasComment() && !header->CommentText())
    header->SetComment(std::optional<std::string>(StoredFileCommentOf(index)));
  return header;
}

void TLynZip::MergeEntry(int32_t index) {
  run_->header = CopyOfEntry(index);
  bool keep = true;
  bool matched = false;
  classlib::StringList& files = FilesList();
  for (int j = 0; j < files.Count(); ++j) {
    if (!EntryMatchesFile(files[j], *run_->header)) continue;
    matched = true;
    const std::string item = files[j];
    files.Delete(j);
    if (zipAction_ != zaReplace && DateTimeOf(index) >= support::FileDateTime(item)) {
      if (run_->disposeList) run_->disposeList->Add(item);
      break;
    }
    run_->header = NewHeader();
    if (OnUpdate) OnUpdate(this, uaReplacing, index);
    if (ZipOneFile(item)) {
      AddEntry(item);
      keep = false;
    } else {
      // The file could not be taken: the archived copy stays rather than vanishing.
      run_->header = CopyOfEntry(index);
      matched = false;
    }
    break;
  }
  if (!keep) return;
  if (matched && OnUpdate) OnUpdate(this, uaKeeping, index);
  CopyExistingEntry(*run_->header);
  run_->nameList->Add(run_->header.get());
  run_->written.push_back(run_->header.get());
  run_->orderList->Add(run_->header.release());
  ++run_->newEnd->totalEntries;
  ++run_->newEnd->entriesOnDisk;
}

void TLynZip::CopyExistingEntry(archive::TZipHeaderInfo& header) {
  classlib::Stream& in = *ArchiveStream();
  uint8_t local[archive::kLocalHeaderSize];
  archive::StreamSeek(in, header.localHeaderOffset);
  if (archive::ReadUpTo(in, local, sizeof local) != sizeof local ||
      Get32(local) != archive::kLocalHeaderSignature)
    BadArchive();
  in.Seek(Get16(local + 26), classlib::soFromCurrent);
  header.localExtraLength = Get16(local + 28);
  CheckEntryRoom();
  const auto offset = static_cast<uint64_t>(archive::StreamPosition(*run_->output));
  CheckArchiveOffset(static_cast<int64_t>(offset));
  if (Overflows32(offset)) {
    header.versionNeeded = archive::kZip64VersionNeeded;
    run_->zip64[&header] = {header.uncompressedSize, header.compressedSize, offset, 0};
  }
  header.WriteLocal(*run_->output);
  header.localHeaderOffset = Classic32(offset);
  CopyFromArchive(header.localExtraLength + header.compressedSize);
  if (header.HasDataDescriptor()) {
    // The descriptor after the data: CRC and both sizes, with or without its signature.
    uint8_t descriptor[16];
    if (archive::ReadUpTo(in, descriptor, sizeof descriptor) < 12) BadArchive();
    const uint32_t size = Get32(descriptor) == kDataDescriptorSignature ? 16 : 12;
    WriteToArchive(descriptor, size);
  }
}

void TLynZip::CopyFromArchive(uint32_t count) {
  classlib::Stream& in = *ArchiveStream();
  uint8_t* buffer = run_->CopyBuffer();
  while (count > 0) {
    const uint32_t want = count < Run::kCopyBufferSize ? count : Run::kCopyBufferSize;
    if (archive::ReadUpTo(in, buffer, want) != want) BadArchive();
    WriteToArchive(buffer, want);
    count -= want;
  }
}

void TLynZip::ReadCentralExtra(archive::TZipHeaderInfo& header, std::string& extra) {
  classlib::Stream* in = ArchiveStream();
  uint8_t central[archive::kCentralHeaderSize];
  if (in != nullptr && header.centralHeaderPosition != 0) {
    archive::StreamSeek(*in, header.centralHeaderPosition);
    if (archive::ReadUpTo(*in, central, sizeof central) == sizeof central &&
        Get32(central) == archive::kCentralHeaderSignature) {
      in->Seek(Get16(central + 28), classlib::soFromCurrent);
      extra.resize(header.centralExtraLength);
      if (archive::ReadUpTo(*in, extra.data(), header.centralExtraLength) ==
          header.centralExtraLength)
        return;
    }
  }
  // No record to copy it from (a directory rebuilt from local headers): leave it out.
  extra.clear();
  header.centralExtraLength = 0;
}

}  // namespace kestrel::writer
