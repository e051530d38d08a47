// cmd_zip.cpp — `kestrel zip`: packs files and trees into a new archive or updates an existing
// one through the library's writing interface, with zip's options, a progress bar on a
// terminal, each passed-over file named on stderr, and Ctrl-C cancelling.
#include <glob.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/floppy.h"
#include "cli/interrupt.h"
#include "cli/password_prompt.h"
#include "cli/progress_bar.h"
#include "cli/prompt.h"
#include "cli/zip_options.h"
#include "kestrel.h"

namespace kestrel::cli {

namespace {

constexpr char kCommand[] = "kestrel zip";

void Say(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kCommand, message.c_str());
}

// Ctrl-C, the progress bar and -v's lines while the commit runs.
class ZipReport {
 public:
  ZipReport(const ZipOptions& o, bool terminal)
      : bar_(stderr, terminal && o.verbosity != ZipVerbosity::Quiet),
        verbose_(o.verbosity == ZipVerbosity::Verbose),
        replacing_(o.update == ZipUpdate::Freshen ? "freshening:" : "updating:") {}

  static int Progress(void* context, const char*, uint64_t done, uint64_t total) {
    auto* self = static_cast<ZipReport*>(context);
    if (total == 0) return Interrupted() ? 1 : 0;  // still walking the trees
    self->bar_.SetTotals(0, total);
    self->bar_.Update(self->entries_, done);
    return Interrupted() ? 1 : 0;
  }
  // -v's line, as zip prints it: "  adding: src/x.c (deflated 63%)", "updating: ..." for a
  // replaced entry ("freshening: ..." under -f).
  static void EntryDone(void* context, const kestrel_entry_done* e) {
    auto* self = static_cast<ZipReport*>(context);
    ++self->entries_;
    if (!self->verbose_) return;
    self->bar_.Clear();
    const uint64_t saved = e->size == 0 || e->compressed_size >= e->size
                               ? 0
                               : ((e->size - e->compressed_size) * 100 + e->size / 2) / e->size;
    std::printf("%s %s (%s %llu%%)\n", e->replaced ? self->replacing_ : "  adding:", e->name,
                e->method == 0 ? "stored" : "deflated", static_cast<unsigned long long>(saved));
    std::fflush(stdout);
  }
  // -v's line for an entry left out, as zip prints it: "deleting: src/x.c".
  static void Deleted(void* context, const char* name) {
    auto* self = static_cast<ZipReport*>(context);
    if (!self->verbose_) return;
    self->bar_.Clear();
    std::printf("deleting: %s\n", name);
    std::fflush(stdout);
  }
  void Clear() { bar_.Clear(); }
  void Finish() { bar_.Finish(); }

