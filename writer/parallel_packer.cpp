// parallel_packer.cpp — the worker threads of ParallelPacker: which file each takes next, how
// far ahead of the writer they may run, and packing one file into its SpoolBuffer.
#include "writer/parallel_packer.h"

#include <chrono>

#include "archive/crc32.h"
#include "archive/stream_io.h"
#include "classlib/file_stream.h"
#include "classlib/file_utils.h"
#include "writer/deflate.h"

namespace kestrel::writer {

namespace {

// How many files the workers may have packed or begun beyond the one the writer waits for:
// enough to keep them busy on a tree of tiny files, few enough that little work is lost when
// the run stops.
constexpr size_t kFilesAheadPerThread = 64;
// Stored files are read in blocks of this size (as the one-thread run copies them).
constexpr uint32_t kStoredBlock = 32768;
// How often waiting threads look again: the writer reports progress and checks for cancel,
// the workers check whether memory was freed.
constexpr auto kTick = std::chrono::milliseconds(50);

// Thrown inside a worker to give a file up (the run stops, or the writer skipped the file).
struct GiveUp {};

class FileSource : public DeflateSource {
 public:
  FileSource(classlib::Stream& input, PackedFile& file, const std::atomic<bool>& stop)
      : input_(input), file_(file), stop_(stop) {}
  uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
    if (stop_.load() || file_.abandoned.load()) throw GiveUp();
    const uint32_t count = archive::ReadUpTo(input_, buffer, size);
    crc_ = archive::Crc32Fold(crc_, buffer, count);
    file_.bytesRead.fetch_add(count);
    return count;
  }
  uint32_t Crc() const { return ~crc_; }

 private:
  classlib::Stream& input_;
  PackedFile& file_;
  const std::atomic<bool>& stop_;
  uint32_t crc_ = 0xFFFFFFFFu;
};

class SpoolSink : public DeflateSink {
 public:
  explicit SpoolSink(SpoolBuffer& data) : data_(data) {}
  void WriteOutput(uint8_t* buffer, uint32_t size) override { data_.Append(buffer, size); }

 private:
  SpoolBuffer& data_;
};

}  // namespace

ParallelPacker::ParallelPacker(int threads, int level, const std::vector<Item>& plan,
                               const std::string& spillDirectory)
    : level_(level),
      threads_(threads),
      ansiCodePage_(os::AnsiCodePage()),
      oemCodePage_(os::OemCodePage()),
      callFloppy_(os::host::CallScope::Current()),
      budget_(std::make_shared<MemoryBudget>(kMemoryPerThread * static_cast<uint64_t>(threads))) {
  plan_.reserve(plan.size());
  for (const Item& item : plan) {
    places_.emplace(item.name, plan_.size());
    plan_.push_back(std::make_shared<PackedFile>(item.name, item.store, budget_, spillDirectory));
  }
  try {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

ParallelPacker::~ParallelPacker() { Stop(); }

void ParallelPacker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    stop_.store(true);
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

std::shared_ptr<PackedFile> ParallelPacker::Claim(const std::string& name) {
  std::shared_ptr<PackedFile> file;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t place = plan_.size();
    const auto [first, last] = places_.equal_range(name);
    for (auto it = first; it != last; ++it) {
      if (it->second >= claimed_ && it->second < place) place = it->second;
    }
    if (place == plan_.size()) return nullptr;
    // The files passed by are dropped by the workers that have them, or skipped.
    for (; claimed_ < place; ++claimed_) {
      if (plan_[claimed_]) plan_[claimed_]->abandoned = true;
      if (claimed_ < nextToStart_) plan_[claimed_].reset();
    }
    file = plan_[claimed_];
    // The plan lets go of a file once both the writer and a worker have it, so its memory
    // returns to the budget as soon as the writer is done with it.
    if (claimed_ < nextToStart_) plan_[claimed_].reset();
    ++claimed_;
  }
  changed_.notify_all();
  return file;
}

bool ParallelPacker::WaitOpened(PackedFile& file) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] {
    return file.state_ == PackedFile::State::Opened || file.state_ == PackedFile::State::Done ||
           file.state_ == PackedFile::State::Failed;
  });
  return file.state_ != PackedFile::State::Failed;
}

