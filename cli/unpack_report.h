// unpack_report.h — what unzip and test tell the user about each entry: a progress bar on a
// terminal, and for every failed entry its name and reason on stderr.
#pragma once

#include <cstdint>
#include <string>

#include "cli/progress_bar.h"
#include "exports/unpack_walk.h"

namespace kestrel::cli {

class UnpackReport : public exports::WalkObserver {
 public:
  // command names the messages ("kestrel unzip").
  UnpackReport(std::string command, bool progress);
  ~UnpackReport() override;

  void Begin(const std::string& archivePath) override;
  void BeforeEntry(const reader::ZipDirEntry& entry) override;
  bool AfterEntry(const reader::ZipDirEntry& entry, int result) override;

  // Reports how the walk ended; returns the command's exit status.
  int Conclude(const std::string& archive, const exports::WalkSummary& summary);

  uint64_t entries() const { return done_; }

 private:
  static bool OnBytes(void* context, uint64_t entryBytes);
  void Fail(const std::string& message);

  std::string command_;
  ProgressBar bar_;
  uint64_t totalEntries_ = 0;
  uint64_t done_ = 0;
  uint64_t failed_ = 0;
  uint64_t bytesDone_ = 0;  // uncompressed bytes of the finished entries
  uint32_t entrySize_ = 0;
};

}  // namespace kestrel::cli
