// volume_set.cpp — room accounting, volume changes, disk labels and the copy of an entry's
// data over the volumes of a spanned or block-split archive.
#include "writer/volume_set.h"

#include <algorithm>
#include <vector>

#include "archive/end_central.h"
#include "archive/zip_exceptions.h"
#include "archive/zip_header_info.h"
#include "classlib/ansi_string.h"
#include "classlib/file_stream.h"
#include "classlib/format.h"
#include "platform/platform.h"
#include "support/file_ops.h"
#include "support/lfn_file_stream.h"
#include "support/string_table.h"
#include "support/volume_label.h"
#include "writer/volume_names.h"

namespace kestrel::writer {

using support::LoadStr;

namespace {

// Copies go in pieces of this size so the percent events can follow them.
constexpr int64_t kCopyChunk = 16384;

[[noreturn]] void ThrowNoRoom() { throw archive::ENotEnoughRoom(LoadStr(support::sNotEnoughRoom)); }

// The root of the archive's drive: its drive letter, or the current drive without one.
std::string DriveRoot(const std::string& zipName) {
  if (zipName.size() >= 2 && zipName[1] == ':') {
    return classlib::AsciiUpperCase(zipName.substr(0, 1)) + ":\\";
  }
  return os::GetCurrentDirectory().substr(0, 2) + "\\";
}

int64_t FreeSpace(const std::string& zipName) {
  uint64_t freeBytes = 0, totalBytes = 0;
  if (!os::GetDiskFreeSpace(DriveRoot(zipName), freeBytes, totalBytes)) ThrowNoRoom();
  return static_cast<int64_t>(std::min<uint64_t>(freeBytes, INT64_MAX));
}

}  // namespace

int64_t MinimumBlockSize(uint32_t archiveCommentLength) {
  return std::max<int64_t>(archive::kCentralHeaderSize + 1,
                           archive::kEndCentralSize + int64_t{archiveCommentLength});
}

void CheckVolumeSettings(const VolumeSettings& settings, bool haveDiskHandler,
                         uint32_t archiveCommentLength) {
  if (settings.mode == archive::mmSpan && !haveDiskHandler) {
    throw EBadMultiVolumeSettings(
        "Spanning needs a handler for OnGetNextDisk to ask for each new disk");
  }
  if (settings.mode != archive::mmBlocks) return;
  const int64_t minimum = MinimumBlockSize(archiveCommentLength);
  if (settings.blockSize < minimum) {
    throw EBadMultiVolumeSettings(classlib::Format(
        "Block size %lld is too small: a block must hold at least %lld bytes",
        static_cast<long long>(settings.blockSize), static_cast<long long>(minimum)));
  }
  if (settings.firstBlockSize <= 0) {
    throw EBadMultiVolumeSettings(
        classlib::Format("First block size %lld is too small: it must be at least 1 byte",
                         static_cast<long long>(settings.firstBlockSize)));
  }
}

VolumeSet::VolumeSet(VolumeSettings settings, std::string zipName,
                     std::unique_ptr<support::TLFNFileStream>& output, Events events)
    : settings_(settings),
      zipName_(std::move(zipName)),
      output_(output),
      events_(std::move(events)),
      outputName_(settings_.mode == archive::mmBlocks ? BlockFileName(zipName_, 1) : zipName_) {}

VolumeSet::~VolumeSet() = default;

void VolumeSet::Start(int64_t reserve) {
  currentDisk_ = 0;
  room_ =
      settings_.mode == archive::mmSpan ? FreeSpace(zipName_) - reserve : settings_.firstBlockSize;
  std::string config = ConfigurationFileName(zipName_);
  if (config != zipName_ && support::FileExistsAt(config)) os::DeleteFile(config);
}

int64_t VolumeSet::RoomLeft() const { return room_ - (output_ ? output_->Size() : 0); }

bool VolumeSet::MakeRoom(int64_t need) {
  if (RoomLeft() >= need) return false;
  NextVolume();
  if (RoomLeft() < need) ThrowNoRoom();
  return true;
}

void VolumeSet::CloseVolume() {
  if (!output_) return;
  // Bytes still in the stream's buffer go out now, where a full disk can still be reported.
  try {
    output_->FlushBuffer();
  } catch (const classlib::EWriteError&) {
    ThrowNoRoom();
  }
  output_.reset();
}

void VolumeSet::NextVolume() {
  if (settings_.mode == archive::mmNone) return;
  // Volume numbers have three digits in names and labels, and readers refuse more.
  if (currentDisk_ + 1 >= kMaxVolumes) {
    throw EBadMultiVolumeSettings(classlib::Format(
        "The archive needs more than %d volumes; choose larger volumes", kMaxVolumes));
  }
  CloseVolume();
  if (settings_.mode == archive::mmSpan) {
    LabelDisk();
    std::string name = outputName_;
    if (events_.getNextDisk) events_.getNextDisk(events_.sender, currentDisk_ + 2, name);
    if (name.empty()) throw archive::EUserCanceled(LoadStr(support::sUserCanceledZip));
    // Writing over a disk that already holds a volume of this set would destroy it.
    if (LabelsApply() && IsDiskOfThisSet(support::GetVolumeLabel(DriveRoot(zipName_)))) {
      throw archive::EUserCanceled(
          classlib::Format("Disk %d of the multi-disk set was inserted again instead of a new disk",
                           currentDisk_ + 1));
    }
    ++currentDisk_;
    outputName_ = name;
    if (support::FileExistsAt(outputName_)) os::DeleteFile(outputName_);
    if (events_.prepareNextDisk) events_.prepareNextDisk(currentDisk_ + 1);
    room_ = FreeSpace(zipName_);
  } else {
    ++currentDisk_;
    outputName_ = BlockFileName(zipName_, currentDisk_ + 1);
    room_ = settings_.blockSize;
  }
  OpenVolume();
}

void VolumeSet::OpenVolume() {
  output_ = std::make_unique<support::TLFNFileStream>(outputName_, classlib::fmCreate,
                                                      settings_.flushOnClose);
  if (events_.volumeOpened) events_.volumeOpened();
}

bool VolumeSet::LabelsApply() const {
  return settings_.mode == archive::mmSpan && settings_.writeDiskLabels &&
         IsFloppyDrivePath(zipName_);
}

bool VolumeSet::IsDiskOfThisSet(const std::string& label) const {
  for (int32_t disk = 1; disk <= currentDisk_ + 1; ++disk) {
    if (classlib::AsciiUpperCase(label) == DiskLabel(disk)) return true;
  }
  return false;
}

void VolumeSet::LabelDisk() {
  if (!LabelsApply()) return;
  support::SetVolumeLabel(DriveRoot(zipName_), DiskLabel(currentDisk_ + 1));
}

void VolumeSet::CopyEntry(classlib::Stream& source,
                          const std::function<void(int64_t bytes)>& progress) {
  if (RoomLeft() <= 0) NextVolume();
  source.Seek(0, classlib::soFromBeginning);
  int64_t remaining = source.Size();
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(remaining, kCopyChunk)));
  while (remaining > 0) {
    // A fresh volume without room would leave the rest of the entry behind.
    if (RoomLeft() <= 0) ThrowNoRoom();
    int64_t piece = std::min(remaining, RoomLeft());
    for (int64_t done = 0; done < piece;) {
      const int32_t n = static_cast<int32_t>(std::min(piece - done, kCopyChunk));
      source.ReadBuffer(buffer.data(), n);
      if (output_->Write(buffer.data(), n) != n) ThrowNoRoom();
      done += n;
      if (progress) progress(n);
    }
    remaining -= piece;
    if (remaining > 0 || RoomLeft() <= 0) NextVolume();
  }
}

std::string VolumeSet::FinishBlocks() {
  if (settings_.mode != archive::mmBlocks) return zipName_;
  if (currentDisk_ != 0) return outputName_;
  // The run rewrites the archive in these modes, so a file of that name is replaced.
  if (support::RenameReplacing(outputName_, zipName_)) return zipName_;
  return outputName_;
}

void VolumeSet::DiscardBlocks() {
  if (settings_.mode != archive::mmBlocks) return;
  for (int32_t disk = 1; disk <= currentDisk_ + 1; ++disk) {
    std::string name = BlockFileName(zipName_, disk);
    if (support::FileExistsAt(name)) os::DeleteFile(name);
  }
}

}  // namespace kestrel::writer
