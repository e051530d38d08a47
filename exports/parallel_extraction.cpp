// parallel_extraction.cpp — the workers, the in-order report and the taking back of what ran
// past the end of the walk.
#include "exports/parallel_extraction.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

#include "exports/unix_mode.h"
#include "exports/unpack_walk.h"
#include "reader/extract_entry.h"
#include "reader/unzip_state.h"

#if !defined(_WIN32)

namespace kestrel::exports {

namespace {

// Entries taken ahead of the report, per worker: enough to keep every worker busy behind a
// large entry at the head, few enough that an early end has little to take back.
constexpr size_t kWindowPerWorker = 16;
// How often the calling thread tells the progress callback about entries still running.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

bool IsLink(const ReaderEntry& entry) { return FileType(entry.UnixMode()) == kTypeLink; }

// A name on the entry's path could meet the temporary file of a replacement waiting beside
// its target for its turn.
bool MeetsReplacements(const std::string& name) {
  for (size_t start = 0; start <= name.size();) {
    const size_t end = std::min(name.find('\\', start), name.size());
    if (reader::IsReplacementName(name.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

// path is dir or lies below it (drive paths, "\" separators).
bool Within(const std::string& path, const std::string& dir) {
  return path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '\\');
}

struct WorkerContext {
  std::atomic<bool>* cancel;
  EntryTask* task = nullptr;
};

}  // namespace

ParallelExtraction::ParallelExtraction(const std::vector<ReaderEntry>& entries,
                                       Extraction& extraction, Tally& tally, ReaderCall& call,
                                       const std::string* password, size_t destLength,
                                       unsigned threads)
    : entries_(entries), extraction_(extraction), tally_(tally), call_(call),
      password_(password), destLength_(destLength), window_(threads * kWindowPerWorker),
      names_(os::NameLookupScope::Current()) {
  workers_.reserve(threads);
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back(&ParallelExtraction::Work, this);
}

ParallelExtraction::~ParallelExtraction() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  cancel_ = true;  // only a way out by exception leaves work here
  workReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

bool ParallelExtraction::OnBytes(void* context, uint64_t entryBytes) {
  auto* worker = static_cast<WorkerContext*>(context);
  worker->task->bytesWritten = entryBytes;
  return worker->cancel->load();
}

void ParallelExtraction::Work() {
  // The calling thread's settings of this call, on this thread's engine.
  const Utf8Names utf8;
  const os::NameLookupScope names(names_);
  const reader::ArchiveHold hold(extraction_.archivePath());
  WorkerContext context{&cancel_};
  reader::SetPassword(password_);
  reader::SetProgressHook(&ParallelExtraction::OnBytes, &context);
  for (;;) {
    Pending* p;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      workReady_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) break;
      p = queue_.front();
      queue_.pop_front();
    }
    EntryTask& task = *p->task;
    context.task = &task;
    if (cancel_) {
      task.code = EntryCode(reader::ExtractCancelled, task.message);
      task.nativePath.clear();
    } else {
      reader::State().deferredReplacement = &task.replacement;  // moved when reported
      try {
        extraction_.Execute(entries_[task.index], task);
      } catch (const std::exception&) {
        task.code = KESTREL_E_NOMEM;
        task.message = "out of memory";
        task.nativePath.clear();
      }
      reader::State().deferredReplacement = nullptr;
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      p->done = true;
    }
    workDone_.notify_one();
  }
  reader::SetPassword(nullptr);
  reader::SetProgressHook(nullptr, nullptr);
}

void ParallelExtraction::Push(std::unique_ptr<Pending> p, bool run) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (run) {
      queue_.push_back(p.get());
    } else {
      p->done = true;
    }
    inOrder_.push_back(std::move(p));
  }
  if (run) workReady_.notify_one();
}

