// zip_packed.cpp — the component's side of packing on worker threads: which files the workers
// take and in what order, waiting for one with progress and cancel, and writing its data as
// the entry's.
#include <algorithm>
#include <deque>
#include <unordered_map>

#include "classlib/path_utils.h"
#include "support/dos_date_time.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

namespace {

// A worker's reads are reported in steps of this size, those of a stored copy made here.
constexpr uint64_t kProgressStep = 32768;

}  // namespace

void TLynZip::StartPacker() {
  // A spanned set asks for disks while it writes; its files are packed on this thread.
  if (threads_ < 2 || MultiMode() == archive::mmSpan) return;
  std::vector<ParallelPacker::Item> plan;
  for (const std::string& item : PackingOrder())
    plan.push_back({item, packLevel_ == 0 || IsNoCompress(classlib::ExtractFileName(item))});
  if (plan.size() < 2) return;
  // Data spilled from memory never goes onto a volume, whose room is counted.
  const std::string spill =
      MultiVolume() ? EntryTempDirectory() : classlib::ExtractFilePath(run_->outputName);
  run_->packer = std::make_unique<ParallelPacker>(threads_, packLevel_, plan, spill);
}

// The gathered files in the order their data will be written: in an update first those that
// replace entries, in the entries' order (as MergeExistingEntries meets them), then the others.
// An entry a delete mask names is taken as deleted; should the host keep it after all, the
// packer hands the files it passed over to this thread.
std::vector<std::string> TLynZip::PackingOrder() const {
  const classlib::StringList& files = FilesList();
  std::vector<std::string> order;
  std::vector<bool> merged(static_cast<size_t>(files.Count()), false);
  const archive::TSortedZip* entries = run_->updating ? EntryList() : nullptr;
  if (entries != nullptr) {
    std::unordered_map<std::string, std::deque<int>> byKey;
    for (int j = 0; j < files.Count(); ++j) byKey[FileMatchKey(files[j])].push_back(j);
    for (int32_t i = 0; i < entries->Count(); ++i) {
      const archive::TZipHeaderInfo& header = *entries->Header(i);
      if (DeletionName(header)) continue;
      const auto match = byKey.find(EntryMatchKey(header));
      if (match == byKey.end() || match->second.empty()) continue;
      const int j = match->second.front();
      match->second.pop_front();
      merged[static_cast<size_t>(j)] = true;
      if (zipAction_ == zaReplace || DateTimeOf(i) < support::FileDateTime(files[j]))
        order.push_back(files[j]);
    }
  }
  for (int j = 0; j < files.Count(); ++j) {
    if (!merged[static_cast<size_t>(j)]) order.push_back(files[j]);
  }
  // A directory entry has no data.
  std::erase_if(order, [](const std::string& item) { return classlib::EndsWithBackslash(item); });
  return order;
}

bool TLynZip::AwaitPackedData() {
  PackedFile& file = *run_->packed;
  const bool done = run_->packer->WaitDone(file, [this, &file] {
    const uint64_t read = file.bytesRead.load();
    if (read > run_->bytesRead) ReportRead(read - run_->bytesRead);
    ProcessMessagesAndCheckCancel();
  });
  if (done) return true;
  // The worker gave the file up; it is read again from its start.
  run_->packed.reset();
  bytesProcessed_ -= static_cast<int64_t>(run_->bytesRead);
  run_->bytesRead = 0;
  return false;
}

uint64_t TLynZip::WritePackedData() {
  PackedFile& file = *run_->packed;
  archive::TZipHeaderInfo& header = *run_->header;
  while (run_->bytesRead < file.size)
    ReportRead(std::min(kProgressStep, file.size - run_->bytesRead));
  run_->crc = ~file.crc;
  file.data.Drain([this](uint8_t* data, uint32_t n) { WriteOutput(data, n); });
  header.method = file.result.method;
  header.flags |= file.result.flagBits;
  header.internalAttributes = file.result.internalAttributes;
  return file.result.compressedSize;
}

}  // namespace kestrel::writer
