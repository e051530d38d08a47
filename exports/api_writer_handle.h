// api_writer_handle.h — the state behind a kestrel_writer handle: the archive it writes, its
// settings, the additions and deletions collected for the next commit, and what the last
// commit reported. Everything a writer call needs lives here, so handles never share state.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exports/api_writer_staging.h"
#include "kestrel.h"

namespace kestrel::exports {

// Files and trees added with the same naming and filter options: one pass of the component.
struct AddGroup {
  std::string rootDir;  // drive path with a trailing backslash ("" with junkPaths)
  bool junkPaths = false;
  bool dirEntries = true;
  bool replaceAlways = false;  // data from memory replaces its namesake whatever the dates
  std::vector<std::string> include;
  std::vector<std::string> exclude;
  std::vector<std::string> items;  // FilesList items: drive paths, "\"-ended dirs, masks

  bool SameOptions(const AddGroup& other) const {
    return rootDir == other.rootDir && junkPaths == other.junkPaths &&
           dirEntries == other.dirEntries && replaceAlways == other.replaceAlways &&
           include == other.include && exclude == other.exclude;
  }
};

struct SkippedFile {
  std::string path;  // native
  std::string reason;
};

}  // namespace kestrel::exports

struct kestrel_writer {
  std::string path;       // native path of the archive
  std::string drivePath;  // the same as the library's drive path
  int mode = KESTREL_WRITE_CREATE;
  int level = 6;
  int threads = 1;  // 1: everything on the caller's thread
  int updateMode = KESTREL_UPDATE_NEWER;
  std::string password;
  int nameCodePage = 0;  // non-ASCII names in this code page when it holds them; 0: UTF-8
  bool storeSymlinks = false;  // symbolic links stored as links, not followed
  bool commentSet = false;
  std::string comment;                              // ANSI
  std::map<std::string, std::string> entryComments;  // ANSI stored name ('/') -> ANSI comment
  uint32_t splitSize = 0;
  kestrel_disk_fn nextDisk = nullptr;
  void* nextDiskContext = nullptr;
  std::string floppyDir;  // the folder that is drive A: while it commits ("" for none)
  kestrel_entry_fn entryDone = nullptr;
  void* entryDoneContext = nullptr;
  kestrel_deleted_fn deleted = nullptr;
  void* deletedContext = nullptr;

  std::vector<kestrel::exports::AddGroup> groups;
  std::vector<std::string> deletions;  // ANSI masks
  bool addRequested = false;           // add_path was called since the last commit
  std::unique_ptr<kestrel::exports::Staging> staging;

  kestrel_commit_stats stats{};
  std::vector<kestrel::exports::SkippedFile> skipped;
  std::string error;
};

namespace kestrel::exports {

// Sets the writer's message and returns code (the calls' common failure path).
int WriterFailure(kestrel_writer* writer, int code, std::string message);
// Forgets what was collected for a commit (after it ran, or when the writer closes).
void ResetPlan(kestrel_writer& writer);
// Builds the archive (api_writer_commit.cpp).
int CommitWriter(kestrel_writer& writer, kestrel_progress_fn progress, void* context);

}  // namespace kestrel::exports
