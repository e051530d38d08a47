// parallel_extraction.h — kestrel_reader_extract_all on worker threads with the outcome of the
// one-thread run: entries are decoded and written by workers, while the calling thread plans
// them, asks the overwrite question and reports them in entry order.
//
// Entries run ahead of the report only where their order cannot matter: an entry waits for
// the ones in flight whose paths meet its own (path_claims.h); one that asks about an existing
// file, or is a link, waits for everything before it and runs alone. A replacement of an
// existing file is written beside it and moved over it only when reported. When the walk
// ends early (a damaged entry, a cancel), whatever ran ahead of that point is taken back:
// its files and the directories made for it are removed, so the tree is the one-thread tree.
#pragma once

#if !defined(_WIN32)

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exports/entry_extraction.h"
#include "exports/path_claims.h"
#include "platform/platform.h"

namespace kestrel::exports {

class ParallelExtraction {
 public:
  // threads: the number of workers (at least 2 to be worth it). destLength: the length of the
  // destination's drive path, under which every entry is written.
  ParallelExtraction(const std::vector<ReaderEntry>& entries, Extraction& extraction,
                     Tally& tally, ReaderCall& call, const std::string* password,
                     size_t destLength, unsigned threads);
  // Waits for the workers (Finish must have been called on the normal way out).
  ~ParallelExtraction();
  ParallelExtraction(const ParallelExtraction&) = delete;
  ParallelExtraction& operator=(const ParallelExtraction&) = delete;

  // Takes the next selected entry (in entry order); false once the walk has ended.
  bool Add(size_t index);
  // Waits for every entry taken, reports them, and takes back what ran past the end.
  void Finish();
  // The entry the walk ended at, when it ended early.
  bool ended() const { return ended_; }
  size_t endedAt() const { return endedAt_; }

 private:
  struct Pending {
    std::unique_ptr<EntryTask> task;
    PathClaim claim;
    bool claimed = false;  // holds its claim until done
    bool done = false;     // guarded by mutex_
  };

  void Work();
  static bool OnBytes(void* context, uint64_t entryBytes);
  // Dispatches p to the workers (run) or queues it as settled.
  void Push(std::unique_ptr<Pending> p, bool run);
  // Reports settled entries at the head, releasing the claims of finished ones; then waits
  // (telling progress) until done() holds.
  template <typename Done>
  void WaitUntil(Done done);
  void ReportHead(std::unique_lock<std::mutex>& lock);
  // Lets the entries that p held back go, once p is done (under mutex_).
  void ReleaseIfDone(Pending& p);
  void Progress();
  void TakeBack();

  const std::vector<ReaderEntry>& entries_;
  Extraction& extraction_;
  Tally& tally_;
  ReaderCall& call_;
  const std::string* password_;
  size_t destLength_;
  size_t window_;  // entries in flight or waiting for their report, at most
  os::NameLookupScope::Shared names_;

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable workDone_;
  std::deque<std::unique_ptr<Pending>> inOrder_;  // taken, not yet reported
  std::deque<Pending*> queue_;                    // waiting for a worker
  bool closing_ = false;
  std::atomic<bool> cancel_{false};  // the walk ended or the caller cancelled: stop at once
  bool callerCancelled_ = false;     // the progress callback asked to stop

  PathClaims claims_;  // the calling thread's only
  bool ended_ = false;
  size_t endedAt_ = 0;
  std::vector<std::unique_ptr<Pending>> pastEnd_;  // ran ahead of the end of the walk
  std::vector<std::string> attempted_;  // reported entries that came to write their path
  std::vector<std::thread> workers_;
};

}  // namespace kestrel::exports

#endif
