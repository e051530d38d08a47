// api_writer.cpp — the writing calls of the entry-level interface that collect a commit's
// work: opening and closing a writer, its settings, additions and deletions, and what the last
// commit reported. The commit itself is in api_writer_commit.cpp.
// The entry-level interface exists on Linux hosts only.
#if !defined(_WIN32)

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "exports/api_writer_handle.h"
#include "platform/call_scope.h"
#include "platform/platform.h"


namespace kestrel::exports {

namespace fs = std::filesystem;

namespace {

// More workers than this gain nothing on any machine and only hold memory.
constexpr int kMaxWriterThreads = 256;

// The writers that are open, so a call on a closed handle is refused instead of touching
// freed memory. It holds addresses only; no call's behaviour depends on another handle.
std::mutex registryMutex;
std::set<const kestrel_writer*>& Registry() {
  static std::set<const kestrel_writer*> live;
  return live;
}

bool Live(const kestrel_writer* writer) {
  if (writer == nullptr) return false;
  std::lock_guard<std::mutex> lock(registryMutex);
  return Registry().count(writer) != 0;
}

// The message of a failed open (or of a call on a handle that is not open), per thread.
thread_local std::string openFailure;

int NoHandle(const kestrel_writer* writer) {
  openFailure = writer == nullptr ? "null writer handle" : "the writer is closed or not a writer";
  return KESTREL_E_INVALID;
}

// Every call that takes names or paths, or converts them, runs with UTF-8 as the library's
// ANSI code page: the names it hands on are the caller's UTF-8 whatever the process-wide
// pages are, and no other thread's calls see the change. Its native paths map through a drive
// table of the call's own (C: is "/"), whatever drives a host maps or remaps meanwhile, and
// the host's cancel request does not reach it.
struct Utf8Names : os::CodePageScope {
  Utf8Names() : os::CodePageScope(os::kUtf8CodePage, os::kUtf8CodePage) {}
  os::host::CallScope call;
};

// Entry names and patterns: UTF-8 with '/' separators, in the ANSI code page.
int AnsiText(kestrel_writer* writer, const char* text, const char* what, std::string& ansi) {
  if (!os::host::HostTextToAnsi(text, ansi))
    return WriterFailure(writer, KESTREL_E_INVALID,
                         std::string(what) + " '" + text + "' has no form in the code page");
  return KESTREL_OK;
}

// A name data is stored under: relative, no "..", no empty component but a final '/'.
bool SafeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos ||
      name.find(':') != std::string::npos)
    return false;
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

std::vector<std::string> Patterns(const char* const* list) {
  std::vector<std::string> out;
  for (; list != nullptr && *list != nullptr; ++list) out.emplace_back(*list);
  return out;
}

// Adds an item to the last group when its options match, else to a new group.
void AddItem(kestrel_writer& writer, AddGroup group, std::string item) {
  if (writer.groups.empty() || !writer.groups.back().SameOptions(group))
    writer.groups.push_back(std::move(group));
  auto& items = writer.groups.back().items;
  if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(std::move(item));
}

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

int AddStaged(kestrel_writer* writer, const char* name, kestrel_read_fn read, void* context) {
  if (!Live(writer)) return NoHandle(writer);
  if (name == nullptr || read == nullptr)
    return WriterFailure(writer, KESTREL_E_INVALID, "null name or data");
  if (!SafeEntryName(name))
    return WriterFailure(writer, KESTREL_E_UNSAFE,
                         std::string("unsafe entry name '") + name +
                             "': absolute, with '..', '\\\\' or an empty component");
  std::string ansi;
  if (const int r = AnsiText(writer, name, "the entry name", ansi); r != KESTREL_OK) return r;
  if (!writer->staging) {
    std::string error;
    auto staging = std::make_unique<Staging>(error);
    if (staging->directory().empty()) return WriterFailure(writer, KESTREL_E_IO, error);
    writer->staging = std::move(staging);
  }
  std::string hostPath, drive, error;
  bool newName = true;
  const int result = writer->staging->Put(name, read, context, hostPath, newName, error);
  const bool named = !hostPath.empty() && os::host::DrivePath(hostPath, drive);
  if (named && ansi.back() == '/') drive = WithBackslash(drive);
  if (result != KESTREL_OK) {
    // A name staged by an earlier call lost its data with this failure: it is added no more.
    if (!newName && named) {
      for (AddGroup& g : writer->groups) std::erase(g.items, drive);
    }
    return WriterFailure(writer, result, error);
  }
  if (!named)
    return WriterFailure(writer, KESTREL_E_INVALID, std::string("cannot stage '") + name + "'");
  if (newName) {
    AddGroup group;
    os::host::DrivePath(writer->staging->directory(), group.rootDir);
    group.rootDir = WithBackslash(group.rootDir);
    group.replaceAlways = true;
    AddItem(*writer, std::move(group), drive);
  }
  writer->error.clear();
  return KESTREL_OK;
}

struct MemoryReader {
  const char* data;
  size_t left;
};

int64_t ReadMemory(void* context, void* buffer, size_t size) {
  auto* memory = static_cast<MemoryReader*>(context);
  const size_t n = std::min(size, memory->left);
  if (n != 0) std::memcpy(buffer, memory->data, n);
  memory->data += n;
  memory->left -= n;
  return static_cast<int64_t>(n);
}

}  // namespace

