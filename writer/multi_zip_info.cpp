// multi_zip_info.cpp — assignment of the multi-volume settings.
#include "writer/multi_zip_info.h"

namespace kestrel::writer {

void TMultiZipInfo::Assign(const classlib::Persistent& source) {
  const auto* other = dynamic_cast<const TMultiZipInfo*>(&source);
  if (other == nullptr) {
    classlib::Persistent::Assign(source);
    return;
  }
  BlockSize = other->BlockSize;
  FirstBlockSize = other->FirstBlockSize;
  SaveOnFirstDisk = other->SaveOnFirstDisk;
  SaveZipInfoOnFirstDisk = other->SaveZipInfoOnFirstDisk;
  MultiMode = other->MultiMode;
  CheckDiskLabels = other->CheckDiskLabels;
  WriteDiskLabels = other->WriteDiskLabels;
}

}  // namespace kestrel::writer
