// zip_entry.cpp — one entry of the new archive: the header of a file or directory, its stored
// name, the source file's data (stored, or through the Deflate compressor) with its CRC-32
// and progress events, and the local header rewritten in place once the sizes are known.
//
// A file whose size changes while it is read is not stored with sizes that do not describe
// it: its partial entry is cut off the output again and the file is reported as skipped.
// Sizes and offsets that outgrow 32 bits go into zip64 fields, and only those (zip64_records.h).
#include "archive/crc32.h"
#include "archive/stream_io.h"
#include "classlib/date_time.h"
#include "classlib/file_utils.h"
#include "classlib/path_utils.h"
#include "support/code_page.h"
#include "support/file_ops.h"
#include "support/os_error_text.h"
#include "support/short_path.h"
#include "support/string_helpers.h"
#include "support/string_table.h"
#include "writer/entry_encryption.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

using classlib::EndsWithBackslash;

namespace {

// Stored entries are copied in blocks of this size.
constexpr uint32_t kStoredBlock = 32768;

uint32_t DosNow() { return classlib::DateTimeToFileDate(classlib::Now()); }

// Whether a file of this size may give data of 4 GiB or more: stored blocks add 5 bytes to
// every 64 KB of data that does not shrink, and encryption 12 bytes to the entry. Its local
// header then carries the zip64 field, since that header is written before the data.
bool MayOutgrow32(uint64_t size) { return size + size / 8192 + 1024 >= archive::kZip64Marker; }

}  // namespace

bool TLynZip::ZipOneFile(const std::string& name, std::string root) {
  archive::TZipHeaderInfo& header = *run_->header;
  run_->bytesRead = 0;
  run_->entry = archive::Zip64Values();
  run_->localZip64 = false;
  const bool directory = EndsWithBackslash(name);
  if (run_->packer && !directory) run_->packed = run_->packer->Claim(name);
  if (directory) {
    header.dateTime = DosNow();
    if (support::DirectoryExistsAt(name)) {
      header.externalAttributes = classlib::FileGetAttr(classlib::ExcludeTrailingBackslash(name));
      classlib::SearchRec found;
      if (classlib::FindFirst(classlib::ExcludeTrailingBackslash(name), classlib::faAnyFile,
                              found) == 0) {
        header.dateTime = found.Time;
        classlib::FindClose(found);
      }
      StampUnixMetadata(classlib::ExcludeTrailingBackslash(name), true);
    }
    header.compressedSize = 0;
    header.uncompressedSize = 0;
    header.method = 0;
    header.crc32 = 0;
    header.internalAttributes = 0;
  } else if (storeSymbolicLinks_ && OpenLinkSource(name)) {
    DropPackedFile();  // a link's target is its data, read here
  } else {
    SourceFacts facts;
    if (!TakeSource(name, facts)) return false;
    header.externalAttributes = facts.attributes;
    header.dateTime = facts.dosDate == 0xFFFFFFFFu ? DosNow() : facts.dosDate;
    StampUnixMetadata(name, true);
    if (MultiVolume() && facts.size > kMaxZipFileSize) throw EZipLimit(FileTooLargeMessage(name));
    run_->entry.uncompressedSize = static_cast<uint64_t>(facts.size);
    header.uncompressedSize = Classic32(run_->entry.uncompressedSize);
  }

  std::string stored = name;
  if (store83Names_) {
    stored = support::ShortPathName(stored);
    if (!root.empty()) root = support::ShortPathName(root);
  }
  if (OEMConvert()) support::OemRoundTrip(stored);
  header.SetFileName(directory ? std::string() : classlib::ExtractFileName(stored));
  run_->entry.localHeaderOffset = static_cast<uint64_t>(archive::StreamPosition(*run_->output));
  header.localHeaderOffset = Classic32(run_->entry.localHeaderOffset);
  if (!directory) header.internalAttributes = 2;  // the compressor or the stored copy decides
  header.diskNumberStart = static_cast<uint16_t>(run_->currentDisk);
  if (storePaths_) header.SetDirectory(StoredDirectory(stored, root));

  int32_t index = 0;
  bool skip = false;
  if (run_->nameList->Find(&header, index)) {
    bool retry = false;
    if (OnSkippingFile) OnSkippingFile(this, archive::srNoOverwrite, name, -1, retry);
    PassOver(name, "stored name already taken by another file (names are compared ignoring case)");
    skip = true;
  } else if (OnStartZip) {
    OnStartZip(this, name, header, skip);
  }
  if (skip) {
    CloseSource();
    totalBytes_ -= static_cast<int64_t>(run_->entry.uncompressedSize);
    return false;
  }

  CheckEntryRoom();
  // A local header never straddles two volumes; it starts the next one instead.
  if (MakeRoomForRecord(int64_t{header.LocalSize()} + 1)) {
    header.diskNumberStart = static_cast<uint16_t>(run_->currentDisk);
    header.localHeaderOffset = 0;
    run_->entry.localHeaderOffset = 0;
  }
  CheckArchiveOffset(archive::StreamPosition(*run_->output));
  if (!MultiVolume() && !directory && MayOutgrow32(run_->entry.uncompressedSize)) {
    run_->localZip64 = true;
    // The zip64 field follows the entry's own extra field in the local header.
    header.localExtraLength = static_cast<uint16_t>(header.OwnExtra().size() + kLocalZip64ExtraSize);
  }
  if (run_->localZip64 || Overflows32(run_->entry.localHeaderOffset)) header.versionNeeded = archive::kZip64VersionNeeded;
  // In the multi-volume modes a file's header is written once its data is known.
  if (!run_->volumes || directory) WriteEntryLocal(*run_->output);
  if (directory) {
    if (OnEndZip) OnEndZip(this, name, 0, 0, 0);
    return true;
  }
  try {
    if (run_->volumes) CreateEntryTemp();
    const bool written = WriteFileData(name);
    CloseSource();
    return written;
  } catch (...) {
    CloseSource();
    throw;
  }
}

