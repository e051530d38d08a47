// volume_set.h — the volumes of a multi-volume zip run: spanned removable disks (mmSpan) or
// numbered block files (mmBlocks). It tracks the room on the current volume, changes to the
// next one (asking for a disk, labelling the finished one), copies an entry's data over as
// many volumes as it needs, and gives the block files their final names.
//
// The output stream itself belongs to the run; the set opens and closes it in the slot it is
// given. Volumes are numbered from 0 in the records and from 1 in names, labels and prompts.
// Errors raise the component's exceptions: ENotEnoughRoom when a volume cannot take what must
// go on it, EUserCanceled when the user cancels a disk prompt or inserts a disk of this set
// again, EBadMultiVolumeSettings for settings that cannot work (checked before a run writes).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/component_types.h"
#include "classlib/exception.h"
#include "classlib/stream.h"

namespace kestrel::support {
class TLFNFileStream;
}

namespace kestrel::writer {

class EBadMultiVolumeSettings : public classlib::Exception {
  using Exception::Exception;
};

// Most volumes one archive may have: x.001 to x.999, "PKBACK# 999".
inline constexpr int32_t kMaxVolumes = 999;

struct VolumeSettings {
  archive::TMultiMode mode = archive::mmNone;
  int64_t blockSize = 0;
  int64_t firstBlockSize = 0;
  bool writeDiskLabels = true;
  bool flushOnClose = false;
};

// Smallest block that holds the records that never straddle two volumes: a central header
// with a one-byte name, or the end record with its comment.
int64_t MinimumBlockSize(uint32_t archiveCommentLength);
// Refuses settings that cannot produce a readable set: in mmBlocks a block size of 0 or less
// or below MinimumBlockSize, a first block of 0 or less; in mmSpan no disk handler.
void CheckVolumeSettings(const VolumeSettings& settings, bool haveDiskHandler,
                         uint32_t archiveCommentLength);

class VolumeSet {
 public:
  struct Events {
    classlib::Object* sender = nullptr;
    archive::TGetNextDisk getNextDisk;                  // asks for disk n (1-based); may rename
    std::function<void(int32_t disk)> prepareNextDisk;  // OnPrepareNextDisk, 1-based
    std::function<void()> volumeOpened;                 // after each new volume's file is created
  };

  // zipName is the archive as named by the caller; output is the run's output slot.
  VolumeSet(VolumeSettings settings, std::string zipName,
            std::unique_ptr<support::TLFNFileStream>& output, Events events);
  ~VolumeSet();

  // The file of the current volume: the archive itself (mmSpan) or a block file.
  const std::string& OutputName() const { return outputName_; }
  int32_t CurrentDisk() const { return currentDisk_; }
  archive::TMultiMode Mode() const { return settings_.mode; }

  // Sets the room of the first volume before its file is created: the free space of the
  // archive's drive less reserve (mmSpan), or the first block size (mmBlocks). Removes a
  // configuration file left beside the archive by an earlier run, which would otherwise
  // describe volumes that are being rewritten.
  void Start(int64_t reserve);
  // Room minus the current size of the output file.
  int64_t RoomLeft() const;
  // Changes volume when fewer than need bytes are left; true when it did. Raises
  // ENotEnoughRoom when even a fresh volume cannot take need bytes.
  bool MakeRoom(int64_t need);
  void NextVolume();
  // Writes out and closes the current volume's file (ENotEnoughRoom when it cannot).
  void CloseVolume();
  // Labels the disk being finished "PKBACK# nnn" (mmSpan, WriteDiskLabels, drive A: or B:).
  void LabelDisk();
  // Copies the whole of source (an entry's data) from its start into the volumes, changing
  // volume whenever one is full. progress, when set, gets the bytes of each piece copied
  // (pieces of at most 16,384 bytes).
  void CopyEntry(classlib::Stream& source, const std::function<void(int64_t bytes)>& progress);

  // After a successful run, with the output closed: a single block becomes the archive
  // itself (replacing a file of that name), several blocks keep their names. Returns the
  // name the archive is now known by (the archive name, or the last block's).
  std::string FinishBlocks();
  // After a failed run, with the output closed: removes the block files this run wrote
  // (they hold no end record and are of no use); spanned disks already out of the drive stay.
  void DiscardBlocks();

 private:
  void OpenVolume();
  bool IsDiskOfThisSet(const std::string& label) const;
  bool LabelsApply() const;

  VolumeSettings settings_;
  std::string zipName_;
  std::unique_ptr<support::TLFNFileStream>& output_;
  Events events_;
  std::string outputName_;
  int32_t currentDisk_ = 0;
  int64_t room_ = 0;
};

}  // namespace kestrel::writer
