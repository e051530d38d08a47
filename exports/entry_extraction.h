// entry_extraction.h — one selected entry of kestrel_reader_extract_all on its way: where it
// goes, the overwrite policy, the engine's run, and its outcome told to the caller in entry
// order. Shared by the one-thread loop and the parallel one.
#pragma once

// The reading interface exists on Linux hosts only (kestrel.h declares it there).
#if !defined(_WIN32)

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "exports/api_reader.h"
#include "exports/api_reader_call.h"
#include "exports/unix_extraction.h"

namespace kestrel::exports {

// One entry's passage: set by Extraction's steps, told by Tally.
struct EntryTask {
  size_t index = 0;         // in reader->entries
  std::string name;         // as created below the destination ("\" separators)
  std::string outputPath;   // the engine's drive path; "" when testing
  bool renamed = false;     // outputPath is a name the ask callback chose
  std::string nativePath;   // the path told to the caller; "" when nothing was written
  int code = KESTREL_OK;    // the interface's result
  std::string message;
  bool stops = false;       // the archive is damaged there: the walk ends after it
  // What the engine's run left behind, for a parallel run to take back if the walk ended
  // before this entry.
  bool outputAttempted = false;
  std::vector<std::string> createdDirectories;
  // A worker's replacement of an existing file: checked, under its temporary name beside
  // outputPath until the entry's turn to be reported (then Extraction::Replace).
  std::string replacement;
  std::atomic<uint64_t> bytesWritten{0};  // of this entry so far (progress)
};

// The steps of one entry. Plan, Settle and the existence test run on the calling thread in
// entry order; Execute may run on several threads at once, each carrying the call's engine
// settings.
class Extraction {
 public:
  Extraction(kestrel_reader* reader, const kestrel_extract_options& options, std::string dest,
             std::string nativeDest);

  const kestrel_extract_options& options() const { return options_; }
  const std::string& archivePath() const { return reader_->archivePath; }

  // Where the entry goes. False when it is settled already (refused name; code and message
  // set); testing never writes, so then only the name is checked.
  bool Plan(const ReaderEntry& entry, EntryTask& task) const;
  // True when the entry would be written over an existing file (the overwrite policy decides).
  bool TargetExists(const ReaderEntry& entry, const EntryTask& task) const;
  // True when the overwrite policy replaces every existing file without asking.
  bool ReplacesExisting() const { return overwrite_ == KESTREL_OVERWRITE_ALWAYS; }
  // True when the overwrite policy keeps every existing file without asking.
  bool KeepsExisting() const {
    return overwrite_ != KESTREL_OVERWRITE_ALWAYS &&
           !(overwrite_ == KESTREL_OVERWRITE_ASK && options_.ask != nullptr);
  }
  // Applies the overwrite policy to an existing target (the ask callback is called here).
  // False when the file is kept (code and message set); outputPath may become a new name.
  bool Settle(const ReaderEntry& entry, EntryTask& task);
  // Runs the engine on the entry and sets the task's outcome.
  void Execute(const ReaderEntry& entry, EntryTask& task);
  // Moves the task's replacement over its target, in entry order; a failed move fails the
  // entry and leaves the old file as it was.
  void Replace(EntryTask& task);
  // Undoes what Execute did for an entry that ran ahead of a walk that ended before it: its
  // file (or its replacement, the old file staying) is removed, a directory entry's deferred
  // mode and time forgotten (the directories made on the way are the caller's to take back).
  void Undo(const ReaderEntry& entry, const EntryTask& task);
  // Gives the directories made their modes and times, once nothing more goes into them.
  void Finish() { unixSide_.Finish(); }

 private:
  bool Keep(EntryTask& task);

  kestrel_reader* reader_;
  const kestrel_extract_options& options_;
  std::string dest_;
  std::string nativeDest_;
  int overwrite_;
  UnixExtraction unixSide_;
};

// The outcomes in entry order: progress, the caller's entry callback, the counts, and how
// the call ends.
class Tally {
 public:
  Tally(kestrel_reader* reader, const kestrel_extract_options& options, ReaderCall& call)
      : reader_(reader), options_(options), call_(call) {}

  // Tells the caller of one entry's outcome; false when the walk ends with it (a damaged
  // archive or a cancel).
  bool Report(const ReaderEntry& entry, EntryTask& task);
  // The call's result, with the reader's message. matched: the selected entries.
  int Result(uint64_t matched);

 private:
  kestrel_reader* reader_;
  const kestrel_extract_options& options_;
  ReaderCall& call_;
  uint64_t failed_ = 0;
  int first_ = KESTREL_OK;
  std::string firstMessage_;
  std::string cancelledAt_;
  bool cancelled_ = false;
};

}  // namespace kestrel::exports

#endif