// Takes what a worker found when it opened the file, or opens it here. False when the file is
// passed over (gone, or it cannot be opened), reported as such.
bool TLynZip::TakeSource(const std::string& name, SourceFacts& facts) {
  if (run_->packed && run_->packer->WaitOpened(*run_->packed)) {
    const PackedFile& file = *run_->packed;
    facts = {file.attributes, file.dosDate, static_cast<int64_t>(file.size)};
    return true;
  }
  run_->packed.reset();
  if (!support::FileExistsAt(name)) {
    // Gone since it was gathered, or a name the system cannot open.
    const uint32_t error = os::LastError();
    if (OnNoSuchFile) OnNoSuchFile(this, name);
    PassOver(name, support::OsErrorText(error));
    return false;
  }
  facts.attributes = classlib::FileGetAttr(name);
  if (!OpenSource(name)) return false;
  facts.dosDate =
      classlib::FileGetDate(static_cast<const classlib::HandleStream&>(*run_->input).Handle());
  facts.size = run_->input->Size();
  return true;
}

bool TLynZip::OpenSource(const std::string& name) {
  for (;;) {
    try {
      run_->input = std::make_unique<classlib::FileStream>(
          name, classlib::fmOpenRead | classlib::fmShareDenyNone);
      return true;
    } catch (const classlib::EStreamError&) {
      const uint32_t error = os::LastError();
      bool retry = false;
      if (OnSkippingFile) OnSkippingFile(this, archive::srFileOpenError, name, -1, retry);
      if (!retry) {
        PassOver(name, support::OsErrorText(error));
        return false;
      }
    }
  }
}

void TLynZip::CloseSource() {
  DropEntryTemp();
  run_->input.reset();
  DropPackedFile();
}

void TLynZip::DropPackedFile() {
  if (!run_->packed) return;
  run_->packed->abandoned = true;  // its worker stops reading it
  run_->packed.reset();
}

