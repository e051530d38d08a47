// unpack_report.cpp — progress and failure messages of unzip and test.
#include "cli/unpack_report.h"

#include <cstdio>

#include "cli/interrupt.h"
#include "cli/list_format.h"
#include "cli/paths.h"
#include "reader/extract_entry.h"
#include "reader/unzip_state.h"

namespace kestrel::cli {

UnpackReport::UnpackReport(std::string command, bool progress)
    : command_(std::move(command)), bar_(stderr, progress) {
  reader::SetProgressHook(&UnpackReport::OnBytes, this);
}

UnpackReport::~UnpackReport() { reader::SetProgressHook(nullptr, nullptr); }

bool UnpackReport::OnBytes(void* context, uint64_t entryBytes) {
  auto* self = static_cast<UnpackReport*>(context);
  self->bar_.Update(self->done_, self->bytesDone_ + entryBytes);
  return false;
}

void UnpackReport::Begin(const std::string& archivePath) {
  // A first pass over the directory gives the totals; it reads nothing but the directory.
  uint64_t bytes = 0;
  reader::ZipDirEntry entry;
  for (int32_t r = reader::FirstZipEntry(archivePath, entry); r == 0; r = reader::NextZipEntry(entry)) {
    ++totalEntries_;
    bytes += entry.uncompressedSize;
  }
  reader::CloseZipEntries(entry);
  bar_.SetTotals(totalEntries_, bytes);
  bar_.Update(0, 0, true);
}

void UnpackReport::BeforeEntry(const reader::ZipDirEntry& entry) {
  entrySize_ = entry.uncompressedSize;
}

bool UnpackReport::AfterEntry(const reader::ZipDirEntry& entry, int result) {
  ++done_;
  bytesDone_ += entrySize_;
  if (result != reader::ExtractOk) {
    ++failed_;
    // A name marked UTF-8 that has no ANSI form is held as the stored bytes: shown as they are.
    const bool storedUtf8 = HoldsStoredUtf8(entry.nameProblem, entry.flags);
    Fail((storedUtf8 ? std::string(entry.name) : ForTerminal(entry.name)) + ": " +
         exports::EntryResultText(result));
  }
  bar_.Update(done_, bytesDone_);
  return !Interrupted();
}

void UnpackReport::Fail(const std::string& message) {
  bar_.Clear();
  std::fprintf(stderr, "%s: %s\n", command_.c_str(), message.c_str());
}

int UnpackReport::Conclude(const std::string& archive, const exports::WalkSummary& summary) {
  if (summary.result == 0) {
    Fail(archive + ": " + summary.failure);
    return 1;
  }
  bar_.Finish();
  if (summary.directoryResult != 0) {
    Fail(archive + ": the archive's directory cannot be read");
    return 1;
  }
  const uint64_t left = totalEntries_ > done_ ? totalEntries_ - done_ : 0;
  if (summary.stopResult != 0 || summary.stoppedByObserver) {
    Fail("stopped; " + std::to_string(left) + " more entries were not processed");
  }
  if (Interrupted() || summary.stopResult == reader::ExtractCancelled) return kInterruptedStatus;
  if (failed_ > 0) {
    Fail(std::to_string(failed_) + " of " + std::to_string(done_) + " entries failed");
    return 1;
  }
  return 0;
}

}  // namespace kestrel::cli
