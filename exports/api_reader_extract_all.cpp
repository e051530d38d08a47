// api_reader_extract_all.cpp — kestrel_reader_extract_all: the selected entries of an open
// reader into a directory (or tested), with the overwrite policy, junked paths and the
// engine's refusal of unsafe names, each entry's outcome told to the caller.
#include <exception>
#include <vector>

#include "exports/api_reader_call.h"
#include "exports/directory_chain.h"
#include "exports/entry_path.h"
#include "exports/entry_pattern.h"
#include "exports/unix_extraction.h"
#include "exports/unpack_walk.h"
#include "platform/platform.h"
#include "reader/unzip_state.h"
#include "support/os_error_text.h"

#if !defined(_WIN32)

using namespace kestrel::exports;
namespace os = kestrel::os;
namespace reader_engine = kestrel::reader;

namespace {

constexpr size_t kRenameBuffer = 4096;  // room for the ask callback's new path

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

std::string NativeOf(const std::string& drivePath) {
  std::string native;
  return os::host::HostPath(drivePath, native) ? native : drivePath;
}

// One extract_all call: the options, the destination and the state of the overwrite policy.
class Extraction {
 public:
  Extraction(kestrel_reader* reader, const kestrel_extract_options& options, std::string dest,
             std::string nativeDest)
      : reader_(reader), options_(options), dest_(std::move(dest)),
        nativeDest_(std::move(nativeDest)), overwrite_(options.overwrite),
        unixSide_(dest_, reader->keepSpecialModes, 0) {}

  // Gives the directories made their modes and times, once nothing more goes into them.
  void Finish() { unixSide_.Finish(); }

  // The entry's result code; message and nativePath describe it. stops: the archive is
  // damaged there (or the call was cancelled), so the walk ends.
  int Entry(const ReaderEntry& entry, std::string& message, std::string& nativePath,
            bool& stops) {
    if (entry.refusal != 0) return EntryCode(entry.refusal, message);
    const reader_engine::DirectorySizes sizes = SizesOf(entry);
    if (options_.test_only) {
      const int result = IsSafeEntryName(entry.storedName)
                             ? reader_engine::TestEntry(reader_->archivePath.c_str(), entry.attributes,
                                                        int32_t(entry.localHeaderOffset), 0, &sizes)
                             : kEntryUnsafeName;
      stops = StopsWalk(result);
      return EntryCode(result, message);
    }
    if (entry.nameProblem != kestrel::archive::NameProblem::None) {
      message = kestrel::archive::NameProblemText(entry.nameProblem);
      return KESTREL_E_UNSUPPORTED;
    }
    std::string name = entry.storedName;
    std::string shownName = entry.name;  // UTF-8, for the native path
    if (options_.junk_paths) {
      name = name.substr(name.rfind('\\') + 1);
      shownName = shownName.substr(shownName.rfind('/', shownName.size() - 2) + 1);
    }
    nativePath = nativeDest_ + (nativeDest_.back() == '/' ? "" : "/") + shownName;
    std::string outputPath;
    switch (OutputPathFor(dest_, name, outputPath)) {
      case EntryPath::Unsafe: return EntryCode(kEntryUnsafeName, message);
      case EntryPath::TooLong: return EntryCode(kEntryPathTooLong, message);
      case EntryPath::Ok: break;
    }
    const std::string planned = outputPath;
    const uint32_t existing = os::GetFileAttributes(outputPath);
    if (existing != os::kInvalidAttributes && !(existing & os::kAttrDirectory) &&
        !entry.IsDirectory()) {
      const int decided = Decide(entry, outputPath, nativePath, message);
      if (decided != KESTREL_OK) return decided;
    }
    const UnixEntry unixEntry = UnixEntryOf(entry, name);
    int result = 0;
    if (outputPath == planned) {
      // Modes, links, directories and times, never written through a link on the way.
      result = unixSide_.Extract(reader_->archivePath, unixEntry, outputPath, sizes);
    } else {
      // A path the ask callback chose: a file there, as extract_to_path writes it.
      const reader_engine::UnixMetadata metadata =
          MetadataOf(unixEntry, KeptModeBits(reader_->keepSpecialModes));
      result = reader_engine::ExtractEntry(reader_->archivePath.c_str(), outputPath.c_str(),
                                           entry.attributes, int32_t(entry.localHeaderOffset),
                                           nullptr, 0, &sizes, &metadata);
    }
    const uint32_t systemError = os::LastError();
    stops = StopsWalk(result);
    const int code = EntryCode(result, message);
    if (result == reader_engine::ExtractWriteError) {
      message += ": " + nativePath;
      if (systemError != os::kErrorSuccess)
        message += " (" + kestrel::support::OsErrorText(systemError) + ")";
    }
    if (code != KESTREL_OK) nativePath.clear();
    return code;
  }

