// zip_volumes.cpp — the zip operation's multi-volume steps: the settings check before a run,
// the reservation and room of the first volume, the per-entry temporary file and its copy
// into the volumes with the progress events, the final naming of block files, the ".zfc"
// configuration file, and the clean-up of volumes after a failure.
#include "archive/stream_io.h"
#include "classlib/application.h"
#include "classlib/exception.h"
#include "classlib/file_stream.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/file_ops.h"
#include "support/string_helpers.h"
#include "writer/volume_names.h"
#include "writer/zip_configuration.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

namespace {

// Estimated central record size per FilesList item, and what is always added, when room is
// reserved on the first disk for the configuration file.
constexpr int32_t kReservePerItem = 58;
constexpr int32_t kReservePerItemWithPaths = 83;
constexpr int32_t kReserveFixed = 2070;

}  // namespace

void TLynZip::CheckMultiVolumeSettings() const {
  const TMultiZipInfo& info = *multiZipInfo_;
  CheckVolumeSettings({info.MultiMode, info.BlockSize, info.FirstBlockSize, info.WriteDiskLabels,
                       FlushFilesOnClose()},
                      static_cast<bool>(OnGetNextDisk), EndCentral().commentLength);
}

void TLynZip::StartVolumes() {
  TMultiZipInfo& info = *multiZipInfo_;
  if (info.SaveZipInfoOnFirstDisk) {
    // Stored back, so a later run adds its reservation to this one.
    info.SaveOnFirstDisk =
        FilesList().Count() * (storePaths_ ? kReservePerItemWithPaths : kReservePerItem) +
        info.SaveOnFirstDisk + EndCentral().commentLength + kReserveFixed;
  }
  VolumeSet::Events events;
  events.sender = this;
  events.getNextDisk = OnGetNextDisk;
  if (OnPrepareNextDisk) {
    events.prepareNextDisk = [this](int32_t disk) { OnPrepareNextDisk(this, disk); };
  }
  events.volumeOpened = [this] {
    run_->currentDisk = run_->volumes->CurrentDisk();
    run_->outputName = run_->volumes->OutputName();
    run_->bytesOnVolume = 0;
    run_->newEnd->entriesOnDisk = 0;
  };
  run_->volumes = std::make_unique<VolumeSet>(
      VolumeSettings{info.MultiMode, info.BlockSize, info.FirstBlockSize, info.WriteDiskLabels,
                     FlushFilesOnClose()},
      ZipName(), run_->output, std::move(events));
  run_->volumes->Start(info.SaveOnFirstDisk);
  run_->outputName = run_->volumes->OutputName();
}

bool TLynZip::MakeRoomForRecord(int64_t need) {
  return run_->volumes && run_->volumes->MakeRoom(need);
}

std::string TLynZip::EntryTempDirectory() const {
  const std::string dir =
      tempPath_.empty() || !support::DirectoryExistsAt(tempPath_) ? os::TempPath() : tempPath_;
  return classlib::IncludeTrailingBackslash(dir);
}

void TLynZip::CreateEntryTemp() {
  const std::string dir = EntryTempDirectory();
  run_->entryTempName = support::TempFileName(dir);
  if (run_->entryTempName.empty()) {
    throw classlib::EFCreateError("Cannot create a temporary file in " + dir);
  }
  run_->entryTemp =
      std::make_unique<support::TLFNFileStream>(run_->entryTempName, classlib::fmCreate);
}

void TLynZip::DropEntryTemp() {
  if (run_->entryTempName.empty()) return;
  run_->entryTemp.reset();
  os::DeleteFile(run_->entryTempName);
  run_->entryTempName.clear();
}

void TLynZip::CopyEntryToVolumes() {
  archive::TZipHeaderInfo& header = *run_->header;
  classlib::Stream& temp = *run_->entryTemp;
  const int64_t stored = temp.Size();
  // The second half of a file's progress is the copy: its base is both sizes, and the total
  // counts the bytes copied instead of a second pass over the source.
  const int64_t fileBase = int64_t{header.uncompressedSize} + stored;
  int64_t fileDone = header.uncompressedSize;
  totalBytes_ -= int64_t{header.uncompressedSize} - stored;
  std::function<void(int64_t)> progress;
  if (OnFilePercentDone || OnTotalPercentDone) {
    progress = [&](int64_t n) {
      fileDone += n;
      bytesProcessed_ += n;
      if (OnFilePercentDone)
        OnFilePercentDone(this, static_cast<int32_t>(support::Percent64(fileBase, fileDone)));
      if (OnTotalPercentDone)
        OnTotalPercentDone(this,
                           static_cast<int32_t>(support::Percent64(totalBytes_, bytesProcessed_)));
    };
  }
  run_->volumes->CopyEntry(temp, progress);
}

void TLynZip::FinishVolumes() {
  if (!run_->volumes) return;
  const std::string name = run_->volumes->FinishBlocks();
  run_->outputName = name;
  SetZipName(name);
}

void TLynZip::DiscardVolumes() {
  DropEntryTemp();
  // Only a volume still open is this run's to delete: after a cancelled disk prompt the
  // file of that name belongs to the finished disk still in the drive.
  if (run_->output) {
    run_->output.reset();
    os::DeleteFile(run_->volumes->OutputName());
  }
  run_->volumes->DiscardBlocks();
}

void TLynZip::SaveConfigurationIfWanted() {
  if (!run_->volumes || !multiZipInfo_->SaveZipInfoOnFirstDisk || EndCentral().thisDisk == 0)
    return;
  // The archive is complete by now: a disk 1 that cannot be had only costs the copy of its
  // directory, never the archive.
  try {
    if (MultiMode() == archive::mmSpan) SwitchToDisk(1);
  } catch (const classlib::Exception&) {
    return;
  }
  classlib::SetBusyCursor(true);
  SaveZipConfiguration(ConfigurationFileName(ZipName()), *EntryList(), EndCentral());
  classlib::SetBusyCursor(false);
}

}  // namespace kestrel::writer
