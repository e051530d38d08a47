// read_report.cpp — the callbacks of unzip and test and their summary.
#include "cli/read_report.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/terminal_text.h"

namespace kestrel::cli {

namespace {

// One line from standard input without its line end; false at the end of the input.
bool ReadLine(std::string& line) {
  char buffer[4096];
  if (std::fgets(buffer, sizeof buffer, stdin) == nullptr) return false;
  line = buffer;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

}  // namespace

ReadReport::ReadReport(const char* command, const UnzipOptions& options, uint64_t selected)
    : command_(command), options_(options),
      bar_(stderr, !options.quiet && ::isatty(STDERR_FILENO)), selected_(selected) {}

void ReadReport::Attach(kestrel_reader* reader, kestrel_extract_options& extract) {
  kestrel_reader_set_progress(reader, &ReadReport::OnProgress, this);
  extract.entry_done = &ReadReport::OnEntry;
  extract.entry_context = this;
  switch (options_.overwrite) {
    case UnzipOptions::Overwrite::Always: extract.overwrite = KESTREL_OVERWRITE_ALWAYS; break;
    case UnzipOptions::Overwrite::Never: extract.overwrite = KESTREL_OVERWRITE_NEVER; break;
    case UnzipOptions::Overwrite::Default:
      // Asked on a terminal; without one, existing files are kept and named.
      extract.overwrite = ::isatty(STDIN_FILENO) ? KESTREL_OVERWRITE_ASK : KESTREL_OVERWRITE_NEVER;
      extract.ask = &ReadReport::OnAsk;
      extract.ask_context = this;
      break;
  }
}

int ReadReport::OnProgress(void* self, const char*, uint64_t done, uint64_t total) {
  auto* report = static_cast<ReadReport*>(self);
  report->bar_.SetTotals(report->selected_, total);
  report->bar_.Update(report->done_, done);
  report->bytes_ = done;
  return Interrupted() ? 1 : 0;
}

void ReadReport::OnEntry(void* self, const kestrel_entry* entry, int result, const char* message,
                         const char* path) {
  auto* report = static_cast<ReadReport*>(self);
  if (result == KESTREL_E_CANCELLED) return;  // left out whole: one of those not processed
  ++report->done_;
  const std::string name = Printable(entry->name);
  if (result == KESTREL_E_EXISTS && report->options_.overwrite == UnzipOptions::Overwrite::Never) {
    // -n: keeping existing files is what was asked for.
  } else if (result == KESTREL_E_EXISTS) {
    ++report->kept_;
    report->Fail(name + ": " + Printable(message));
  } else if (result != KESTREL_OK) {
    ++report->failed_;
    report->Fail(name + ": " + Printable(message));
  } else if (result == KESTREL_OK && report->options_.verbose) {
    report->bar_.Clear();
    if (report->options_.command == ReadCommand::Test) {
      std::fprintf(stderr, "    OK: %s\n", name.c_str());
    } else {
      std::fprintf(stderr, "  %s: %s\n", entry->is_directory ? "created" : "extracted",
                   *path != '\0' ? Printable(path).c_str() : name.c_str());
    }
  }
  report->bar_.Update(report->done_, report->bytes_);
}

int ReadReport::OnAsk(void* self, const char*, const char* path, char* newPath, size_t size) {
  auto* report = static_cast<ReadReport*>(self);
  report->bar_.Clear();
  for (;;) {
    std::fprintf(stderr, "replace %s? [y]es, [n]o, [A]ll, [N]one, [r]ename: ", Printable(path).c_str());
    std::fflush(stderr);
    std::string answer;
    if (!ReadLine(answer) || Interrupted()) return KESTREL_ANSWER_NONE;
    if (answer == "y" || answer == "yes") return KESTREL_ANSWER_YES;
    if (answer == "n" || answer == "no") return KESTREL_ANSWER_NO;
    if (answer == "A") return KESTREL_ANSWER_ALL;
    if (answer == "N") return KESTREL_ANSWER_NONE;
    if (answer == "r" || answer == "rename") {
      std::fprintf(stderr, "new name: ");
      std::fflush(stderr);
      std::string name;
      if (!ReadLine(name) || name.empty() || name.size() + 1 > size) return KESTREL_ANSWER_NO;
      // A relative new name stays in the folder of the file it replaces.
      std::string full = name;
      if (name[0] != '/') {
        const char* slash = std::strrchr(path, '/');
        full = slash == nullptr ? name : std::string(path, size_t(slash - path) + 1) + name;
      }
      if (full.size() + 1 > size) return KESTREL_ANSWER_NO;
      std::memcpy(newPath, full.c_str(), full.size() + 1);
      return KESTREL_ANSWER_RENAME;
    }
  }
}

void ReadReport::Fail(const std::string& message) {
  bar_.Clear();
  std::fprintf(stderr, "%s: %s\n", command_, message.c_str());
}

int ReadReport::Conclude(int result, const std::string& message) {
  if (done_ > 0 || result == KESTREL_OK) bar_.Finish();
  if (Interrupted() || result == KESTREL_E_CANCELLED) {
    Fail("interrupted; " + std::to_string(selected_ - done_) + " more entries were not processed");
    return kExitInterrupted;
  }
  if (done_ == 0 && result != KESTREL_OK && result != KESTREL_E_NOT_FOUND) {
    Fail(Printable(message));  // nothing was walked: the destination cannot be used
    return kExitFailure;
  }
  if (done_ < selected_) {
    Fail("stopped; " + std::to_string(selected_ - done_) + " more entries were not processed");
  }
  if (failed_ > 0) {
    Fail(std::to_string(failed_) + " of " + std::to_string(done_) + " entries failed");
  }
  if (kept_ > 0) {
    Fail(std::to_string(kept_) + (kept_ == 1 ? " existing file was" : " existing files were") +
         " kept (-o replaces, -n keeps without a word)");
  }
  return failed_ > 0 || kept_ > 0 || done_ < selected_ ? kExitWarning : kExitOk;
}

}  // namespace kestrel::cli
