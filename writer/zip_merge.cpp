// zip_merge.cpp — the entries of the existing archive during an update: each is carried over
// as raw bytes (never decompressed), replaced in place by the newer file that matches it, or
// left out when DeleteList names it. Carried-over entries keep their sizes at full width and
// get zip64 fields wherever their place in the new archive needs them.
#include <algorithm>
#include <optional>
#include <string>

#include "archive/extra_fields.h"
#include "archive/stream_io.h"
#include "support/dos_date_time.h"
#include "support/string_table.h"
#include "support/wildcard.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

namespace {

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
  const std::optional<std::string> name = DeletionName(*EntryList()->Header(index));
  if (!name) return false;
  bool skip = false;
  if (OnDeleteEntry) OnDeleteEntry(this, *name, skip);
  return !skip;
}

std::optional<std::string> TLynZip::DeletionName(const archive::TZipHeaderInfo& header) const {
  if (deleteList_->Count() == 0) return std::nullopt;
  std::string name = header.Directory() + header.FileName();
  std::replace(name.begin(), name.end(), '\\', '/');
  for (const std::string& mask : deleteList_->Items()) {
    if (support::IsMatch(mask, name)) return name;
  }
  return std::nullopt;
}

std::unique_ptr<archive::TZipHeaderInfo> TLynZip::CopyOfEntry(int32_t index) {
  auto header = NewHeader();
  header->Assign(*EntryList()->Header(index));
  // An entry this object wrote in an earlier run has its extra fields in the archive now, as
  // any entry read from it: they are copied from there, not written again from memory.
  const uint16_t centralExtraLength = header->centralExtraLength;
  header->SetOwnExtra(std::string());
  header->centralExtraLength = centralExtraLength;
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
  archive::StreamSeek(in, static_cast<int64_t>(header.localHeaderOffset64));
  if (archive::ReadUpTo(in, local, sizeof local) != sizeof local ||
      Get32(local) != archive::kLocalHeaderSignature)
    BadArchive();
  in.Seek(Get16(local + 26), classlib::soFromCurrent);
  header.localExtraLength = Get16(local + 28);
  std::string localExtra(header.localExtraLength, '\0');
  if (archive::ReadUpTo(in, localExtra.data(), header.localExtraLength) !=
      header.localExtraLength)
    BadArchive();
  CheckEntryRoom();
  const auto offset = static_cast<uint64_t>(archive::StreamPosition(*run_->output));
  CheckArchiveOffset(static_cast<int64_t>(offset));
  // The classic fields are made from the full values again: the markers where they overflow,
  // the values themselves where an old record held a marker it did not need.
  header.compressedSize = Classic32(header.compressedSize64);
  header.uncompressedSize = Classic32(header.uncompressedSize64);
  if (Overflows32(offset)) header.versionNeeded = archive::kZip64VersionNeeded;
  header.WriteLocal(*run_->output);
  header.localHeaderOffset = Classic32(offset);
  WriteToArchive(reinterpret_cast<const uint8_t*>(localExtra.data()), header.localExtraLength);
  CopyFromArchive(header.compressedSize64);
  if (header.HasDataDescriptor()) {
    const auto* extra = reinterpret_cast<const uint8_t*>(localExtra.data());
    CopyDataDescriptor(header, archive::FindExtraField(extra, localExtra.size(),
                                                       archive::kZip64ExtraId).has_value());
  }
}

void TLynZip::CopyDataDescriptor(const archive::TZipHeaderInfo& header, bool localZip64) {
  // CRC and both sizes, with or without the signature in front; the sizes are 8 bytes each
  // after a local header with a zip64 field, and wherever they outgrow 4 bytes.
  uint8_t descriptor[archive::kZip64DescriptorSize];
  const uint32_t got = archive::ReadUpTo(*ArchiveStream(), descriptor, sizeof descriptor);
  const bool wide = localZip64 || Overflows32(header.compressedSize64) ||
                    Overflows32(header.uncompressedSize64);
  const bool signature = got >= 4 && Get32(descriptor) == archive::kDataDescriptorSignature;
  const uint32_t size = (signature ? 4 : 0) + (wide ? 20 : 12);
  if (got < size) BadArchive();
  WriteToArchive(descriptor, size);
}

void TLynZip::CopyFromArchive(uint64_t count) {
  classlib::Stream& in = *ArchiveStream();
  uint8_t* buffer = run_->CopyBuffer();
  while (count > 0) {
    const auto want = static_cast<uint32_t>(std::min<uint64_t>(count, Run::kCopyBufferSize));
    if (archive::ReadUpTo(in, buffer, want) != want) BadArchive();
    WriteToArchive(buffer, want);
    count -= want;
  }
}

void TLynZip::ReadCentralExtra(archive::TZipHeaderInfo& header, std::string& extra) {
  classlib::Stream* in = ArchiveStream();
  uint8_t central[archive::kCentralHeaderSize];
  if (in != nullptr && header.centralHeaderPosition64 != 0) {
    archive::StreamSeek(*in, static_cast<int64_t>(header.centralHeaderPosition64));
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