int WriterFailure(kestrel_writer* writer, int code, std::string message) {
  if (writer != nullptr) writer->error = std::move(message);
  return code;
}

void ResetPlan(kestrel_writer& writer) {
  writer.groups.clear();
  writer.deletions.clear();
  writer.entryComments.clear();
  writer.commentSet = false;
  writer.addRequested = false;
  writer.staging.reset();
}

}  // namespace kestrel::exports

using namespace kestrel;
using namespace kestrel::exports;

extern "C" int kestrel_writer_open(const char* path, int mode, kestrel_writer** writer) {
  const Utf8Names names;
  if (writer != nullptr) *writer = nullptr;
  if (path == nullptr || writer == nullptr || *path == '\0') {
    openFailure = "null or empty path, or no place for the handle";
    return KESTREL_E_INVALID;
  }
  if (mode < KESTREL_WRITE_CREATE || mode > KESTREL_WRITE_OVERWRITE) {
    openFailure = "unknown write mode " + std::to_string(mode);
    return KESTREL_E_INVALID;
  }
  std::error_code ec;
  const fs::path native = fs::absolute(path, ec);
  const fs::path parent = native.parent_path();
  if (ec || !fs::is_directory(parent, ec)) {
    openFailure = std::string(path) + ": the directory " + parent.string() + " does not exist";
    return KESTREL_E_NOT_FOUND;
  }
  const bool exists = fs::exists(native, ec);
  if (exists && fs::is_directory(native, ec)) {
    openFailure = std::string(path) + ": is a directory";
    return KESTREL_E_EXISTS;
  }
  if (exists && mode == KESTREL_WRITE_CREATE) {
    openFailure = std::string(path) + ": the archive exists";
    return KESTREL_E_EXISTS;
  }
  auto handle = std::make_unique<kestrel_writer>();
  handle->path = native.string();
  handle->mode = mode;
  if (!os::host::DrivePath(handle->path, handle->drivePath)) {
    openFailure = std::string(path) + ": a name has no form in the library's code page";
    return KESTREL_E_INVALID;
  }
  if (exists && mode == KESTREL_WRITE_UPDATE && !isZip(handle->drivePath.c_str())) {
    openFailure = std::string(path) + ": not a zip archive";
    return KESTREL_E_NOT_ZIP;
  }
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    Registry().insert(handle.get());
  }
  openFailure.clear();
  *writer = handle.release();
  return KESTREL_OK;
}

extern "C" void kestrel_writer_close(kestrel_writer* writer) {
  {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (writer == nullptr || Registry().erase(writer) == 0) return;
  }
  delete writer;
}

extern "C" const char* kestrel_writer_error(const kestrel_writer* writer) {
  return Live(writer) ? writer->error.c_str() : openFailure.c_str();
}

