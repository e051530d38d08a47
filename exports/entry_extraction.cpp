// entry_extraction.cpp — the steps of one entry of kestrel_reader_extract_all (name checks,
// overwrite policy, the engine's run) and the in-order account of the outcomes.
#include "exports/entry_extraction.h"

#include <utility>

#include "exports/entry_path.h"
#include "exports/unpack_walk.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"
#include "support/os_error_text.h"

#if !defined(_WIN32)

namespace kestrel::exports {

namespace {

constexpr size_t kRenameBuffer = 4096;  // room for the ask callback's new path

// A write failure's message: the engine's text, then the path and the system's reason.
void AddWritePlace(EntryTask& task, uint32_t systemError) {
  task.message += ": " + task.nativePath;
  if (systemError != os::kErrorSuccess) {
    task.message += " (" + support::OsErrorText(systemError) + ")";
  }
}

std::string NativeOf(const std::string& drivePath) {
  std::string native;
  return os::host::HostPath(drivePath, native) ? native : drivePath;
}

}  // namespace

Extraction::Extraction(kestrel_reader* reader, const kestrel_extract_options& options,
                       std::string dest, std::string nativeDest)
    : reader_(reader), options_(options), dest_(std::move(dest)),
      nativeDest_(std::move(nativeDest)), overwrite_(options.overwrite),
      unixSide_(dest_, reader->keepSpecialModes, 0) {}

bool Extraction::Plan(const ReaderEntry& entry, EntryTask& task) const {
  if (entry.refusal != 0) {
    task.code = EntryCode(entry.refusal, task.message);
    return false;
  }
  if (options_.test_only) {
    if (IsSafeEntryName(entry.storedName)) return true;
    task.code = EntryCode(kEntryUnsafeName, task.message);
    return false;
  }
  if (entry.nameProblem != archive::NameProblem::None) {
    task.message = archive::NameProblemText(entry.nameProblem);
    task.code = KESTREL_E_UNSUPPORTED;
    return false;
  }
  task.name = entry.storedName;
  std::string shownName = entry.name;  // UTF-8, for the native path
  if (options_.junk_paths) {
    task.name = task.name.substr(task.name.rfind('\\') + 1);
    shownName = shownName.substr(shownName.rfind('/', shownName.size() - 2) + 1);
  }
  task.nativePath = nativeDest_ + (nativeDest_.back() == '/' ? "" : "/") + shownName;
  switch (OutputPathFor(dest_, task.name, task.outputPath)) {
    case EntryPath::Unsafe: task.code = EntryCode(kEntryUnsafeName, task.message); return false;
    case EntryPath::TooLong: task.code = EntryCode(kEntryPathTooLong, task.message); return false;
    case EntryPath::Ok: return true;
  }
  return true;
}

bool Extraction::TargetExists(const ReaderEntry& entry, const EntryTask& task) const {
  if (options_.test_only || entry.IsDirectory()) return false;
  // A file under another case of the name is another file: the entry goes beside it.
  const uint32_t existing = os::GetExactFileAttributes(task.outputPath);
  return existing != os::kInvalidAttributes && !(existing & os::kAttrDirectory);
}

bool Extraction::Settle(const ReaderEntry& entry, EntryTask& task) {
  int answer = overwrite_ == KESTREL_OVERWRITE_ALWAYS ? KESTREL_ANSWER_YES : KESTREL_ANSWER_NO;
  std::vector<char> renamed(kRenameBuffer, '\0');
  if (overwrite_ == KESTREL_OVERWRITE_ASK && options_.ask != nullptr) {
    answer = options_.ask(options_.ask_context, entry.name.c_str(), task.nativePath.c_str(),
                          renamed.data(), renamed.size());
  }
  switch (answer) {
    case KESTREL_ANSWER_ALL: overwrite_ = KESTREL_OVERWRITE_ALWAYS; [[fallthrough]];
    case KESTREL_ANSWER_YES: return true;
    case KESTREL_ANSWER_RENAME:
      renamed.back() = '\0';
      if (renamed[0] != '\0' && os::host::DrivePath(renamed.data(), task.outputPath)) {
        task.nativePath = NativeOf(task.outputPath);
        task.renamed = true;
        // A rename never replaces another file.
        if (os::GetFileAttributes(task.outputPath) == os::kInvalidAttributes) return true;
      }
      return Keep(task);
    case KESTREL_ANSWER_NONE: overwrite_ = KESTREL_OVERWRITE_NEVER; [[fallthrough]];
    default: return Keep(task);
  }
}

bool Extraction::Keep(EntryTask& task) {
  task.message = "exists, not replaced: " + task.nativePath;
  task.nativePath.clear();
  task.code = KESTREL_E_EXISTS;
  return false;
}

void Extraction::Execute(const ReaderEntry& entry, EntryTask& task) {
  const reader::DirectorySizes sizes = SizesOf(entry);
  const char* archive = reader_->archivePath.c_str();
  const int32_t offset = int32_t(entry.localHeaderOffset);
  if (options_.test_only) {
    const int result = reader::TestEntry(archive, entry.attributes, offset, 0, &sizes);
    task.stops = StopsWalk(result);
    task.code = EntryCode(result, task.message);
    return;
  }
  reader::UnzipState& engine = reader::State();
  engine.createdDirectories = &task.createdDirectories;
  const UnixEntry unixEntry = UnixEntryOf(entry, task.name);
  int result;
  if (!task.renamed) {
    // Modes, links, directories and times, never written through a link on the way.
    result = unixSide_.Extract(reader_->archivePath, unixEntry, task.outputPath, sizes);
  } else {
    // A path the ask callback chose: a file there, as extract_to_path writes it.
    const reader::UnixMetadata metadata =
        MetadataOf(unixEntry, KeptModeBits(reader_->keepSpecialModes));
    result = reader::ExtractEntry(archive, task.outputPath.c_str(), entry.attributes, offset,
                                  nullptr, 0, &sizes, &metadata);
  }
  const uint32_t systemError = os::LastError();
  engine.createdDirectories = nullptr;
  task.outputAttempted = engine.outputAttempted;
  task.stops = StopsWalk(result);
  task.code = EntryCode(result, task.message);
  if (result == reader::ExtractWriteError) AddWritePlace(task, systemError);
  if (task.code != KESTREL_OK) task.nativePath.clear();
}

void Extraction::Replace(EntryTask& task) {
  if (task.replacement.empty()) return;
  const std::string written = std::exchange(task.replacement, {});
  if (os::MoveFileReplace(written, task.outputPath)) return;
  const uint32_t systemError = os::LastError();
  os::SetFileAttributes(written, os::kAttrNormal);  // so that it can be removed
  os::DeleteFile(written);
  task.code = EntryCode(reader::ExtractWriteError, task.message);
  AddWritePlace(task, systemError);
  task.nativePath.clear();
}

void Extraction::Undo(const ReaderEntry& entry, const EntryTask& task) {
  if (task.code != KESTREL_OK) return;  // a failed entry left no file
  if (!task.replacement.empty()) {
    os::SetFileAttributes(task.replacement, os::kAttrNormal);
    os::DeleteFile(task.replacement);
  } else if (entry.IsDirectory()) {
    unixSide_.Forget(UnixEntryOf(entry, task.name));
  } else {
    os::SetFileAttributes(task.outputPath, os::kAttrNormal);  // a read-only one too
    os::DeleteFile(task.outputPath);
  }
}

bool Tally::Report(const ReaderEntry& entry, EntryTask& task) {
  if (task.code == KESTREL_OK && !call_.FinishEntry(entry)) task.code = KESTREL_E_CANCELLED;
  if (options_.entry_done != nullptr) {
    kestrel_entry shown;
    entry.Fill(task.index, shown);
    options_.entry_done(options_.entry_context, &shown, task.code, task.message.c_str(),
                        task.nativePath.c_str());
  }
  if (task.code == KESTREL_OK) return true;
  ++failed_;
  if (first_ == KESTREL_OK) {
    first_ = task.code;
    firstMessage_ = entry.name + ": " + task.message;
  }
  // A damaged archive or a cancel ends the walk, as it ends UnZipFile's.
  if (task.code == KESTREL_E_CANCELLED) {
    cancelled_ = true;
    cancelledAt_ = entry.name;
    return false;
  }
  return !task.stops;
}

int Tally::Result(uint64_t matched) {
  if (cancelled_) return reader_->Fail(KESTREL_E_CANCELLED, "cancelled at " + cancelledAt_);
  if (options_.include_count > 0 && matched == 0) {
    return reader_->Fail(KESTREL_E_NOT_FOUND, "no entry matches the names given");
  }
  const kestrel_directory_status& status = reader_->status;
  const std::string damage =
      status.damaged ? DamageText(status.entries_read, status.entries_declared) : "";
  if (first_ == KESTREL_OK) {
    return damage.empty() ? reader_->Succeed() : reader_->Fail(KESTREL_E_DAMAGED, damage);
  }
  return reader_->Fail(first_, std::to_string(failed_) + " of " + std::to_string(matched) +
                                   " entries failed; the first: " + firstMessage_ +
                                   (damage.empty() ? "" : "; " + damage));
}

}  // namespace kestrel::exports

#endif
