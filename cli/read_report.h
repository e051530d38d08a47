// read_report.h — what unzip and test tell the user while the library works: a progress bar
// on a terminal, each failed entry with its reason, kept files, the overwrite question, and
// at the end the counts and the exit status. Ctrl-C cancels through the progress callback.
#pragma once

#include <cstdint>
#include <string>

#include "cli/progress_bar.h"
#include "cli/unzip_options.h"
#include "kestrel.h"

namespace kestrel::cli {

class ReadReport {
 public:
  // selected: the number of entries the call will report (for the bar and the count of
  // entries a stop leaves unprocessed).
  ReadReport(const char* command, const UnzipOptions& options, uint64_t selected);

  // Sets the progress callback on reader and the report's callbacks in extract.
  void Attach(kestrel_reader* reader, kestrel_extract_options& extract);

  // Reports how extract_all ended (its result and the reader's message); returns the exit
  // status.
  int Conclude(int result, const std::string& message);

  // A failure outside extract_all (-p): named like an entry's, counted.
  void Fail(const std::string& message);
  uint64_t failed() const { return failed_; }

 private:
  static int OnProgress(void* self, const char* name, uint64_t done, uint64_t total);
  static void OnEntry(void* self, const kestrel_entry* entry, int result, const char* message,
                      const char* path);
  static int OnAsk(void* self, const char* name, const char* path, char* newPath, size_t size);

  const char* command_;
  const UnzipOptions& options_;
  ProgressBar bar_;
  uint64_t selected_;
  uint64_t done_ = 0;
  uint64_t failed_ = 0;
  uint64_t kept_ = 0;
  uint64_t bytes_ = 0;
};

}  // namespace kestrel::cli