 private:
  ProgressBar bar_;
  bool verbose_;
  const char* replacing_;
  uint64_t entries_ = 0;
};

// A source that does not exist but holds wildcards is expanded as zip does ('src/*.txt').
std::vector<std::string> Expand(const std::string& source) {
  if (source.find_first_of("*?[") == std::string::npos) return {source};
  glob_t found{};
  std::vector<std::string> out;
  if (glob(source.c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) out.emplace_back(found.gl_pathv[i]);
  }
  globfree(&found);
  if (out.empty()) out.push_back(source);
  return out;
}

bool ResolvePassword(ZipOptions& o, std::string& error) {
  if (!o.passwordFile.empty()) {
    std::ifstream in(o.passwordFile, std::ios::binary);
    if (!in || !std::getline(in, o.password)) {
      error = "cannot read a password from " + o.passwordFile;
      return false;
    }
    if (!o.password.empty() && o.password.back() == '\r') o.password.pop_back();
  } else if (o.askPassword) {
    std::string again;
    if (!ReadPassword("Password: ", o.password) || !ReadPassword("Password again: ", again)) {
      error = "-e needs a terminal to ask on (use --password-file in scripts)";
      return false;
    }
    if (again != o.password) {
      error = "the passwords do not match";
      return false;
    }
  } else if (!o.passwordOnCommandLine) {
    return true;
  }
  if (o.password.empty()) {
    error = "the password is empty";
    return false;
  }
  return true;
}

// Reads -@'s names or -z's comment from standard input.
void ReadInput(ZipOptions& o) {
  if (o.namesFromStdin) {
    for (std::string line; std::getline(std::cin, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) o.sources.push_back(line);
    }
  }
  if (o.commentFromStdin) {
    o.comment.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    if (!o.comment.empty() && o.comment.back() == '\n') o.comment.pop_back();
  }
}

struct SpanDisks {
  FloppyDrive* floppy;
  static int Next(void* context, int disk) {
    return static_cast<SpanDisks*>(context)->floppy->ChangeDisk(disk) ? 0 : 1;
  }
};

// The archive's place on the floppy for --span: its file name in the folder that is A:.
std::string OnFloppy(const FloppyDrive& floppy, const std::string& archive) {
  std::string name = archive;
  if (name.size() > 2 && name[1] == ':') name.erase(0, 2);
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return floppy.Folder() + "/" + name;
}

int Configure(kestrel_writer* w, const ZipOptions& o) {
  int r = kestrel_writer_set_level(w, o.level);
  if (r == KESTREL_OK) r = kestrel_writer_set_threads(w, o.threads);
  if (r == KESTREL_OK && !o.password.empty()) r = kestrel_writer_set_password(w, o.password.c_str());
  if (r == KESTREL_OK && (o.commentFromStdin || o.commentGiven))
    r = kestrel_writer_set_comment(w, o.comment.c_str());
  if (r == KESTREL_OK && o.update == ZipUpdate::Freshen)
    r = kestrel_writer_set_update_mode(w, KESTREL_UPDATE_FRESHEN);
  if (r == KESTREL_OK && o.splitSize != 0) r = kestrel_writer_set_split(w, o.splitSize);
  if (r == KESTREL_OK && o.codePage != 0) r = kestrel_writer_set_code_page(w, o.codePage);
  if (r == KESTREL_OK && o.storeSymlinks) r = kestrel_writer_set_symlinks(w, 1);
  return r;
}

// Adds the sources; each one that cannot be added is named. Returns how many were added.
int AddSources(kestrel_writer* w, const ZipOptions& o, int& passedOver) {
  std::vector<const char*> include, exclude;
  for (const auto& p : o.include) include.push_back(p.c_str());
  for (const auto& p : o.exclude) exclude.push_back(p.c_str());
  include.push_back(nullptr);
  exclude.push_back(nullptr);
  kestrel_add_options add{};
  add.recurse = o.recurse;
  add.junk_paths = o.junkPaths;
  add.no_dir_entries = o.noDirEntries;
  add.include = o.include.empty() ? nullptr : include.data();
  add.exclude = exclude.data();
  int added = 0;
  for (const std::string& given : o.sources) {
    if (o.deleteMode) {
      if (kestrel_writer_delete(w, given.c_str()) == KESTREL_OK) ++added;
      continue;
    }
    for (const std::string& source : Expand(given)) {
      if (kestrel_writer_add_path(w, source.c_str(), &add) == KESTREL_OK) {
        ++added;
      } else {
        ++passedOver;
        Say("warning: " + std::string(kestrel_writer_error(w)));
      }
    }
  }
  return added;
}

int Commit(kestrel_writer* w, const ZipOptions& o, int passedOver, FloppyDrive& floppy) {
  ZipReport report(o, isatty(STDERR_FILENO) != 0);
  SpanDisks disks{&floppy};
  if (o.span) kestrel_writer_set_span(w, SpanDisks::Next, &disks);
  kestrel_writer_set_entry_callback(w, ZipReport::EntryDone, &report);
  kestrel_writer_set_delete_callback(w, ZipReport::Deleted, &report);
  CatchInterrupts();
  const int result = kestrel_writer_commit(w, ZipReport::Progress, &report);
  if (result == KESTREL_OK) report.Finish();
  report.Clear();
  if (result == KESTREL_E_CANCELLED && Interrupted()) {
    Say("interrupted: " + o.archive + " is as it was");
    return kExitInterrupted;
  }
  if (result == KESTREL_E_NOT_FOUND) {
    Say(std::string(kestrel_writer_error(w)) + " (" + o.archive + " not written)");
    return kExitNothingToDo;
  }
  if (result != KESTREL_OK) {
    Say(kestrel_writer_error(w));
    return kExitFailure;
  }
  kestrel_commit_stats stats{};
  kestrel_writer_stats(w, &stats);
  for (size_t i = 0; i < stats.skipped; ++i) {
    const char* path = nullptr;
    const char* reason = nullptr;
    if (kestrel_writer_skipped(w, i, &path, &reason) == KESTREL_OK)
      Say(std::string("warning: skipped ") + path + ": " + reason);
  }
  return passedOver > 0 || stats.skipped > 0 ? kExitWarning : kExitOk;
}

}  // namespace

int RunZip(const Args& args) {
  ZipOptions o;
  std::string error;
  if (!ParseZipOptions(args, o, error)) {
    Say(error);
    return kExitUsage;
  }
  if (o.help) {
    std::fputs(ZipHelpText(), stdout);
    return kExitOk;
  }
  ReadInput(o);
  if (o.passwordOnCommandLine)
    Say("warning: a password given with -P can be seen by other users (use -e or --password-file)");
  if (!ResolvePassword(o, error)) {
    Say(error);
    return kExitUsage;
  }
  const PromptAnswer answer = o.answer == ZipPromptAnswer::Yes  ? PromptAnswer::Yes
                              : o.answer == ZipPromptAnswer::No ? PromptAnswer::No
                                                                : PromptAnswer::Ask;
  FloppyDrive floppy(o.floppy, TerminalPrompt(answer));
  if (!o.floppy.empty() && !floppy.Attach(error)) {
    Say(error);
    return kExitUsage;
  }
  const std::string path = o.span ? OnFloppy(floppy, o.archive) : o.archive;
  kestrel_writer* w = nullptr;
  // Block files and spanned disks are always written anew.
  const bool fresh = o.overwrite || o.span || o.splitSize != 0;
  int result = kestrel_writer_open(
      path.c_str(), fresh ? KESTREL_WRITE_OVERWRITE : KESTREL_WRITE_UPDATE, &w);
  if (result == KESTREL_OK && o.deleteMode && access(path.c_str(), F_OK) != 0) {
    Say(o.archive + ": no such archive to delete entries from");
    kestrel_writer_close(w);
    return kExitNothingToDo;
  }
  if (result == KESTREL_OK) result = Configure(w, o);
  if (result == KESTREL_OK && !o.floppy.empty() &&
      !floppy.Bind([w](const std::string& folder) {
        return kestrel_writer_set_floppy_dir(w, folder.c_str()) == KESTREL_OK;
      })) {
    result = KESTREL_E_NOT_FOUND;
  }
  if (result != KESTREL_OK) {
    Say(kestrel_writer_error(w));
    kestrel_writer_close(w);
    return result == KESTREL_E_NOT_ZIP ? kExitNotZip : kExitFailure;
  }
  int passedOver = 0;
  const int added = AddSources(w, o, passedOver);
  int status = kExitNothingToDo;
  if (added == 0 && !o.commentFromStdin && !o.commentGiven) {
    Say("nothing to do (" + o.archive + " not written)");
  } else {
    status = Commit(w, o, passedOver, floppy);
  }
  kestrel_writer_close(w);
  return status;
}

}  // namespace kestrel::cli