bool ParallelExtraction::Add(size_t index) {
  if (ended_) return false;
  const ReaderEntry& entry = entries_[index];
  auto p = std::make_unique<Pending>();
  p->task = std::make_unique<EntryTask>();
  EntryTask& task = *p->task;
  task.index = index;
  bool run = extraction_.Plan(entry, task);
  if (run && !extraction_.options().test_only) {
    p->claim = PathClaim::Of(task.outputPath, destLength_, entry.IsDirectory());
    WaitUntil([&] { return ended_ || !claims_.Conflicts(p->claim); });
    if (ended_) return false;
    const bool exists = extraction_.TargetExists(entry, task);
    if (exists && extraction_.KeepsExisting()) {
      run = extraction_.Settle(entry, task);  // kept: nothing is written
    } else if ((exists && !extraction_.ReplacesExisting()) || IsLink(entry) ||
               MeetsReplacements(task.name)) {
      // It may ask about a file, make a link that later entries could be written through, or
      // meet a replacement's temporary file: everything before it is done and reported
      // first, and it runs alone.
      WaitUntil([&] { return inOrder_.empty(); });
      if (ended_) return false;
      call_.StartEntry(entry);
      if (!exists || extraction_.Settle(entry, task)) extraction_.Execute(entry, task);
      Push(std::move(p), false);
      WaitUntil([&] { return inOrder_.empty(); });
      return !ended_;
    } else {
      claims_.Take(p->claim);
      p->claimed = true;
    }
  }
  Push(std::move(p), run);
  WaitUntil([&] { return inOrder_.size() < window_; });
  return !ended_;
}

void ParallelExtraction::Finish() {
  WaitUntil([&] { return inOrder_.empty(); });
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  workReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  TakeBack();
}

template <typename Done>
void ParallelExtraction::WaitUntil(Done done) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ReportHead(lock);
    if (done()) return;
    if (!call_.HasProgress()) {
      workDone_.wait(lock);
    } else if (workDone_.wait_for(lock, kProgressInterval) == std::cv_status::timeout) {
      lock.unlock();
      Progress();
      lock.lock();
    }
  }
}

void ParallelExtraction::ReleaseIfDone(Pending& p) {
  if (p.done && p.claimed) {
    claims_.Release(p.claim);
    p.claimed = false;
  }
}

void ParallelExtraction::ReportHead(std::unique_lock<std::mutex>& lock) {
  for (const auto& p : inOrder_) ReleaseIfDone(*p);
  while (!inOrder_.empty() && inOrder_.front()->done) {
    std::unique_ptr<Pending> p = std::move(inOrder_.front());
    inOrder_.pop_front();
    ReleaseIfDone(*p);  // it may have finished while the lock was let go below
    if (ended_) {
      pastEnd_.push_back(std::move(p));
      continue;
    }
    EntryTask& task = *p->task;
    lock.unlock();  // the caller's callbacks run without holding up the workers
    extraction_.Replace(task);  // its turn: the checked data goes over the old file
    // A cancel the progress callback asked for while entries ran here ends the walk at the
    // next entry reported, as it would at the end of an entry on one thread.
    if (callerCancelled_ && task.code == KESTREL_OK) task.code = KESTREL_E_CANCELLED;
    const bool goOn = tally_.Report(entries_[task.index], task);
    lock.lock();
    if (task.outputAttempted) attempted_.push_back(task.outputPath);
    if (!goOn) {
      ended_ = true;
      endedAt_ = task.index;
      cancel_ = true;
    }
  }
}

void ParallelExtraction::Progress() {
  uint64_t running = 0;
  size_t head = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (inOrder_.empty()) return;
    head = inOrder_.front()->task->index;
    for (const auto& p : inOrder_) running += p->task->bytesWritten;
  }
  // A nested call from the callback is refused, as it is while an entry is decoded (the
  // engine's busy mark counts as fresh only as long as it was just renewed).
  reader::UnzipState& engine = reader::State();
  engine.busy = true;
  engine.lastPumpTime = os::TickCount();
  const bool stop = call_.Progress(entries_[head], running);
  engine.busy = false;
  if (stop) {
    callerCancelled_ = true;
    cancel_ = true;
  }
}

void ParallelExtraction::TakeBack() {
  std::vector<std::string> directories;
  for (auto it = pastEnd_.rbegin(); it != pastEnd_.rend(); ++it) {
    const EntryTask& task = *(*it)->task;
    if (!task.outputAttempted) continue;
    extraction_.Undo(entries_[task.index], task);
    directories.insert(directories.end(), task.createdDirectories.begin(),
                       task.createdDirectories.end());
  }
  // Deepest first; a directory that a reported entry came to write into stays, as the
  // one-thread run would have made it for that entry.
  std::sort(directories.begin(), directories.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& dir : directories) {
    const bool needed = std::any_of(attempted_.begin(), attempted_.end(),
                                    [&dir](const std::string& path) { return Within(path, dir); });
    if (!needed) os::RemoveDirectory(dir);
  }
  pastEnd_.clear();
}

}  // namespace kestrel::exports

#endif