bool ParallelPacker::WaitDone(PackedFile& file, const std::function<void()>& tick) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const auto finished = [&] {
      return file.state_ == PackedFile::State::Done || file.state_ == PackedFile::State::Failed;
    };
    if (changed_.wait_for(lock, kTick, finished)) break;
    lock.unlock();
    tick();
    lock.lock();
  }
  return file.state_ == PackedFile::State::Done;
}

// The file the writer waits for (or will ask for next) always starts; files further ahead
// start while few enough are in flight and memory is left for them.
bool ParallelPacker::MayStart() const {
  if (nextToStart_ >= plan_.size()) return false;
  if (nextToStart_ <= claimed_) return true;
  return nextToStart_ - claimed_ < kFilesAheadPerThread * static_cast<size_t>(threads_) &&
         budget_->InUse() < budget_->Cap() / 2;
}

void ParallelPacker::Work() {
  // Names are converted as the thread that started the run converts them.
  const os::CodePageScope pages(ansiCodePage_, oemCodePage_);
  // ... and map drive paths through the same drive table (the interface's call has its own).
  std::optional<os::host::CallScope> drives;
  if (callFloppy_) drives.emplace(*callFloppy_);
  std::unique_ptr<Deflater> deflater;
  for (;;) {
    PackedFile* file = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!stopping_ && nextToStart_ < plan_.size() && !MayStart())
        changed_.wait_for(lock, kTick);
      if (stopping_ || nextToStart_ >= plan_.size()) return;
      std::shared_ptr<PackedFile> held = plan_[nextToStart_];
      if (nextToStart_ < claimed_) plan_[nextToStart_].reset();
      ++nextToStart_;
      lock.unlock();
      file = held.get();
      try {
        if (!file->store && !deflater) deflater = std::make_unique<Deflater>();
        Pack(*file, deflater.get());
        SetState(*file, PackedFile::State::Done);
      } catch (...) {
        SetState(*file, PackedFile::State::Failed);
      }
    }
  }
}

void ParallelPacker::Pack(PackedFile& file, Deflater* deflater) {
  if (file.abandoned.load()) throw GiveUp();
  file.attributes = classlib::FileGetAttr(file.name);
  if (file.attributes == os::kInvalidAttributes || (file.attributes & os::kAttrDirectory) != 0)
    throw GiveUp();
  classlib::FileStream input(file.name, classlib::fmOpenRead | classlib::fmShareDenyNone);
  file.dosDate = classlib::FileGetDate(input.Handle());
  const int64_t size = input.Size();
  if (size < 0) throw GiveUp();
  file.size = static_cast<uint64_t>(size);
  SetState(file, PackedFile::State::Opened);

  FileSource source(input, file, stop_);
  SpoolSink sink(file.data);
  if (file.store) {
    std::vector<uint8_t> block(kStoredBlock);
    for (uint32_t n; (n = source.ReadInput(block.data(), kStoredBlock)) != 0;)
      sink.WriteOutput(block.data(), n);
    file.result.method = 0;
    file.result.internalAttributes = 0;
    file.result.compressedSize = file.bytesRead.load();
    file.result.uncompressedSize = file.bytesRead.load();
  } else {
    file.result = deflater->deflate(level_, source, sink);
  }
  // What was read is no snapshot of the file: the writer reads it again and reports it.
  if (file.bytesRead.load() != file.size) throw GiveUp();
  file.crc = source.Crc();
}

void ParallelPacker::SetState(PackedFile& file, PackedFile::State state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    file.state_ = state;
  }
  changed_.notify_all();
}

}  // namespace kestrel::writer
