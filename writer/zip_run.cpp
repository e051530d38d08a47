// zip_run.cpp — RunZip: gathering, choosing and opening the output, zipping the gathered
// files, the central directory and end record, and the completion or clean-up of a run.
//
// A fresh archive is written to ZipName itself and deleted again when the run fails. When
// ZipName exists, the new archive goes to a temporary file in the same directory and is
// renamed over ZipName (an atomic replace on one file system) only when it is complete.
// A single-file archive whose entry count, directory size or offset outgrows its classic field
// gets the zip64 end record and locator; spanned and block sets are refused beyond them.
#include <limits>

#include "archive/stream_io.h"
#include "classlib/ansi_string.h"
#include "classlib/file_utils.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"
#include "support/file_ops.h"
#include "support/lfn_file_stream.h"
#include "support/os_error_text.h"
#include "support/string_table.h"
#include "writer/zip_limits.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

using support::LoadStr;

namespace {

// Entry data and headers gather in this buffer before they reach the file, so the archive
// is written in large blocks; a larger buffer saves little once writes are this big.
constexpr int32_t kArchiveBufferSize = 65536;

}  // namespace

int32_t TLynZip::RunZip() {
  passedOver_.clear();
  if (classlib::Trim(ZipName()).empty()) {
    if (OnZipComplete) OnZipComplete(this, 0);
    return 0;
  }
  CheckMultiVolumeSettings();
  run_ = std::make_unique<Run>();
  run_->savedSortMode = SortMode();
  run_->savedKeepZipOpen = KeepZipOpen();
  SetKeepZipOpen(true);
  AdoptSortedView(nullptr, archive::ByNone);
  if (dispose_) run_->disposeList = std::make_unique<classlib::StringList>();
  bool outputClaimed = false;
  try {
    if (FilesList().Count() > 0) GatherFiles();
    if (GatheredCount() == 0 && !writeEmptyArchive_) return FinishWithoutArchive();
    // The multi-volume modes always write a fresh archive.
    const bool exists = !MultiVolume() && support::FileExistsAt(ZipName());
    run_->replacing = exists;
    run_->updating = exists && !replaceExisting_;
    run_->deflater = std::make_unique<Deflater>();
    // The existing directory and end record are loaded first, so the archive comment is
    // there to be carried over.
    if (run_->updating) OpenZip();
    if (run_->replacing) {
      run_->outputName = support::TempFileName(classlib::ExtractFilePath(ZipName()));
      if (run_->outputName.empty())
        throw classlib::EFCreateError("Cannot create a temporary file beside " + ZipName());
    } else if (MultiVolume()) {
      StartVolumes();
    } else {
      run_->outputName = ZipName();
    }
    outputClaimed = run_->replacing;
    OpenOutput();
    outputClaimed = true;
    StartPacker();
    if (run_->updating) MergeExistingEntries();
    ZipGatheredFiles();
    // Every gathered file may have been passed over.
    if (run_->orderList->Count() == 0 && !writeEmptyArchive_) return FinishWithoutArchive();
    WriteCentralDirectory();
    CompleteRun();
  } catch (...) {
    if (outputClaimed) AbandonRun();
    ApplySortMode(run_->savedSortMode);
    FinishRun();
    throw;
  }
  const int32_t result = run_->result;
  FinishRun();
  if (OnZipComplete) OnZipComplete(this, result);
  return result;
}

void TLynZip::OpenOutput() {
  run_->output = std::make_unique<support::TLFNFileStream>(
      run_->outputName, classlib::fmCreate, FlushFilesOnClose(), kArchiveBufferSize);
  run_->nameList = std::make_unique<archive::TSortedZip>(archive::dupAcceptObject);
  run_->nameList->SetSortMode(archive::ByName);
  run_->nameList->SetOwnsItems(false);
  run_->orderList = std::make_unique<archive::TSortedZip>(archive::dupAcceptObject);
  run_->orderList->SetSortMode(archive::ByNone);
  run_->newEnd = std::make_unique<archive::TEndCentral>();
  if (run_->updating || EndCentral().commentsChanged) {
    if (EndCentral().commentLength != 0 && !EndCentral().CommentText()) ZipComment();
    run_->newEnd->Assign(EndCentral());
    run_->newEnd->totalEntries = 0;
    run_->newEnd->entriesOnDisk = 0;
    run_->newEnd->commentsChanged = false;
  }
}

