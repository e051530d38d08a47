// zip_packed.cpp — the component's side of packing on worker threads: which files the workers
// take, waiting for one with progress and cancel, and writing its data as the entry's.
#include <algorithm>

#include "classlib/path_utils.h"
#include "writer/zip_run_state.h"

namespace kestrel::writer {

namespace {

// A worker's reads are reported in steps of this size, those of a stored copy made here.
constexpr uint64_t kProgressStep = 32768;

}  // namespace

void TLynZip::StartPacker() {
  // A split or spanned set's data goes through per-entry files on the volumes' drive.
  if (threads_ < 2 || MultiVolume()) return;
  std::vector<ParallelPacker::Item> plan;
  for (const std::string& item : FilesList().Items()) {
    if (classlib::EndsWithBackslash(item)) continue;  // a directory entry has no data
    plan.push_back({item, packLevel_ == 0 || IsNoCompress(classlib::ExtractFileName(item))});
  }
  if (plan.size() < 2) return;
  run_->packer = std::make_unique<ParallelPacker>(threads_, packLevel_, plan,
                                                  classlib::ExtractFilePath(run_->outputName));
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
