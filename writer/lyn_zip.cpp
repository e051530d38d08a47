// lyn_zip.cpp — TLynZip: construction, the published properties with their interlocks,
// Assign and Loaded, and the multi-volume mirrors.
#include "writer/lyn_zip.h"

#include "classlib/ansi_string.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

TLynZip::TLynZip(classlib::Component* owner)
    : archive::TLynUnZip(owner),
      multiZipInfo_(std::make_unique<TMultiZipInfo>()),
      excludeList_(std::make_unique<classlib::StringList>()),
      noCompressList_(std::make_unique<classlib::StringList>()),
      deleteList_(std::make_unique<classlib::StringList>()) {}

TLynZip::~TLynZip() = default;

void TLynZip::Assign(const classlib::Persistent& source) {
  const auto* other = dynamic_cast<const TLynZip*>(&source);
  if (other == nullptr) {
    archive::TLynUnZip::Assign(source);
    return;
  }
  if (other == this) return;
  archive::TLynUnZip::Assign(source);
  // Raw values: the property interlocks do not apply to a copy.
  packLevel_ = other->packLevel_;
  recurse_ = other->recurse_;
  dispose_ = other->dispose_;
  storePaths_ = other->storePaths_;
  relativePaths_ = other->relativePaths_;
  storeVolumes_ = other->storeVolumes_;
  zipAction_ = other->zipAction_;
  multiZipInfo_->Assign(*other->multiZipInfo_);
  store83Names_ = other->store83Names_;
  tempPath_ = other->tempPath_;
  skipIfArchiveBitNotSet_ = other->skipIfArchiveBitNotSet_;
  resetArchiveBitOnZip_ = other->resetArchiveBitOnZip_;
  excludeList_->Assign(*other->excludeList_);
  noCompressList_->Assign(*other->noCompressList_);
  addDirEntriesOnRecurse_ = other->addDirEntriesOnRecurse_;
  storeSymbolicLinks_ = other->storeSymbolicLinks_;
  OnLinkLoop = other->OnLinkLoop;
  OnStartZip = other->OnStartZip;
  OnStartZipInfo = other->OnStartZipInfo;
  OnEndZip = other->OnEndZip;
  OnDisposeFile = other->OnDisposeFile;
  OnDeleteEntry = other->OnDeleteEntry;
  OnNoSuchFile = other->OnNoSuchFile;
  OnZipComplete = other->OnZipComplete;
  OnUpdate = other->OnUpdate;
}

void TLynZip::Loaded() {
  archive::TLynUnZip::Loaded();
  SetCheckDiskLabels(multiZipInfo_->CheckDiskLabels);
  SetMultiMode(multiZipInfo_->MultiMode);
}

void TLynZip::SetZipName(const std::string& name) {
  if (!Designing() && classlib::AnsiSameText(name, ZipName())) return;
  archive::TLynUnZip::SetZipName(name);
}

void TLynZip::SetStorePaths(bool v) {
  if (v == storePaths_) return;
  storePaths_ = v;
  if (!v) {
    SetStoreVolumes(false);
    SetRelativePaths(false);
  }
}

void TLynZip::SetStoreVolumes(bool v) {
  if (v == storeVolumes_) return;
  storeVolumes_ = v;
  if (v) SetStorePaths(true);
}

void TLynZip::SetRelativePaths(bool v) {
  if (v == relativePaths_) return;
  relativePaths_ = v;
  if (v) {
    SetStorePaths(true);
    recurse_ = true;
  }
}

void TLynZip::SetCheckDiskLabels(bool v) {
  multiZipInfo_->CheckDiskLabels = v;
  archive::TLynUnZip::SetCheckDiskLabels(v);
}

void TLynZip::SetMultiMode(archive::TMultiMode v) {
  multiZipInfo_->MultiMode = v;
  archive::TLynUnZip::SetMultiMode(v);
}

}  // namespace kestrel::writer