void TLynZip::ZipGatheredFiles() {
  classlib::StringList& files = FilesList();
  if (GatheredCount() > 0) {
    bool stopNow = false;
    if (OnStartZipInfo) OnStartZipInfo(this, GatheredCount(), totalBytes_, *run_->newEnd, stopNow);
    if (stopNow) throw archive::EUserCanceled(LoadStr(support::sUserCanceledZip));
  }
  // Each byte is handled twice: into the entry's temporary file, then into the volumes.
  if (MultiVolume()) totalBytes_ *= 2;
  const int count = files.Count();
  for (int i = 0; i < count; ++i) {
    const std::string item = files[i];
    run_->header = NewHeader();
    if (ZipOneFile(item)) {
      AddEntry(item);
    } else {
      run_->header.reset();
    }
  }
  run_->packer.reset();
  ZipUtf8Files();
}

void TLynZip::ZipUtf8Files() {
  if (utf8Files_.empty()) return;
  std::string root;
  if (!os::ConvertCodePage(os::AnsiCodePage(), os::kUtf8CodePage, RootDir(), root)) {
    for (const std::string& item : utf8Files_)
      PassOver(item, support::OsErrorText(os::kErrorNoUnicodeTranslation));
    return;
  }
  const os::CodePageScope utf8(os::kUtf8CodePage, os::kUtf8CodePage);
  for (const std::string& item : utf8Files_) {
    run_->header = NewHeader();
    if (ZipOneFile(item, root)) {
      run_->header->KeepStoredName();
      // The list of files to delete afterwards is worked through in the ANSI code page.
      AddEntry(item, false);
    } else {
      run_->header.reset();
    }
  }
}

void TLynZip::AddEntry(const std::string& item, bool disposable) {
  ++run_->result;
  ++run_->newEnd->totalEntries;
  ++run_->newEnd->entriesOnDisk;
  // The in-memory directory holds the full sizes (its classic fields may hold markers).
  run_->header->compressedSize64 = run_->entry.compressedSize;
  run_->header->uncompressedSize64 = run_->entry.uncompressedSize;
  run_->nameList->Add(run_->header.get());
  run_->written.push_back(run_->header.get());
  run_->orderList->Add(run_->header.release());
  if (run_->disposeList && disposable) run_->disposeList->Add(item);
}

void TLynZip::WriteCentralDirectory() {
  int64_t start = archive::StreamPosition(*run_->output);
  CheckArchiveOffset(start);
  run_->newEnd->startDisk = static_cast<uint16_t>(run_->currentDisk);
  // Summed over the volumes the records go to.
  int64_t centralSize = 0;
  std::string extra;
  for (size_t i = 0; i < run_->written.size(); ++i) {
    archive::TZipHeaderInfo& header = *run_->written[i];
    if (MakeRoomForRecord(header.CentralSize()) && i == 0) {
      start = 0;
      run_->newEnd->startDisk = static_cast<uint16_t>(run_->currentDisk);
    }
    classlib::Stream& out = *run_->output;
    const int64_t before = archive::StreamPosition(out);
    extra.clear();
    // Entries carried over from the existing archive take their central extra field from it;
    // new entries start from their own. The zip64 part is written anew for the entry's values
    // in this archive.
    if (!header.OwnExtra().empty()) {
      extra = header.OwnExtra();
    } else if (header.centralExtraLength != 0) {
      ReadCentralExtra(header, extra);
    }
    const archive::Zip64Values wide{header.uncompressedSize64, header.compressedSize64,
                                    header.localHeaderOffset64, 0};
    extra = WithoutZip64Extra(extra) + CentralZip64Extra(wide);
    header.centralExtraLength = static_cast<uint16_t>(extra.size());
    header.WriteCentral(out, header.centralExtraLength != 0
                                 ? reinterpret_cast<const uint8_t*>(extra.data())
                                 : nullptr);
    // Where a later update in this object finds the record again.
    if (!MultiVolume()) {
      header.centralHeaderPosition = Classic32(static_cast<uint64_t>(before));
      header.centralHeaderPosition64 = static_cast<uint64_t>(before);
    }
    centralSize += archive::StreamPosition(out) - before;
  }
  MakeRoomForRecord(run_->newEnd->Size());
  classlib::Stream& out = *run_->output;
  CheckArchiveOffset(archive::StreamPosition(out) + run_->newEnd->Size());
  CheckArchiveOffset(centralSize);
  const auto entries = static_cast<uint64_t>(run_->orderList->Count());
  // The end record's values at full width, as a load of the new archive would find them.
  archive::DirectoryLocation& location = run_->newEnd->location;
  location = archive::DirectoryLocation{};
  location.totalEntries = entries;
  location.centralSize = static_cast<uint64_t>(centralSize);
  location.centralOffset = static_cast<uint64_t>(start);
  if (!MultiVolume() && (Overflows16(entries) || Overflows32(static_cast<uint64_t>(centralSize)) ||
                         Overflows32(static_cast<uint64_t>(start)))) {
    location.zip64EndPosition = archive::StreamPosition(out);
    WriteZip64End(out, entries, static_cast<uint64_t>(centralSize), static_cast<uint64_t>(start));
    run_->newEnd->totalEntries = Classic16(entries);
    run_->newEnd->entriesOnDisk = Classic16(entries);
  }
  run_->newEnd->centralOffset = Classic32(static_cast<uint64_t>(start));
  run_->newEnd->centralSize = Classic32(static_cast<uint64_t>(centralSize));
  run_->newEnd->thisDisk = static_cast<uint16_t>(run_->currentDisk);
  location.endPosition = archive::StreamPosition(out);
  run_->newEnd->commentPosition = location.endPosition + archive::kEndCentralSize;
  run_->newEnd->Write(out);
  FlushOutput();
  if (run_->volumes) run_->volumes->LabelDisk();
}