extern "C" int kestrel_writer_set_level(kestrel_writer* writer, int level) {
  if (!Live(writer)) return NoHandle(writer);
  if (level < 0 || level > 9)
    return WriterFailure(writer, KESTREL_E_INVALID,
                         "level " + std::to_string(level) + " is not 0-9");
  writer->level = level;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_threads(kestrel_writer* writer, int threads) {
  if (!Live(writer)) return NoHandle(writer);
  if (threads < 0 || threads > kMaxWriterThreads)
    return WriterFailure(writer, KESTREL_E_INVALID,
                         std::to_string(threads) + " threads: give 0 to " +
                             std::to_string(kMaxWriterThreads));
  if (threads == 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  writer->threads = threads;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_password(kestrel_writer* writer, const char* password) {
  if (!Live(writer)) return NoHandle(writer);
  writer->password = password != nullptr ? password : "";
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_code_page(kestrel_writer* writer, int codePage) {
  if (!Live(writer)) return NoHandle(writer);
  if (codePage != 0 && !os::IsCodePageSupported(codePage))
    return WriterFailure(writer, KESTREL_E_UNSUPPORTED,
                         "code page " + std::to_string(codePage) + " cannot be converted");
  writer->nameCodePage = codePage == os::kUtf8CodePage ? 0 : codePage;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_symlinks(kestrel_writer* writer, int store) {
  if (!Live(writer)) return NoHandle(writer);
  writer->storeSymlinks = store != 0;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_comment(kestrel_writer* writer, const char* comment) {
  const Utf8Names names;
  if (!Live(writer)) return NoHandle(writer);
  if (comment == nullptr) return WriterFailure(writer, KESTREL_E_INVALID, "null comment");
  std::string ansi;
  if (const int r = AnsiText(writer, comment, "the comment", ansi); r != KESTREL_OK) return r;
  if (ansi.size() > 0xFFFF)
    return WriterFailure(writer, KESTREL_E_LIMIT, "the comment is longer than 65,535 bytes");
  writer->comment = std::move(ansi);
  writer->commentSet = true;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_entry_comment(kestrel_writer* writer, const char* name,
                                                const char* comment) {
  const Utf8Names names;
  if (!Live(writer)) return NoHandle(writer);
  if (name == nullptr || comment == nullptr)
    return WriterFailure(writer, KESTREL_E_INVALID, "null name or comment");
  std::string ansiName, ansiComment;
  if (const int r = AnsiText(writer, name, "the entry name", ansiName); r != KESTREL_OK) return r;
  if (const int r = AnsiText(writer, comment, "the comment", ansiComment); r != KESTREL_OK)
    return r;
  if (ansiComment.size() > 0xFFFF)
    return WriterFailure(writer, KESTREL_E_LIMIT, "the comment is longer than 65,535 bytes");
  writer->entryComments[ansiName] = std::move(ansiComment);
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_update_mode(kestrel_writer* writer, int mode) {
  if (!Live(writer)) return NoHandle(writer);
  if (mode < KESTREL_UPDATE_NEWER || mode > KESTREL_UPDATE_FRESHEN)
    return WriterFailure(writer, KESTREL_E_INVALID, "unknown update mode " + std::to_string(mode));
  writer->updateMode = mode;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_add_path(kestrel_writer* writer, const char* path,
                                       const kestrel_add_options* options) {
  const Utf8Names names;
  if (!Live(writer)) return NoHandle(writer);
  if (path == nullptr || *path == '\0') return WriterFailure(writer, KESTREL_E_INVALID, "empty path");
  const kestrel_add_options none{};
  const kestrel_add_options& o = options != nullptr ? *options : none;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status))
    return WriterFailure(writer, KESTREL_E_NOT_FOUND,
                         std::string(path) + ": " + std::strerror(ec ? ec.value() : ENOENT));
  AddGroup group;
  group.junkPaths = o.junk_paths != 0;
  // Junked paths leave no directory to store.
  group.dirEntries = o.no_dir_entries == 0 && !group.junkPaths;
  for (auto [list, out] : {std::pair{o.include, &group.include}, {o.exclude, &group.exclude}}) {
    for (const std::string& p : Patterns(list)) {
      std::string ansi;
      if (const int r = AnsiText(writer, p.c_str(), "the pattern", ansi); r != KESTREL_OK) return r;
      out->push_back(std::move(ansi));
    }
  }
  if (!group.junkPaths) {
    const fs::path base = fs::absolute(o.base_dir != nullptr ? o.base_dir : ".", ec);
    if (ec || !os::host::DrivePath(base.string(), group.rootDir))
      return WriterFailure(writer, KESTREL_E_INVALID, "unusable base directory");
    group.rootDir = WithBackslash(group.rootDir);
  }
  std::string drive;
  if (!os::host::DrivePath(fs::absolute(path, ec).lexically_normal().string(), drive))
    return WriterFailure(writer, KESTREL_E_INVALID,
                         std::string(path) + ": a name has no form in the library's code page");
  writer->addRequested = true;
  if (!fs::is_directory(status)) {
    AddItem(*writer, std::move(group), drive);
  } else {
    drive = WithBackslash(drive);
    // A drive's root has no entry of its own, and junked paths store no directories.
    const bool ownEntry =
        group.dirEntries && !(drive.size() == 3 && drive[1] == ':') && drive != group.rootDir;
    const bool recurse = o.recurse != 0;
    if (ownEntry) AddItem(*writer, group, drive);
    // '>' expands the mask with recursion, '|' without, whatever the component's default.
    if (recurse) AddItem(*writer, std::move(group), ">" + drive + "*");
  }
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_add_memory(kestrel_writer* writer, const char* name,
                                         const void* data, size_t size) {
  const Utf8Names names;
  if (Live(writer) && data == nullptr && size != 0)
    return WriterFailure(writer, KESTREL_E_INVALID, "null data");
  MemoryReader memory{static_cast<const char*>(data), size};
  return AddStaged(writer, name, ReadMemory, &memory);
}

extern "C" int kestrel_writer_add_stream(kestrel_writer* writer, const char* name,
                                         kestrel_read_fn read, void* context) {
  const Utf8Names names;
  return AddStaged(writer, name, read, context);
}

extern "C" int kestrel_writer_delete(kestrel_writer* writer, const char* pattern) {
  const Utf8Names names;
  if (!Live(writer)) return NoHandle(writer);
  if (pattern == nullptr || *pattern == '\0')
    return WriterFailure(writer, KESTREL_E_INVALID, "empty pattern");
  std::string ansi;
  if (const int r = AnsiText(writer, pattern, "the pattern", ansi); r != KESTREL_OK) return r;
  writer->deletions.push_back(std::move(ansi));
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_split(kestrel_writer* writer, uint32_t blockSize) {
  if (!Live(writer)) return NoHandle(writer);
  if (blockSize > INT32_MAX)
    return WriterFailure(writer, KESTREL_E_LIMIT, "block size larger than 2 GiB - 1");
  writer->splitSize = blockSize;
  if (blockSize != 0) writer->nextDisk = nullptr;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_floppy_dir(kestrel_writer* writer, const char* dir) {
  if (!Live(writer)) return NoHandle(writer);
  std::string folder;
  if (dir != nullptr && *dir != '\0' && !os::host::DriveFolder(dir, folder))
    return WriterFailure(writer, KESTREL_E_NOT_FOUND, std::string(dir) + ": not a directory");
  writer->floppyDir = std::move(folder);
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_span(kestrel_writer* writer, kestrel_disk_fn nextDisk,
                                       void* context) {
  if (!Live(writer)) return NoHandle(writer);
  writer->nextDisk = nextDisk;
  writer->nextDiskContext = context;
  if (nextDisk != nullptr) writer->splitSize = 0;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_entry_callback(kestrel_writer* writer, kestrel_entry_fn fn,
                                                 void* context) {
  if (!Live(writer)) return NoHandle(writer);
  writer->entryDone = fn;
  writer->entryDoneContext = context;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_set_delete_callback(kestrel_writer* writer, kestrel_deleted_fn fn,
                                                  void* context) {
  if (!Live(writer)) return NoHandle(writer);
  writer->deleted = fn;
  writer->deletedContext = context;
  writer->error.clear();
  return KESTREL_OK;
}

extern "C" int kestrel_writer_commit(kestrel_writer* writer, kestrel_progress_fn progress,
                                     void* context) {
  const Utf8Names names;
  if (!Live(writer)) return NoHandle(writer);
  const int result = CommitWriter(*writer, progress, context);
  ResetPlan(*writer);
  return result;
}

extern "C" int kestrel_writer_stats(const kestrel_writer* writer, kestrel_commit_stats* stats) {
  if (!Live(writer)) return NoHandle(writer);
  if (stats == nullptr) return KESTREL_E_INVALID;
  *stats = writer->stats;
  return KESTREL_OK;
}

extern "C" int kestrel_writer_skipped(const kestrel_writer* writer, size_t index,
                                      const char** path, const char** reason) {
  if (!Live(writer)) return NoHandle(writer);
  if (index >= writer->skipped.size() || path == nullptr || reason == nullptr)
    return KESTREL_E_INVALID;
  *path = writer->skipped[index].path.c_str();
  *reason = writer->skipped[index].reason.c_str();
  return KESTREL_OK;
}

#endif
