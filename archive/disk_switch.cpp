// disk_switch.cpp — TLynUnZip::SwitchToDisk and the default next-disk prompt: moving the
// archive stream to another disk file of a spanned or block-split archive.
#include "archive/lyn_unzip.h"
#include "classlib/ansi_string.h"
#include "classlib/application.h"
#include "classlib/file_stream.h"
#include "classlib/format.h"
#include "classlib/path_utils.h"
#include "platform/platform.h"
#include "support/dos_date_time.h"
#include "support/file_ops.h"
#include "support/lfn_file_stream.h"
#include "support/string_table.h"
#include "support/volume_label.h"

namespace kestrel::archive {

using support::LoadStr;

namespace {

// A handler that keeps naming a disk that is not acceptable is asked this many times at most,
// so a host that cannot change the answer ends in a cancellation instead of a hang.
constexpr int kMaxDiskRequests = 1000;

}  // namespace

classlib::Stream& TLynUnZip::SwitchToDisk(int32_t n) {
  ReleaseStream();
  std::string f = zipName_;
  for (int attempt = 0;; ++attempt) {
    if (!OnGetNextDisk || attempt >= kMaxDiskRequests) {
      throw EUserCanceled(LoadStr(support::sUserCanceledNewDisk));
    }
    OnGetNextDisk(this, n, f);
    if (f.empty()) throw EUserCanceled(LoadStr(support::sUserCanceledNewDisk));
    if (support::FileExistsAt(f) && (!CheckDiskLabels() || DiskLabelMatches(n))) break;
  }
  stream_ = std::make_unique<support::TLFNFileStream>(
      f, classlib::fmOpenRead | classlib::fmShareDenyWrite, FlushFilesOnClose(),
      streamBufferSize_);
  currentDisk_ = n - 1;
  archiveDate_ = support::FileDateTime(f);
  zipName_ = f;
  return *stream_;
}

bool TLynUnZip::DiskLabelMatches(int32_t n) const {
  if (MultiMode() != mmSpan) return true;
  std::string root = classlib::AsciiUpperCase(zipName_.substr(0, 3));
  std::string label = support::GetVolumeLabel(root).substr(0, 11);
  std::string want = classlib::Format("%3.3d", n);
  return label.size() >= 3 && label.compare(label.size() - 3, 3, want) == 0;
}

void TLynUnZip::DefaultGetNextDisk(Object*, int32_t nextDisk, std::string& fName) {
  if (MultiMode() == mmSpan) {
    classlib::SetBusyCursor(false);
    std::string text = std::string(LoadStr(support::sInsertDisk)) + std::to_string(nextDisk) +
                       LoadStr(support::sOfMultiDiskSet);
    if (os::MessageBox(text, "", os::kMbOkCancel) == os::kIdCancel) fName.clear();
    return;
  }
  fName = classlib::ChangeFileExt(fName, classlib::Format(".%3.3d", nextDisk));
  // A block file that is not there will not appear by asking again.
  if (!support::FileExistsAt(fName)) fName.clear();
}

}  // namespace kestrel::archive