 private:
  // An existing file: KESTREL_OK to write (outputPath may have become a new name), or
  // KESTREL_E_EXISTS to keep it.
  int Decide(const ReaderEntry& entry, std::string& outputPath, std::string& nativePath,
             std::string& message) {
    int answer = overwrite_ == KESTREL_OVERWRITE_ALWAYS ? KESTREL_ANSWER_YES : KESTREL_ANSWER_NO;
    std::vector<char> renamed(kRenameBuffer, '\0');
    if (overwrite_ == KESTREL_OVERWRITE_ASK && options_.ask != nullptr) {
      answer = options_.ask(options_.ask_context, entry.name.c_str(), nativePath.c_str(),
                            renamed.data(), renamed.size());
    }
    switch (answer) {
      case KESTREL_ANSWER_ALL: overwrite_ = KESTREL_OVERWRITE_ALWAYS; [[fallthrough]];
      case KESTREL_ANSWER_YES: return KESTREL_OK;
      case KESTREL_ANSWER_RENAME:
        renamed.back() = '\0';
        if (renamed[0] != '\0' && os::host::DrivePath(renamed.data(), outputPath)) {
          nativePath = NativeOf(outputPath);
          if (os::GetFileAttributes(outputPath) == os::kInvalidAttributes) return KESTREL_OK;
          return Keep(nativePath, message);  // a rename never replaces another file
        }
        return Keep(nativePath, message);
      case KESTREL_ANSWER_NONE: overwrite_ = KESTREL_OVERWRITE_NEVER; [[fallthrough]];
      default: return Keep(nativePath, message);
    }
  }

  int Keep(std::string& nativePath, std::string& message) {
    message = "exists, not replaced: " + nativePath;
    nativePath.clear();
    return KESTREL_E_EXISTS;
  }

  kestrel_reader* reader_;
  const kestrel_extract_options& options_;
  std::string dest_;
  std::string nativeDest_;
  int overwrite_;
  UnixExtraction unixSide_;
};

int Run(kestrel_reader* reader, const std::string& dest, const std::string& nativeDest,
        const kestrel_extract_options& options) {
  uint64_t total = 0;
  for (const ReaderEntry& entry : reader->entries) {
    if (Selected(options, entry.name)) total += entry.uncompressedSize;
  }
  ReaderCall call(reader, total);
  os::NameLookupScope names;  // this call creates every file under dest itself
  Extraction extraction(reader, options, dest, nativeDest);
  uint64_t matched = 0, failed = 0;
  int first = KESTREL_OK;
  std::string firstMessage;
  for (size_t i = 0; i < reader->entries.size(); ++i) {
    const ReaderEntry& entry = reader->entries[i];
    if (!Selected(options, entry.name)) continue;
    ++matched;
    if (options.junk_paths && entry.IsDirectory() && !options.test_only) continue;
    call.StartEntry(entry);
    std::string message, nativePath;
    bool stops = false;
    int code = extraction.Entry(entry, message, nativePath, stops);
    if (code == KESTREL_OK && !call.FinishEntry(entry)) code = KESTREL_E_CANCELLED;
    if (options.entry_done != nullptr) {
      kestrel_entry shown;
      entry.Fill(i, shown);
      options.entry_done(options.entry_context, &shown, code, message.c_str(), nativePath.c_str());
    }
    if (code == KESTREL_OK) continue;
    ++failed;
    if (first == KESTREL_OK) {
      first = code;
      firstMessage = entry.name + ": " + message;
    }
    // A damaged archive or a cancel ends the walk, as it ends UnZipFile's.
    if (code == KESTREL_E_CANCELLED) {
      extraction.Finish();
      return reader->Fail(code, "cancelled at " + entry.name);
    }
    if (stops) break;
  }
  extraction.Finish();
  if (options.include_count > 0 && matched == 0) {
    return reader->Fail(KESTREL_E_NOT_FOUND, "no entry matches the names given");
  }
  const std::string damage =
      reader->status.damaged ? DamageText(reader->status.entries_read, reader->status.entries_declared) : "";
  if (first == KESTREL_OK) return damage.empty() ? reader->Succeed() : reader->Fail(KESTREL_E_DAMAGED, damage);
  return reader->Fail(first, std::to_string(failed) + " of " + std::to_string(matched) +
                                 " entries failed; the first: " + firstMessage +
                                 (damage.empty() ? "" : "; " + damage));
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
