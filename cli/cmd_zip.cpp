// cmd_zip.cpp — `kestrel zip ARCHIVE SOURCE [-r] [-0..-9] [--yes|--no] [--floppy DIR]`:
// ZipFile's operation with a progress bar (files and bytes) on a terminal, the overwrite
// question asked there, each skipped file reported, and Ctrl-C cancelling.
#include <cctype>
#include <cstdio>

#include "cli/commands.h"
#include "cli/floppy.h"
#include "cli/interrupt.h"
#include "cli/paths.h"
#include "cli/progress_bar.h"
#include "cli/prompt.h"
#include "cli/zip_extras.h"
#include "exports/zip_file.h"
#include "platform/platform.h"
#include "writer/lyn_zip.h"

namespace kestrel::cli {

namespace {

constexpr char kCommand[] = "kestrel zip";

struct ZipArgs {
  std::string archive;
  std::string source;
  int level = 6;
  bool recurse = false;
  PromptAnswer answer = PromptAnswer::Ask;
  std::string floppy;
  ZipExtras extras;
};

bool IsLevelOption(const std::string& a) {
  return a.size() == 2 && a[0] == '-' && std::isdigit(static_cast<unsigned char>(a[1]));
}

// False (with the message printed) on a usage error.
bool Parse(Args args, ZipArgs& out) {
  std::string error;
  if (!TakeFloppyOption(args, out.floppy, error) || !TakePromptOption(args, out.answer, error) ||
      !TakeZipExtras(args, out.extras, error)) {
    std::fprintf(stderr, "%s: %s\n", kCommand, error.c_str());
    return false;
  }
  std::vector<std::string> paths;
  for (const std::string& a : args) {
    if (a == "-r") {
      out.recurse = true;
    } else if (IsLevelOption(a)) {
      out.level = a[1] - '0';
    } else if (!a.empty() && a[0] != '-') {
      paths.push_back(a);
    } else {
      std::fprintf(stderr, "%s: unexpected argument '%s'\n", kCommand, a.c_str());
      return false;
    }
  }
  if (paths.size() != 2) {
    std::fprintf(stderr,
                 "usage: kestrel zip ARCHIVE SOURCE [-r] [-0..-9] [--yes|--no] [--floppy DIR]\n"
                 "       [--password | --password-file FILE] [--split SIZE | --span]\n");
    return false;
  }
  out.archive = paths[0];
  out.source = paths[1];
  return true;
}

// Watches the component: the bar, skipped files, and Ctrl-C turned into a cancel request.
class ZipReport {
 public:
  explicit ZipReport(bool progress) : bar_(stderr, progress) {}

  void Attach(writer::TLynZip& zip) {
    zip.OnStartZipInfo = [this](archive::Object*, int32_t files, int64_t bytes,
                                archive::TEndCentral&, bool&) {
      totalBytes_ = static_cast<uint64_t>(bytes);
      bar_.SetTotals(static_cast<uint64_t>(files), totalBytes_);
      bar_.Update(0, 0, true);
    };
    zip.OnTotalPercentDone = [this, &zip](archive::Object*, int32_t percent) {
      if (Interrupted()) zip.Cancel();
      bar_.Update(files_, totalBytes_ * static_cast<uint64_t>(percent) / 100);
    };
    zip.OnEndZip = [this](archive::Object*, const std::string&, int64_t, int64_t, int64_t) {
      ++files_;
    };
    zip.OnSkippingFile = [this](archive::Object*, archive::TSkipReason reason,
                                const std::string& name, int32_t, bool&) {
      const bool unreadable = reason == archive::srFileOpenError;
      if (unreadable) ++unreadable_;
      bar_.Clear();
      std::fprintf(stderr, "%s: skipped %s: %s\n", kCommand, ForTerminal(name).c_str(),
                   unreadable ? "cannot be opened, or changed while it was read"
                              : "its name is already in the archive");
    };
  }
  // Reports how the run ended; returns the command's exit status.
  int Conclude(const exports::ZipFileOutcome& outcome) {
    if (outcome.result >= 0) bar_.Finish();
    if (outcome.result < 0) {
      bar_.Clear();
      std::fprintf(stderr, "%s: %s\n", kCommand, ForTerminal(outcome.failure).c_str());
      return 1;
    }
    if (outcome.splitFailed) {
      std::fprintf(stderr, "%s: the archive could not be written to the floppy disks\n", kCommand);
      return 1;
    }
    return unreadable_ > 0 ? 1 : 0;
  }

 private:
  ProgressBar bar_;
  uint64_t totalBytes_ = 0;
  uint64_t files_ = 0;
  int unreadable_ = 0;
};

}  // namespace

int RunZip(const Args& args) {
  ZipArgs parsed;
  if (!Parse(args, parsed)) return 2;
  std::string archive, source, error;
  if (!ArgumentPath(parsed.archive, archive, error) ||
      !ArgumentPath(parsed.source, source, error)) {
    std::fprintf(stderr, "%s: %s\n", kCommand, error.c_str());
    return 2;
  }
  if (!ResolvePassword(parsed.extras, error)) {
    std::fprintf(stderr, "%s: %s\n", kCommand, error.c_str());
    return 2;
  }
  const os::host::MessageHandler prompt = TerminalPrompt(parsed.answer);
  FloppyDrive floppy(parsed.floppy, prompt);
  if (!parsed.floppy.empty()) {
    if (!floppy.Attach(error)) {
      std::fprintf(stderr, "%s: %s\n", kCommand, error.c_str());
      return 2;
    }
  } else {
    os::host::SetMessageHandler(prompt);
  }
  CatchInterrupts();
  ZipReport report(os::host::ErrorStreamIsTerminal());
  const exports::ZipFileOutcome outcome = exports::PackSource(
      source, archive, parsed.level, parsed.recurse,
      [&](writer::TLynZip& zip) {
        report.Attach(zip);
        ApplyZipExtras(parsed.extras, zip);
      },
      parsed.extras.span);
  const int status = report.Conclude(outcome);
  if (parsed.floppy.empty()) os::host::SetMessageHandler(nullptr);
  return status;
}

}  // namespace kestrel::cli