bool TLynZip::WriteFileData(const std::string& name) {
  archive::TZipHeaderInfo& header = *run_->header;
  // A file the worker gave up on is read here after all.
  if (run_->packed && !AwaitPackedData() && !OpenSource(name)) {
    RollBackEntry();
    return false;
  }
  if (EncipheringEntries()) WriteEncryptionHeader();
  run_->crc = 0xFFFFFFFFu;
  uint64_t compressed = 0;
  if (run_->packed) {
    compressed = WritePackedData();
  } else if (packLevel_ == 0 || IsNoCompress(classlib::ExtractFileName(name))) {
    uint8_t* buffer = run_->CopyBuffer();
    for (uint32_t n; (n = ReadInput(buffer, kStoredBlock)) != 0;) WriteOutput(buffer, n);
    compressed = run_->bytesRead;
    header.method = 0;
    header.internalAttributes = 0;
  } else {
    const DeflateResult result = run_->deflater->deflate(packLevel_, *this, *this);
    compressed = result.compressedSize;
    header.method = result.method;
    header.flags |= result.flagBits;
    header.internalAttributes = result.internalAttributes;
  }
  const uint32_t crc = ~run_->crc;

  // The file changed size while it was read, or changed after the pre-pass whose CRC the
  // encryption header's check byte holds: what was read is no snapshot of it.
  if (run_->bytesRead != run_->entry.uncompressedSize ||
      (EncipheringEntries() && crc != run_->prePassCrc)) {
    RollBackEntry();
    bool retry = false;
    if (OnSkippingFile) OnSkippingFile(this, archive::srFileOpenError, name, -1, retry);
    PassOver(name, "changed while it was read");
    return false;
  }
  if (EncipheringEntries()) {
    compressed += kEncryptionHeaderSize;
    header.flags |= kFlagEncrypted;
  }
  // Only a local header written with the zip64 field can describe 4 GiB of data.
  if (static_cast<int64_t>(compressed) > kMaxZipFileSize && !run_->localZip64)
    throw EZipLimit(FileTooLargeMessage(name));

  header.crc32 = crc;
  run_->entry.compressedSize = compressed;
  header.compressedSize = Classic32(compressed);
  if (run_->volumes) {
    header.WriteLocal(*run_->output);
    CopyEntryToVolumes();
  } else {
    classlib::Stream& out = *run_->output;
    const int64_t end = archive::StreamPosition(out);
    FlushOutput();
    archive::StreamSeek(out, static_cast<int64_t>(run_->entry.localHeaderOffset));
    WriteEntryLocal(out);
    FlushOutput();
    archive::StreamSeek(out, end);
  }

  if (resetArchiveBitOnZip_) {
    const uint32_t attributes = classlib::FileGetAttr(name);
    if (attributes != os::kInvalidAttributes)
      classlib::FileSetAttr(name, attributes & ~uint32_t(classlib::faArchive));
  }
  if (OnEndZip)
    OnEndZip(this, name, static_cast<int64_t>(run_->entry.uncompressedSize),
             static_cast<int64_t>(run_->entry.compressedSize), run_->output->Size());
  return true;
}

void TLynZip::WriteEntryLocal(classlib::Stream& out) {
  archive::TZipHeaderInfo& header = *run_->header;
  if (!run_->localZip64) {
    header.WriteLocal(out);
  } else {
    // The local field always holds both sizes, and the classic fields their markers.
    const uint32_t compressed = header.compressedSize;
    const uint32_t uncompressed = header.uncompressedSize;
    header.compressedSize = archive::kZip64Marker;
    header.uncompressedSize = archive::kZip64Marker;
    header.WriteLocal(out);
    header.compressedSize = compressed;
    header.uncompressedSize = uncompressed;
    const std::string extra = LocalZip64Extra(run_->entry);
    archive::StreamWrite(out, extra.data(), extra.size());
  }
  header.localHeaderOffset = Classic32(run_->entry.localHeaderOffset);
}

void TLynZip::RollBackEntry() {
  classlib::Stream& out = *run_->output;
  FlushOutput();
  out.SetSize(static_cast<int64_t>(run_->entry.localHeaderOffset));
  archive::StreamSeek(out, static_cast<int64_t>(run_->entry.localHeaderOffset));
  totalBytes_ -= static_cast<int64_t>(run_->entry.uncompressedSize);
  bytesProcessed_ -= static_cast<int64_t>(run_->bytesRead);
}

uint32_t TLynZip::ReadInput(uint8_t* buffer, uint32_t size) {
  const uint32_t count = archive::ReadUpTo(*run_->input, buffer, size);
  if (count == 0) return 0;
  ReportRead(count);
  run_->crc = archive::Crc32Fold(run_->crc, buffer, count);
  return count;
}

// The progress events of count more bytes read from the current file.
void TLynZip::ReportRead(uint64_t count) {
  run_->bytesRead += count;
  if (OnFilePercentDone) {
    int32_t percent = static_cast<int32_t>(support::Percent64(
        static_cast<int64_t>(run_->entry.uncompressedSize), static_cast<int64_t>(run_->bytesRead)));
    // The copy into the volumes is the second half of the file's progress.
    if (MultiVolume()) percent /= 2;
    OnFilePercentDone(this, percent);
  }
  bytesProcessed_ += static_cast<int64_t>(count);
  if (OnTotalPercentDone)
    OnTotalPercentDone(this, static_cast<int32_t>(support::Percent64(totalBytes_, bytesProcessed_)));
}

void TLynZip::WriteOutput(uint8_t* buffer, uint32_t size) {
  if (EncipheringEntries()) EncipherData(Keys(), OnEncrypt, this, Password(), buffer, size);
  WriteToArchive(buffer, size);
  ProcessMessagesAndCheckCancel();
}

}  // namespace kestrel::writer
