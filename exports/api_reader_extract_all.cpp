// api_reader_extract_all.cpp — kestrel_reader_extract_all: the selected entries of an open
// reader into a directory (or tested), on one thread or several, each entry's outcome told
// to the caller in entry order.
#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "exports/api_reader_call.h"
#include "exports/directory_chain.h"
#include "exports/entry_extraction.h"
#include "exports/entry_pattern.h"
#include "exports/parallel_extraction.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"

#if !defined(_WIN32)

using namespace kestrel::exports;
namespace os = kestrel::os;
namespace reader_engine = kestrel::reader;

namespace {

bool AnyMatches(const char* const* patterns, size_t count, const std::string& name) {
  for (size_t i = 0; i < count; ++i) {
    if (patterns[i] != nullptr && PatternMatches(patterns[i], name)) return true;
  }
  return false;
}

bool Selected(const kestrel_extract_options& options, const std::string& name) {
  if (options.include_count > 0 && !AnyMatches(options.include, options.include_count, name)) {
    return false;
  }
  return !AnyMatches(options.exclude, options.exclude_count, name);
}

// The workers a call gets: the reader's setting, 0 meaning one per core.
unsigned Workers(const kestrel_reader* reader) {
  if (reader->threads != 0) return reader->threads;
  return std::max(1u, std::thread::hardware_concurrency());
}

// The selected entries, each with its outcome told in entry order; on one thread, or on
// several when the reader asks for them. The entries the walk came to before it ended (a
// damage or a cancel) count as matched.
int Run(kestrel_reader* reader, const std::string& dest, const std::string& nativeDest,
        const kestrel_extract_options& options) {
  std::vector<size_t> selected;
  uint64_t total = 0;
  for (size_t i = 0; i < reader->entries.size(); ++i) {
    const ReaderEntry& entry = reader->entries[i];
    if (!Selected(options, entry.name)) continue;
    selected.push_back(i);
    total += entry.uncompressedSize;
  }
  ReaderCall call(reader, total);
  os::NameLookupScope names;  // this call creates every file under dest itself
  Extraction extraction(reader, options, dest, nativeDest);
  Tally tally(reader, options, call);
  const auto skipped = [&](const ReaderEntry& entry) {
    return options.junk_paths && entry.IsDirectory() && !options.test_only;
  };
  uint64_t matched = 0;
  const unsigned workers = Workers(reader);
  // A call nested in a callback of another finds the engine busy and stays on one thread.
  if (workers > 1 && selected.size() > 1 && !reader_engine::State().busy) {
    const std::string* password = reader->password ? &*reader->password : nullptr;
    ParallelExtraction parallel(reader->entries, extraction, tally, call, password, dest.size(),
                                workers);
    for (size_t index : selected) {
      if (!skipped(reader->entries[index]) && !parallel.Add(index)) break;
    }
    parallel.Finish();
    for (size_t index : selected) {
      if (parallel.ended() && index > parallel.endedAt()) break;
      ++matched;
    }
    extraction.Finish();
    return tally.Result(matched);
  }
  for (size_t index : selected) {
    const ReaderEntry& entry = reader->entries[index];
    ++matched;
    if (skipped(entry)) continue;
    call.StartEntry(entry);
    EntryTask task;
    task.index = index;
    if (extraction.Plan(entry, task) &&
        (!extraction.TargetExists(entry, task) || extraction.Settle(entry, task))) {
      extraction.Execute(entry, task);
    }
    if (!tally.Report(entry, task)) break;
  }
  extraction.Finish();
  return tally.Result(matched);
}

}  // namespace

extern "C" int kestrel_reader_extract_all(kestrel_reader* reader, const char* dir,
                                          const kestrel_extract_options* options) {
  if (reader == nullptr) return KESTREL_E_INVALID;
  if (!reader->opened) return reader->Fail(KESTREL_E_INVALID, "the reader has no archive open");
  const kestrel_extract_options defaults{};
  const kestrel_extract_options& chosen = options != nullptr ? *options : defaults;
  const Utf8Names utf8;
  try {
    std::string dest;
    const std::string native = dir != nullptr && *dir != '\0' ? dir : ".";
    if (!chosen.test_only) {
      if (!os::host::DrivePath(native, dest)) {
        return reader->Fail(KESTREL_E_INVALID, native + ": a name has no form in the library's code page");
      }
      ForceDirectoryChain(dest);
      const uint32_t attributes = os::GetFileAttributes(dest);
      if (attributes == os::kInvalidAttributes || !(attributes & os::kAttrDirectory)) {
        return reader->Fail(KESTREL_E_IO, native + ": the destination directory cannot be created");
      }
    }
    return Run(reader, dest, native, chosen);
  } catch (const std::exception&) {
    return reader->Fail(KESTREL_E_NOMEM, "out of memory");
  }
}

#endif