void TLynZip::CompleteRun() {
  run_->deflater.reset();
  run_->output.reset();
  const std::string kept = ZipName();
  // The old archive is closed before anything replaces it.
  if (run_->replacing) ClearZip();
  SetZipName(kept);
  if (run_->replacing && !os::MoveFileReplace(run_->outputName, kept))
    throw classlib::EFCreateError("Cannot replace " + kept);
  // The archive is complete and in place: nothing that fails from here on may delete it.
  run_->replacing = false;
  run_->outputName.clear();
  FinishVolumes();
  if (run_->disposeList) {
    for (const std::string& name : run_->disposeList->Items()) {
      bool skip = false;
      if (OnDisposeFile) OnDisposeFile(this, name, skip);
      if (!skip) classlib::DeleteFile(name);
    }
    run_->disposeList.reset();
  }
  EndCentral().Assign(*run_->newEnd);
  AdoptDirectory(std::move(run_->orderList));
  archiveDate_ = support::FileDateTime(ZipName());
  if (run_->savedSortMode == archive::ByName) {
    AdoptSortedView(std::move(run_->nameList), archive::ByName);
  } else {
    ApplySortMode(run_->savedSortMode);
  }
  numberOfDisks_ = run_->currentDisk + 1;
  if (OnTotalPercentDone) OnTotalPercentDone(this, 100);
  SaveConfigurationIfWanted();
}

void TLynZip::AbandonRun() {
  run_->packed.reset();
  run_->packer.reset();  // stops the workers
  run_->deflater.reset();
  run_->input.reset();
  run_->header.reset();
  run_->orderList.reset();
  if (run_->volumes) {
    DiscardVolumes();
    return;
  }
  run_->output.reset();
  // The partial new archive, or the temporary file of a replace: the old archive stays.
  if (!run_->outputName.empty()) os::DeleteFile(run_->outputName);
}

int32_t TLynZip::FinishWithoutArchive() {
  // Nothing is written, and an existing archive stays as it was.
  AbandonRun();
  ApplySortMode(run_->savedSortMode);
  FinishRun();
  if (OnZipComplete) OnZipComplete(this, 0);
  return 0;
}

void TLynZip::PassOver(const std::string& name, const std::string& reason) {
  passedOver_.push_back({name, reason});
}

void TLynZip::FinishRun() {
  SetKeepZipOpen(run_->savedKeepZipOpen);
  CloseZip();
  FilesList().Clear();
  utf8Files_.clear();
  run_.reset();
}

void TLynZip::FlushOutput() {
  if (!run_->output->WriteOutBuffer())
    throw archive::ENotEnoughRoom(LoadStr(support::sNotEnoughRoom), os::LastError());
}

void TLynZip::WriteToArchive(const uint8_t* buffer, uint32_t size) {
  // In the multi-volume modes an entry's data waits in its temporary file.
  classlib::Stream& target = run_->entryTemp ? *run_->entryTemp : *run_->output;
  const int32_t written = target.Write(buffer, static_cast<int32_t>(size));
  if (written < static_cast<int32_t>(size))
    throw archive::ENotEnoughRoom(LoadStr(support::sNotEnoughRoom), os::LastError());
  run_->bytesOnVolume += written;
}

// A single-file archive has zip64 records for what outgrows the classic fields; a spanned or
// block set has none.
void TLynZip::CheckEntryRoom() const {
  if (MultiVolume() && run_->orderList->Count() >= kMaxZipEntries)
    throw EZipLimit(TooManyEntriesMessage());
}

void TLynZip::CheckArchiveOffset(int64_t position) const {
  if (MultiVolume() && position > kMaxZipOffset) throw EZipLimit(ArchiveTooLargeMessage());
}

}  // namespace kestrel::writer
