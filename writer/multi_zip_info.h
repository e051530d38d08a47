// multi_zip_info.h — TMultiZipInfo: the multi-volume settings of the zip component (volume
// sizes, what to keep on the first disk, the mode and the disk-label options).
#pragma once

#include <cstdint>
#include <string>

#include "archive/component_types.h"
#include "classlib/object.h"

namespace kestrel::writer {

class TMultiZipInfo : public classlib::Persistent {
 public:
  std::string ClassName() const override { return "TMultiZipInfo"; }
  // From another TMultiZipInfo: all seven fields; any other source: the base behaviour.
  void Assign(const classlib::Persistent& source) override;

  int32_t BlockSize = 1457600;
  int32_t FirstBlockSize = 1457600;
  int32_t SaveOnFirstDisk = 0;
  bool SaveZipInfoOnFirstDisk = false;
  archive::TMultiMode MultiMode = archive::mmNone;
  bool CheckDiskLabels = true;
  bool WriteDiskLabels = true;
};

}  // namespace kestrel::writer
