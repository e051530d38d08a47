// parallel_packer.h — files of a zip run read and compressed on worker threads ahead of the
// archive's writer, which takes them in the order it writes its entries.
//
// Workers only produce: the facts of the opened file (attributes, date, size), its CRC-32 and
// its compressed data in a SpoolBuffer. Everything the archive shows — headers, events,
// encryption, the order of entries — stays with the caller's thread, which writes each file's
// data exactly where the one-thread run would have, so the archive is the same byte for byte.
// A file the worker could not pack (missing, unreadable, changed while read, any failure) is
// handed back as failed, and the caller packs it itself, with the one-thread run's reports.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/call_scope.h"
#include "writer/deflate_io.h"
#include "writer/spool_buffer.h"

namespace kestrel::writer {

class Deflater;

// One file packed by a worker. The caller reads the fields once the packer's waits say so.
struct PackedFile {
  PackedFile(std::string fileName, bool storeIt, std::shared_ptr<MemoryBudget> budget,
             std::string spillDirectory)
      : name(std::move(fileName)), store(storeIt), data(std::move(budget), std::move(spillDirectory)) {}

  const std::string name;
  const bool store;  // copied unchanged (level 0, or a no-compression mask)
  // Ready once opened: the file's DOS attributes, its last-write time in local DOS form
  // (0xFFFFFFFF when unknown) and its size at opening.
  uint32_t attributes = 0;
  uint32_t dosDate = 0;
  uint64_t size = 0;
  // Ready once done.
  uint32_t crc = 0;  // the CRC-32 of the data read (inverted, as stored)
  DeflateResult result;
  SpoolBuffer data;
  // Bytes read so far, for the caller's progress reports while it waits.
  std::atomic<uint64_t> bytesRead{0};
  // Set when the caller no longer wants the data (a skipped file): the worker drops it.
  std::atomic<bool> abandoned{false};

 private:
  friend class ParallelPacker;
  enum class State { Queued, Opened, Done, Failed };
  State state_ = State::Queued;  // guarded by the packer's mutex
};

class ParallelPacker {
 public:
  struct Item {
    std::string name;  // drive path of a file
    bool store = false;
  };
  // Compressed data that files packed ahead may hold in memory, per worker thread.
  static constexpr uint64_t kMemoryPerThread = 8u << 20;

  // Starts `threads` workers on the plan, in its order, at pack level `level` (1-9). Spill
  // files go to spillDirectory (a drive path ending in "\"). Workers convert names with the
  // calling thread's code pages and drive table.
  ParallelPacker(int threads, int level, const std::vector<Item>& plan,
                 const std::string& spillDirectory);
  // Stops the workers (abandoning what they do) and waits for them.
  ~ParallelPacker();
  ParallelPacker(const ParallelPacker&) = delete;
  ParallelPacker& operator=(const ParallelPacker&) = delete;

  // The file called name when it is still ahead in the plan; null otherwise (pack it yourself).
  // Files of the plan before it are given up: the writer passed them by.
  std::shared_ptr<PackedFile> Claim(const std::string& name);
  // Waits until the file is open; false when the worker failed to open it.
  bool WaitOpened(PackedFile& file);
  // Waits until the file is packed, calling tick about every 50 ms meanwhile (tick may throw
  // to give up waiting). False when the worker failed.
  bool WaitDone(PackedFile& file, const std::function<void()>& tick);

 private:
  void Stop();
  void Work();
  bool MayStart() const;
  // Packs the file (deflater is null for a stored file); raises on any failure.
  void Pack(PackedFile& file, Deflater* deflater);
  void SetState(PackedFile& file, PackedFile::State state);

  const int level_;
  const int threads_;
  const int ansiCodePage_;
  const int oemCodePage_;
  const std::optional<os::host::CallFloppy> callFloppy_;  // the starting thread's call scope
  std::shared_ptr<MemoryBudget> budget_;
  std::vector<std::shared_ptr<PackedFile>> plan_;
  // Where each name stands in the plan (a name given twice stands twice, in order).
  std::unordered_multimap<std::string, size_t> places_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t nextToStart_ = 0;  // guarded by mutex_
  size_t claimed_ = 0;      // guarded by mutex_
  bool stopping_ = false;   // guarded by mutex_
  std::atomic<bool> stop_{false};
  std::vector<std::thread> workers_;
};

}  // namespace kestrel::writer
