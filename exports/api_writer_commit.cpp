// api_writer_commit.cpp — kestrel_writer_commit: the collected additions run through the zip
// component (one run per group of additions with the same options) on a work file beside the
// archive, which replaces the archive only once every run has succeeded.
//
// The work file starts as a hard link to the old archive (a copy where links are refused):
// each run writes a new file and renames it over the work file, so the old archive's own file
// is never written. The component opens what it works on by name, so the work file has one:
// it carries the process id, and the next commit in that directory removes it should this
// process be killed. Multi-volume output is written in one run straight to its volumes.
// The entry-level interface exists on Linux hosts only.
#if !defined(_WIN32)

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "archive/zip_exceptions.h"
#include "classlib/path_utils.h"
#include "exports/api_writer_handle.h"
#include "platform/call_scope.h"
#include "platform/platform.h"
#include "support/os_error_text.h"
#include "support/wildcard.h"
#include "writer/lyn_zip.h"
#include "writer/volume_set.h"
#include "writer/zip_limits.h"


namespace kestrel::exports {

namespace fs = std::filesystem;

namespace {

bool MatchesAny(const std::vector<std::string>& patterns, const std::string& name) {
  for (const std::string& p : patterns) {
    if (support::IsMatch(p, name)) return true;
  }
  return false;
}

std::string StoredName(const archive::TZipHeaderInfo& header) {
  std::string name = header.Directory() + header.FileName();
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

// Why a file could not be opened, in the system's words when it can be had. Only a file or a
// folder is opened again to learn it: opening a FIFO would wait for a writer.
std::string OpenFailureReason(const std::string& drivePath) {
  std::string host;
  if (!os::host::HostPath(drivePath, host)) {
    // The host cannot name it at all (a path longer than it takes): the platform says why.
    return os::LastError() == os::kErrorSuccess ? "cannot be opened"
                                                : support::OsErrorText(os::LastError());
  }
  std::error_code ec;
  const fs::file_status status = fs::status(host, ec);
  if (ec) return ec.message();
  if (!fs::is_regular_file(status) && !fs::is_directory(status))
    return support::OsErrorText(os::kErrorBadFileType);
  FILE* f = std::fopen(host.c_str(), "rb");
  if (f == nullptr) return std::strerror(errno);
  std::fclose(f);
  return "it changed while it was read";
}

// The native form of a drive path, for messages. One too long for the host (a folder deeper
// than the host's paths reach) is named through its parent folder, which is not.
std::string HostText(const std::string& drivePath) {
  std::string host;
  if (os::host::HostPath(drivePath, host)) return host;
  const std::string path = classlib::ExcludeTrailingBackslash(drivePath);
  if (!os::host::HostPath(classlib::ExtractFilePath(path), host))
    return os::host::AnsiToHostText(drivePath);
  if (!host.empty() && host.back() != '/') host += '/';
  host += os::host::AnsiToHostText(classlib::ExtractFileName(path));
  return path.size() < drivePath.size() ? host + "/" : host;
}

// The system's words for a refused write, as Linux says them for a full disk.
std::string WriteFailureReason(uint32_t code) {
  if (code == os::kErrorDiskFull || code == os::kErrorHandleDiskFull) return std::strerror(ENOSPC);
  return support::OsErrorText(code);
}

// One commit: the runs of the component and what they report.
class Commit {
 public:
  Commit(kestrel_writer& writer, kestrel_progress_fn progress, void* context)
      : w_(writer), progress_(progress), progressContext_(context) {}

  int Run();

 private:
  int Fail(int code, const std::string& message) {
    return WriterFailure(&w_, code, message);
  }
  void RunGroup(const std::string& zipName, const AddGroup* group, bool first);
  // Calls the caller's progress function; a non-zero answer cancels the run.
  void Report(writer::TLynZip& zip, const std::string& entry, uint64_t done, uint64_t total) {
    if (progress_ == nullptr || cancelled_) return;
    if (progress_(progressContext_, entry.c_str(), done, total) != 0) {
      cancelled_ = true;
      zip.Cancel();
    }
  }
  void Configure(writer::TLynZip& zip, const AddGroup* group, bool first);
  void Attach(writer::TLynZip& zip, const AddGroup* group);
  void Skip(const std::string& drivePath, std::string reason) {
    w_.skipped.push_back({HostText(drivePath), std::move(reason)});
  }
  int Failure(const std::exception& e);
  bool PrepareWorkFile(bool update);

  kestrel_writer& w_;
  kestrel_progress_fn progress_;
  void* progressContext_;
  std::string work_;       // native path of the work file ("" for multi-volume output)
  uint64_t doneBefore_ = 0;  // bytes read by the runs before this one
  uint64_t runTotal_ = 0;
  std::string entry_;      // UTF-8 stored name of the entry being written
  const archive::TZipHeaderInfo* header_ = nullptr;
  bool replacing_ = false;
  bool cancelled_ = false;
  uint64_t gathered_ = 0;  // files and directories the runs found to store or keep
  std::set<std::string> stored_;  // drive paths of the files written
  int32_t finalCount_ = 0;
};

void Commit::Configure(writer::TLynZip& zip, const AddGroup* group, bool first) {
  zip.SetPackLevel(w_.level);
  zip.SetThreads(w_.threads);
  zip.SetPassword(w_.password);
  zip.SetNameCodePage(w_.nameCodePage);
  zip.SetStoreSymbolicLinks(w_.storeSymlinks);
  if (group == nullptr || !group->junkPaths) {
    zip.SetRelativePaths(true);  // also turns on StorePaths
    if (group != nullptr) zip.SetRootDir(group->rootDir);
  } else {
    zip.SetStorePaths(false);
  }
  zip.SetRecurse(false);  // every mask says whether it recurses
  zip.SetAddDirEntriesOnRecurse(group != nullptr && group->dirEntries);
  const int mode = group != nullptr && group->replaceAlways ? KESTREL_UPDATE_ALWAYS : w_.updateMode;
  zip.SetZipAction(mode == KESTREL_UPDATE_ALWAYS   ? writer::zaReplace
                   : mode == KESTREL_UPDATE_FRESHEN ? writer::zaFreshen
                                                    : writer::zaUpdate);
  if (w_.splitSize != 0) {
    zip.SetMultiMode(archive::mmBlocks);
    zip.MultiZipInfo().BlockSize = static_cast<int32_t>(w_.splitSize);
    zip.MultiZipInfo().FirstBlockSize = static_cast<int32_t>(w_.splitSize);
  } else if (w_.nextDisk != nullptr) {
    zip.SetMultiMode(archive::mmSpan);
  }
  if (group != nullptr) {
    for (const std::string& item : group->items) zip.FilesList().Add(item);
  }
  // The component leaves out the file it writes, the work file; the archive itself must not
  // go into its new version either.
  zip.ExcludeList().Add(w_.drivePath);
  if (!first) return;
  for (const std::string& mask : w_.deletions) zip.DeleteList().Add(mask);
  // The old directory is loaded first, so comments can be set on it; the run keeps it.
  if (zip.MultiMode() == archive::mmNone && os::GetFileAttributes(zip.ZipName()) != os::kInvalidAttributes) {
    zip.OpenZip();
    for (int32_t i = 0; i < zip.Count(); ++i) {
      auto found = w_.entryComments.find(StoredName(zip.Entry(i)));
      if (found != w_.entryComments.end()) zip.SetFileComment(i, found->second);
    }
  }
  if (w_.commentSet) zip.SetZipComment(w_.comment);
}

void Commit::Attach(writer::TLynZip& zip, const AddGroup* group) {
  zip.OnStartZipInfo = [this](archive::Object*, int32_t, int64_t total, archive::TEndCentral&,
                              bool&) { runTotal_ = static_cast<uint64_t>(total); };
  zip.OnStartZip = [this, group](archive::Object*, const std::string& source,
                                 archive::TZipHeaderInfo& header, bool& skip) {
    const std::string name = StoredName(header);
    // Freshening adds nothing: the component's freshen test covers files, not the entries of
    // directories met on the way, which would otherwise come in new.
    const bool freshenAdds = w_.updateMode == KESTREL_UPDATE_FRESHEN && !replacing_ &&
                             (group == nullptr || !group->replaceAlways);
    if (freshenAdds ||
        (group != nullptr && ((!group->include.empty() && !MatchesAny(group->include, name)) ||
                              MatchesAny(group->exclude, name)))) {
      skip = true;
      replacing_ = false;
      return;
    }
    ++gathered_;
    stored_.insert(source);
    auto comment = w_.entryComments.find(name);
    if (comment != w_.entryComments.end()) header.SetComment(comment->second.c_str());
    entry_ = os::host::AnsiToHostText(name);
    header_ = &header;
  };
  zip.OnEndZip = [this](archive::Object*, const std::string&, int64_t size, int64_t compressed,
                        int64_t) {
    ++(replacing_ ? w_.stats.replaced : w_.stats.added);
    if (w_.entryDone != nullptr && header_ != nullptr) {
      const kestrel_entry_done done{entry_.c_str(), static_cast<uint64_t>(size),
                                    static_cast<uint64_t>(compressed), header_->method,
                                    replacing_ ? 1 : 0};
      w_.entryDone(w_.entryDoneContext, &done);
    }
    replacing_ = false;
    header_ = nullptr;
  };
  zip.OnUpdate = [this](archive::Object*, writer::TUpdateAction action, int32_t) {
    if (action == writer::uaReplacing) {
      replacing_ = true;
    } else {
      ++gathered_;
    }
  };
  zip.OnDeleteEntry = [this](archive::Object*, const std::string& name, bool&) {
    ++w_.stats.deleted;
    if (w_.deleted != nullptr) w_.deleted(w_.deletedContext, os::host::AnsiToHostText(name).c_str());
  };
  zip.OnNoSuchFile = [this](archive::Object*, const std::string& name) {
    Skip(name, "no such file");
  };
  zip.OnLinkLoop = [this](archive::Object*, const std::string& directory) {
    Skip(directory, writer::TLynZip::kLinkNotFollowed);
  };
  zip.OnSkippingFile = [this](archive::Object*, archive::TSkipReason reason,
                              const std::string& name, int32_t, bool&) {
    replacing_ = false;
    // The same file reached through two overlapping paths is stored once, silently.
    if (reason == archive::srNoOverwrite && stored_.count(name) != 0) return;
    Skip(name, reason == archive::srNoOverwrite ? "its name is already in the archive"
                                                : OpenFailureReason(name));
  };
  zip.OnTotalPercentDone = [this, &zip](archive::Object*, int32_t) {
    Report(zip, entry_, doneBefore_ + static_cast<uint64_t>(zip.BytesProcessed()),
           doneBefore_ + runTotal_);
  };
  // Walking a large tree reads no data but takes its time: the caller may cancel meanwhile.
  zip.OnRecursingFile = [this, &zip](archive::Object*, const std::string&) {
    Report(zip, std::string(), doneBefore_, 0);
  };
  if (w_.nextDisk != nullptr) {
    zip.OnGetNextDisk = [this](archive::Object*, int32_t disk, std::string& name) {
      if (w_.nextDisk(w_.nextDiskContext, disk) != 0) {
        cancelled_ = true;
        name.clear();
      }
    };
  }
}

void Commit::RunGroup(const std::string& zipName, const AddGroup* group, bool first) {
  writer::TLynZip zip;
  zip.SetZipName(zipName);
  Configure(zip, group, first);
  Attach(zip, group);
  runTotal_ = 0;
  zip.RunZip();
  doneBefore_ += static_cast<uint64_t>(zip.BytesProcessed());
  finalCount_ = zip.Count();
}

int Commit::Failure(const std::exception& e) {
  std::string message = os::host::AnsiToHostText(e.what());
  int code = KESTREL_E_IO;
  if (cancelled_) {
    code = KESTREL_E_CANCELLED;
    message = "cancelled";
  } else if (dynamic_cast<const writer::EZipLimit*>(&e) != nullptr) {
    code = KESTREL_E_LIMIT;
  } else if (dynamic_cast<const writer::EBadMultiVolumeSettings*>(&e) != nullptr) {
    code = KESTREL_E_INVALID;
  } else if (dynamic_cast<const archive::EUserCanceled*>(&e) != nullptr) {
    code = KESTREL_E_CANCELLED;
  } else if (dynamic_cast<const archive::EBadZipFile*>(&e) != nullptr ||
             dynamic_cast<const archive::ENotAZipFile*>(&e) != nullptr) {
    code = KESTREL_E_FORMAT;
  } else if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
    code = KESTREL_E_NOMEM;
  } else if (const auto* room = dynamic_cast<const archive::ENotEnoughRoom*>(&e);
             room != nullptr && room->SystemError() != 0) {
    message += ": " + WriteFailureReason(room->SystemError());
  }
  return Fail(code, w_.path + ": " + message);
}

bool Commit::PrepareWorkFile(bool update) {
  const fs::path dir = fs::path(w_.path).parent_path();
  // Claimed by creating it: a directory that refuses new files is reported with the system's
  // reason before any work is done.
  work_ = os::host::ClaimWorkFile(dir.string());
  if (work_.empty()) {
    Fail(KESTREL_E_IO, "cannot write in " + dir.string() + ": " + std::strerror(errno));
    return false;
  }
  // The name stays ours (it carries our process id); the component must find no file there
  // for a fresh archive, and the link below needs it free.
  std::error_code ec;
  fs::remove(work_, ec);
  if (!update) return true;
  fs::create_hard_link(w_.path, work_, ec);
  if (ec) {
    ec.clear();
    fs::copy_file(w_.path, work_, ec);
  }
  if (ec) {
    Fail(KESTREL_E_IO, "cannot write in " + dir.string() + ": " + ec.message());
    fs::remove(work_, ec);
    work_.clear();
    return false;
  }
  return true;
}

int Commit::Run() {
  std::error_code ec;
  const bool exists = fs::exists(w_.path, ec);
  if (exists && w_.mode == KESTREL_WRITE_CREATE)
    return Fail(KESTREL_E_EXISTS, w_.path + ": the archive exists");
  const bool update = exists && w_.mode == KESTREL_WRITE_UPDATE;
  const bool multiVolume = w_.splitSize != 0 || w_.nextDisk != nullptr;
  if (multiVolume && (update || w_.groups.size() > 1 || w_.staging))
    return Fail(KESTREL_E_INVALID,
                "a split or spanned archive is written new, in one pass: no update, no data from "
                "memory, and one set of options for every path");
  if (!update && !w_.deletions.empty() && w_.groups.empty())
    return Fail(KESTREL_E_NOT_FOUND, w_.path + ": no archive to delete entries from");
  if (update && w_.groups.empty() && w_.deletions.empty() && !w_.commentSet &&
      w_.entryComments.empty())
    return KESTREL_OK;  // nothing would change

  std::string zipName = w_.drivePath;
  // The writer's floppy folder is drive A: here; without one, spanning writes to the floppy
  // drive the host set up (kestrel_map_drive), as it always did.
  os::host::CallFloppy floppy{&w_.floppyDir};
  if (w_.floppyDir.empty() && w_.nextDisk != nullptr) floppy = {nullptr, true};
  const os::host::CallScope drives(floppy);
  if (w_.nextDisk != nullptr && !os::host::DrivePath(w_.path, zipName))
    return Fail(KESTREL_E_IO, w_.path + ": a name has no form in the library's code page");
  if (!multiVolume) {
    if (!PrepareWorkFile(update)) return KESTREL_E_IO;
    if (!os::host::DrivePath(work_, zipName)) {
      fs::remove(work_, ec);
      return Fail(KESTREL_E_IO, "cannot name the work file " + work_);
    }
  }
  int result = KESTREL_OK;
  try {
    if (w_.groups.empty()) {
      RunGroup(zipName, nullptr, true);
    } else {
      for (size_t i = 0; i < w_.groups.size(); ++i) RunGroup(zipName, &w_.groups[i], i == 0);
    }
  } catch (const std::exception& e) {
    result = Failure(e);
  } catch (...) {
    result = Fail(KESTREL_E_IO, w_.path + ": unexpected failure");
  }
  w_.stats.skipped = w_.skipped.size();
  w_.stats.kept = static_cast<uint64_t>(finalCount_) - w_.stats.added - w_.stats.replaced;
  // Paths or deletions that found nothing, and nothing else asked for: no new archive.
  if (result == KESTREL_OK && (w_.addRequested || !w_.deletions.empty()) && gathered_ == 0 &&
      w_.stats.deleted == 0 && !w_.staging && !w_.commentSet && w_.entryComments.empty()) {
    result = Fail(KESTREL_E_NOT_FOUND, w_.deletions.empty()
                                           ? "nothing to do: no file to add was found"
                                           : "nothing to do: no entry matched");
  }
  if (work_.empty()) return result;
  if (result == KESTREL_OK) {
    fs::rename(work_, w_.path, ec);
    if (ec) result = Fail(KESTREL_E_IO, "cannot replace " + w_.path + ": " + ec.message());
  }
  if (result != KESTREL_OK) fs::remove(work_, ec);
  return result;
}

}  // namespace

int CommitWriter(kestrel_writer& writer, kestrel_progress_fn progress, void* context) {
  writer.stats = {};
  writer.skipped.clear();
  writer.error.clear();
  Commit commit(writer, progress, context);
  return commit.Run();
}

}  // namespace kestrel::exports

#endif
